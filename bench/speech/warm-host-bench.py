#!/usr/bin/env python3
"""Time from "stop recording" to the transcript: the per-call engines against the warm host.

Makes full-size models of the real shapes with random weights (Whisper base.en, 74M parameters;
Parakeet TDT 0.6B v3) with the suite's model writers, quantized as the models users download
(q5_1, q4_0) where whisper.cpp's quantizers are found, and 1, 5 and 15 s clips, then measures in
one run, paired clip by clip:
  per-call   whisper-cli / parakeet-cli started with the runner's arguments, to its exit;
  warm       orvel-speech with the model already loaded: request to transcript;
  first      the first dictation: the host started and the load sent at the key press, the
             clip's length spent speaking, then the request; stop to transcript;
  unload     after the idle time: input closed to the host gone, and the memory back.
Usage: bench/speech/warm-host-bench.py [BUILD_DIR] [--runs N] [--models DIR] [--engines whisper,parakeet]
BUILD_DIR defaults to build; it needs libexec/orvel-raza/{whisper-cli,parakeet-cli,orvel-speech}.
ORVEL_BENCH_THREADS=N gives the engines N threads (default: the program's own choice).
On a machine doing other work, run it as root under `chrt -f 10`: ggml's threads wait for each
other at every step, so a thread preempted by other work stalls the whole run and swamps the timing.
The quantizers come from PATH, or from the whisper.cpp-tools package set-up downloaded, run
through the private engines folder's loader.
"""
import argparse
import glob
import importlib.util
import json
import os
import random
import resource
import statistics
import struct
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
WRITERS = os.path.join(HERE, "..", "..", "tests", "support", "speech-models")
RATE = 16000
# Mel frames the Parakeet model takes at once; 16 s covers the longest clip.
AUDIO_CTX = int(os.environ.get("ORVEL_BENCH_PARAKEET_CTX", "1600"))


def load_writer(name):
    spec = importlib.util.spec_from_file_location(name.replace("-", "_"), os.path.join(WRITERS, name + ".py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


# Random values from a pool: the writers' own generators take minutes at full size.
POOL_RNG = random.Random(7)
POOL = [POOL_RNG.gauss(0.0, 0.02) for _ in range(1 << 16)]
POOL_F32 = struct.pack(f"<{len(POOL)}f", *POOL)


def pool_values(count):
    out = []
    while len(out) < count:
        start = POOL_RNG.randrange(len(POOL))
        out.extend(POOL[start:start + count - len(out)])
    return out


def make_whisper_base(path):
    w = load_writer("make-whisper-model")
    w.N_STATE, w.N_HEAD, w.N_LAYER = 512, 8, 6  # base.en
    w.values = pool_values
    w.main(path, "The quick brown fox jumps over the lazy dog.")


def make_parakeet_06b(path):
    p = load_writer("make-parakeet-model")
    # Parakeet TDT 0.6B v3: FastConformer, 24 layers of 1024, 8 heads, 8x subsampling with 256
    # channels, 128 mels, a 2-layer 640 LSTM predictor, 8192 tokens, durations 0-4.
    p.N_VOCAB, p.N_STATE, p.N_HEAD, p.N_LAYER, p.N_MELS, p.N_FFT = 8192, 1024, 8, 24, 128, 512
    p.SUB_CHANNELS, p.CONV_KERNEL, p.PRED_DIM, p.PRED_LAYERS, p.TDT_DURATIONS = 256, 9, 640, 2, 5
    p.N_AUDIO_CTX, p.MAX_TOKENS = AUDIO_CTX, 10
    p.gauss = pool_values
    plain = p.tensor

    def tensor(out, name, shape, data=None):
        if data is not None:
            return plain(out, name, shape, data)
        count = 1
        for d in shape:
            count *= d
        encoded = name.encode()
        out.write(struct.pack("<iii", len(shape), len(encoded), 0))
        for d in reversed(shape):
            out.write(struct.pack("<i", d))
        out.write(encoded)
        left = count * 4
        while left:
            start = POOL_RNG.randrange(len(POOL)) * 4
            piece = POOL_F32[start:start + left]
            out.write(piece)
            left -= len(piece)

    p.tensor = tensor
    p.main(path)


def quantizer(program):
    found = shutil.which(program)
    if found:
        return [found]
    cache = os.path.expanduser("~/.cache/orvel-raza")
    engines = os.path.realpath(os.path.join(cache, "engines", "current"))
    debs = sorted(glob.glob(os.path.join(cache, "engine-downloads", "archives", "whisper.cpp-tools_*.deb")))
    if not debs or not os.path.isdir(engines):
        return None
    unpacked = tempfile.mkdtemp(prefix="orvel-quantize-")
    subprocess.run(["dpkg-deb", "-x", debs[-1], unpacked], check=True)
    libs = os.path.join(engines, "root", "usr", "lib", "x86_64-linux-gnu")
    return [os.path.join(libs, "ld-linux-x86-64.so.2"), "--library-path", f"{libs}:{libs}/llama",
            os.path.join(unpacked, "usr", "bin", program)]


def quantize(engine, source, target, kind):
    command = quantizer(f"{engine}-quantize")
    if command is None:
        print(f"  no {engine}-quantize: timing the unquantized model", flush=True)
        return source
    done = subprocess.run(command + [source, target + ".partial", kind], stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE)
    if done.returncode != 0:
        sys.exit(f"{engine}-quantize failed: {done.stderr.decode(errors='replace')[-300:]}")
    os.replace(target + ".partial", target)
    return target


def make_clip(path, seconds):
    # A voiced-sounding buzz with a slow pitch glide and pauses; the text does not matter.
    rng = random.Random(int(seconds))
    frames = []
    for i in range(int(RATE * seconds)):
        t = i / RATE
        on = (int(t * 3) % 4) != 3
        f0 = 120 + 40 * ((t * 0.5) % 1)
        v = (0.3 * ((t * f0) % 1 - 0.5) + 0.02 * rng.uniform(-1, 1)) if on else 0.01 * rng.uniform(-1, 1)
        frames.append(int(max(-1, min(1, v)) * 32767))
    data = struct.pack(f"<{len(frames)}h", *frames)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVEfmt " +
                struct.pack("<IHHIIHH", 16, 1, 1, RATE, RATE * 2, 2, 16) + b"data" + struct.pack("<I", len(data)) + data)


def limited():
    # A model that needs more than this fails on its own instead of waking the OOM killer on a
    # machine others share.
    limit = int(os.environ.get("ORVEL_BENCH_MEMORY_GB", "10")) << 30
    resource.setrlimit(resource.RLIMIT_AS, (limit, limit))


def threads():
    # ORVEL_BENCH_THREADS: how the ratios move with the cores the engines get.
    return os.environ.get("ORVEL_BENCH_THREADS") or str(max(2, min(8, (os.cpu_count() or 4) - 2)))


def per_call(libexec, engine, model, clip):
    if engine == "whisper":
        cmd = [os.path.join(libexec, "whisper-cli"), "--model", model, "--file", clip, "--no-timestamps", "--no-prints",
               "--print-progress", "--language", "en", "--threads", threads(), "--suppress-nst"]
    else:
        cmd = [os.path.join(libexec, "parakeet-cli"), "--model", model, "--file", clip, "--threads", threads(),
               "--no-prints"]
    start = time.monotonic()
    done = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, preexec_fn=limited)
    elapsed = time.monotonic() - start
    if done.returncode != 0 or not done.stdout.strip():
        sys.exit(f"{engine} per-call failed: {done.stderr.decode(errors='replace')[-300:]}")
    return elapsed


class Host:
    def __init__(self, libexec):
        self.proc = subprocess.Popen([os.path.join(libexec, "orvel-speech")], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, bufsize=0, preexec_fn=limited)
        self.next_id = 1

    def send(self, message):
        self.proc.stdin.write((json.dumps(message) + "\n").encode())

    def answer(self, wanted):
        while True:
            line = self.proc.stdout.readline()
            if not line:
                sys.exit("orvel-speech ended unexpectedly")
            message = json.loads(line)
            if message["type"] == "error":
                sys.exit(f"orvel-speech: {message}")
            if message["type"] in wanted:
                return message

    def load(self, engine, model):
        self.send({"type": "load", "engine": engine, "model": model, "threads": int(threads())})

    def transcribe(self, clip):
        self.send({"type": "transcribe", "id": self.next_id, "audio": clip, "language": "en", "vocabulary": []})
        self.next_id += 1
        return self.answer({"transcript"})

    def rss_mb(self):
        with open(f"/proc/{self.proc.pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) / 1024
        return 0.0

    def close(self):
        start = time.monotonic()
        self.proc.stdin.close()
        self.proc.wait(timeout=30)
        return time.monotonic() - start


def meminfo_mb(field):
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1]) / 1024
    return 0.0


def in_use_mb():
    # Programs' own memory. MemAvailable also moves with the page cache and, in a virtual
    # machine, with the host taking free pages back, by hundreds of MB with nothing running.
    return meminfo_mb("AnonPages") + meminfo_mb("Shmem")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build", nargs="?", default="build")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--models", default=os.path.expanduser("~/.cache/orvel-raza/bench-models"))
    ap.add_argument("--engines", default="whisper,parakeet")
    ap.add_argument("--prepare-only", action="store_true", help="write the models and clips, time nothing")
    args = ap.parse_args()
    libexec = os.path.join(args.build, "libexec", "orvel-raza")
    for program in ("whisper-cli", "parakeet-cli", "orvel-speech"):
        if not os.access(os.path.join(libexec, program), os.X_OK):
            sys.exit(f"{libexec}/{program} is missing (build the program with scripts/setup.sh)")
    os.makedirs(args.models, exist_ok=True)
    plain = {"whisper": os.path.join(args.models, "whisper-base.en-f16.bin"),
             "parakeet": os.path.join(args.models, "parakeet-tdt-0.6b-v3-f32.bin")}
    quantized = {"whisper": (os.path.join(args.models, "whisper-base.en-q5_1.bin"), "q5_1"),
                 "parakeet": (os.path.join(args.models, "parakeet-tdt-0.6b-v3-q4_0.bin"), "q4_0")}
    makers = {"whisper": make_whisper_base, "parakeet": make_parakeet_06b}
    clips = {}
    for seconds in (1, 5, 15):
        clips[seconds] = os.path.join(args.models, f"clip-{seconds}s.wav")
        if not os.path.exists(clips[seconds]):
            make_clip(clips[seconds], seconds)

    with open("/proc/loadavg") as f:
        print(f"load average at start: {f.read().split()[:3]}, {os.cpu_count()} cores, {threads()} threads")
    for engine in args.engines.split(","):
        model, kind = quantized[engine]
        if not os.path.exists(model):
            source = plain[engine]
            if not os.path.exists(source):
                print(f"writing {source} ...", flush=True)
                start = time.monotonic()
                makers[engine](source + ".partial")
                os.replace(source + ".partial", source)
                print(f"  {os.path.getsize(source) / 1e6:.0f} MB in {time.monotonic() - start:.0f} s", flush=True)
            model = quantize(engine, source, model, kind)
        if args.prepare_only:
            continue
        per, warm, first = {s: [] for s in clips}, {s: [] for s in clips}, {s: [] for s in clips}
        before = in_use_mb()
        host = Host(libexec)
        host.answer({"ready"})
        start = time.monotonic()
        host.load(engine, model)
        loaded = host.answer({"loaded"})
        load_s = time.monotonic() - start
        host.transcribe(clips[1])  # the first run sets up buffers
        for run in range(args.runs):
            for seconds, clip in clips.items():
                # Alternate which goes first so drift in the machine's load hits both alike.
                if run % 2 == 0:
                    per[seconds].append(per_call(libexec, engine, model, clip))
                t = time.monotonic()
                host.transcribe(clip)
                warm[seconds].append(time.monotonic() - t)
                if run % 2 == 1:
                    per[seconds].append(per_call(libexec, engine, model, clip))
        rss = host.rss_mb()
        loaded_in_use = in_use_mb()
        unload_s = host.close()
        # The goal: back to the idle figure (within 50 MB) within 2 s of the unload.
        closed = time.monotonic()
        after = in_use_mb()
        while after > before + 50 and time.monotonic() - closed < 2.0:
            time.sleep(0.05)
            after = in_use_mb()
        returned_s = time.monotonic() - closed
        # The first dictation of a session: start and load at the press, speak, stop.
        for run in range(args.runs):
            for seconds, clip in clips.items():
                fresh = Host(libexec)
                fresh.load(engine, model)
                time.sleep(seconds)
                t = time.monotonic()
                fresh.transcribe(clip)
                first[seconds].append(time.monotonic() - t)
                fresh.close()

        print(f"\n{engine}: {os.path.basename(model)}, device {loaded['device']}, load {load_s:.2f} s, "
              f"host RSS {rss:.0f} MB")
        print(f"{'clip':>5} {'per-call':>9} {'warm':>7} {'warm/per':>9} {'first':>7} {'first/per':>10}")
        for seconds in clips:
            p, w, f = (statistics.median(x[seconds]) for x in (per, warm, first))
            print(f"{seconds:>4}s {p:>8.2f}s {w:>6.2f}s {100 * w / p:>8.0f}% {f:>6.2f}s {100 * f / p:>9.0f}%")
        print(f"unload: host gone {unload_s:.2f} s after its input closed; memory in use "
              f"{before:.0f} MB before, {loaded_in_use:.0f} MB loaded, {after:.0f} MB "
              f"{returned_s:.2f} s after")
    with open("/proc/loadavg") as f:
        print(f"load average at end: {f.read().split()[:3]}")


if __name__ == "__main__":
    main()
