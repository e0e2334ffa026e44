#!/usr/bin/env bash
# Installs what is missing, builds the sanitized test preset and runs the whole suite inside
# private desktop services (X server, D-Bus with a keyring, PulseAudio).
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh test
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# A test that fails is run once more, and its first failure stays in the log: the desktop
# tests share one X server and sound server with the rest of the machine.
# The last line names the tests that needed the second run, so an intermittent fault shows.
log=build-test/Testing/Temporary/LastTest.log
rm -f "$log"
status=0
scripts/test-session.sh ctest --preset test --output-on-failure -j2 --repeat until-pass:2 "$@" || status=$?
scripts/rerun-summary.sh "$log"
exit $status
