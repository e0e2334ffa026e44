#!/usr/bin/env bash
# One line from CTest's log of the last run: how many tests ran more than once and which.
# Usage: scripts/rerun-summary.sh build-test/Testing/Temporary/LastTest.log
set -euo pipefail
log=${1:?CTest log}
if [ ! -f "$log" ]; then
  echo "Reruns: unknown (no CTest log at $log)"
  exit 0
fi
awk '
  /^[0-9]+\/[0-9]+ Testing: / { name = substr($0, index($0, ": ") + 2); if (!(name in runs)) order[++n] = name; runs[name]++ }
  /^Test Passed\./ { last[name] = "passed" }
  /^Test [A-Za-z ]+\.$/ && !/^Test Passed\./ { last[name] = "failed" }
  END {
    count = 0; list = ""
    for (i = 1; i <= n; i++) {
      t = order[i]
      if (runs[t] < 2) continue
      count++
      list = list (list == "" ? "" : ", ") t (last[t] == "passed" ? " (passed the second time)" : " (failed again)")
    }
    if (count == 0) print "Reruns: none of the " n " tests needed a second run"
    else print "Reruns: " count " of the " n " tests needed a second run: " list
  }' "$log"
