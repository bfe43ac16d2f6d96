"""Costs of the user classes at their largest, for the installed module.

    scripts/dev run -- python3 bench/bench_user.py

Prints construction time and peak memory for a library of 1,024 patterns of
1,024 samples and for recordings of 8,388,608 values, then the per-call time of
sample() on a pattern, a library (own pattern, and fall-through to a default)
and a recording. Each construction runs in a fresh interpreter so that its peak
memory is its own.
"""
import json
import subprocess
import sys
import timeit

# Run in a child: builds the input, then measures one construction.
CHILD = r"""
import json, resource, sys, time
import kinetra

def rss_kib():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * resource.getpagesize() // 1024

case = sys.argv[1]
if case == "patterns":
    rows = [(0.5, -0.25, 0.125)] * 1024
    build = lambda: [kinetra.SampledPattern(f"user_{i}", "d", rows) for i in range(1024)]
elif case == "library":
    rows = [(0.5, -0.25, 0.125)] * 1024
    patterns = [kinetra.SampledPattern(f"user_{i}", "d", rows) for i in range(1024)]
    build = lambda: kinetra.PatternLibrary(patterns)
else:
    axes = int(case.split("x")[0])
    names = [f"a{i}" for i in range(axes)]
    samples = [(0.5,) * axes] * (8388608 // axes)
    build = lambda: kinetra.SampledRecording("take", names, samples, 120.0)

before = rss_kib()
start = time.perf_counter()
built = build()
seconds = time.perf_counter() - start
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
print(json.dumps({"seconds": seconds, "peak_extra_kib": peak - before,
                  "kept_kib": rss_kib() - before}))
"""

CONSTRUCTIONS = [
    ("patterns", "1,024 SampledPattern of 1,024 rows"),
    ("library", "PatternLibrary of those 1,024 patterns"),
    ("1x8388608", "SampledRecording, 1 axis x 8,388,608 rows"),
    ("2048x4096", "SampledRecording, 2,048 axes x 4,096 rows"),
]


def construct(case):
    runs = [json.loads(subprocess.check_output([sys.executable, "-c", CHILD, case]))
            for _ in range(3)]
    return min(runs, key=lambda r: r["seconds"])


def per_call(statement, setup, number=200_000):
    best = min(timeit.repeat(statement, setup, repeat=5, number=number))
    return best / number


SETUP = """
import kinetra
rows = [(i / 1024, 0.0, 0.0) for i in range(1024)]
patterns = [kinetra.SampledPattern(f"user_{i}", "d", rows) for i in range(1024)]
pattern = patterns[0]
library = kinetra.PatternLibrary(patterns)
recording = kinetra.SampledRecording("take", ["x", "y", "z"], [(0.5, 0.0, -0.5)] * 4096, 120.0)
"""

CALLS = [
    ("SampledPattern.sample(70)", "pattern.sample(70)"),
    ("PatternLibrary.sample, first own pattern", "library.sample('user_0', 70)"),
    ("PatternLibrary.sample, last of 1,024", "library.sample('user_1023', 70)"),
    ("PatternLibrary.sample, default 'bounce'", "library.sample('bounce', 70)"),
    ("kinetra.sample('bounce') for comparison", "kinetra.sample('bounce', 70)"),
    ("SampledRecording.sample(70), 3 axes", "recording.sample(70)"),
]


def main():
    print(f"kinetra user classes, Python {sys.version.split()[0]}")
    print("construction (best of 3, fresh interpreter each)  time      peak extra   kept")
    for case, label in CONSTRUCTIONS:
        r = construct(case)
        print(f"  {label:<46} {r['seconds'] * 1e3:8.1f} ms "
              f"{r['peak_extra_kib'] / 1024:8.1f} MiB {r['kept_kib'] / 1024:7.1f} MiB")
    print("per call (best of 5)")
    for label, statement in CALLS:
        print(f"  {label:<46} {per_call(statement, SETUP) * 1e9:8.1f} ns")


if __name__ == "__main__":
    main()
