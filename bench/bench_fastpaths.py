"""The fast-path figures: each measured next to its anchor, with the ratio and
the goal, all in one run.

    scripts/dev run -- python3 bench/bench_fastpaths.py [--module DIR]

--module DIR puts DIR first on the import path (here and in the child
processes), to measure another build of the module, for instance one made with
the synthetic full-size registry:

    cmake -S . -B build/synth -G Ninja -DKINETRA_PACKS_SYNTHETIC=ON \
        -DPython_EXECUTABLE=$(command -v python3.14)
    cmake --build build/synth --target kinetra
    scripts/dev run -- python3 bench/bench_fastpaths.py --module build/synth/python

Per-call figures are the best of many interleaved rounds, so that a busy
machine slows figure and anchor alike. Constructions run in a fresh
interpreter each (best of three); their memory is the rise of the peak
resident size over what the input already took. NumPy is needed only for the
rows that read arrays; without it they are skipped.
"""
import argparse
import json
import os
import subprocess
import sys

from measure import import_time, interleaved, row, use_module


# The pure-Python anchor for a sampled lookup: a dict of (period, list of
# tuples), one entry per default pattern.
LOOKUP_SETUP = """
def lookup(name, pip):
    period, rows = table[name]
    return rows[pip % period]
"""

# Run in a child: builds the input, then measures one construction.
CHILD = r"""
import json, resource, sys, time
import kinetra

def status_kib(field):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return None

def reset_peak():
    # Writing 5 to clear_refs resets the peak resident size (VmHWM).
    try:
        with open("/proc/self/clear_refs", "w") as f:
            f.write("5")
        return True
    except OSError:
        return False

case = sys.argv[1]
if case == "recording_array":
    import numpy
    samples = numpy.linspace(-1.0, 1.0, 8388608).reshape(-1, 1)
    build = lambda: kinetra.SampledRecording("take", ["x"], samples, 120.0)
elif case == "recording_lists":
    samples = [[i / 8388608] for i in range(8388608)]
    build = lambda: kinetra.SampledRecording("take", ["x"], samples, 120.0)
elif case == "library_arrays":
    import numpy
    arrays = [numpy.full((1024, 3), (i / 1024, -0.25, 0.125)) for i in range(1024)]
    build = lambda: kinetra.PatternLibrary(
        [kinetra.SampledPattern(f"user_{i}", "d", a) for i, a in enumerate(arrays)])
elif case == "library_lists":
    rows = [[(i / 1024, -0.25, 0.125)] * 1024 for i in range(1024)]
    build = lambda: kinetra.PatternLibrary(
        [kinetra.SampledPattern(f"user_{i}", "d", r) for i, r in enumerate(rows)])
else:
    raise SystemExit(f"unknown case {case}")

exact = reset_peak()
before = status_kib("VmRSS")
start = time.perf_counter()
built = build()
seconds = time.perf_counter() - start
peak = status_kib("VmHWM") if exact else resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
print(json.dumps({"seconds": seconds, "peak_extra_kib": peak - before}))
"""


def construct(case, env):
    runs = [json.loads(subprocess.check_output([sys.executable, "-c", CHILD, case], env=env))
            for _ in range(3)]
    best = min(runs, key=lambda r: r["seconds"])
    return dict(best, worst=max(r["seconds"] for r in runs))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--module", help="directory holding the module to measure")
    args = parser.parse_args()
    env = use_module(args.module)

    import math

    import kinetra

    try:
        import numpy
    except ImportError:
        numpy = None

    catalogue = kinetra.catalogue()
    names = [entry["name"] for entry in catalogue]
    last = max(names[15:]) if len(names) > 15 else "five_stroke_roll"
    period = {entry["name"]: entry["period_pips"] for entry in catalogue}
    # Every name maps to its period and a list of tuples; only the measured
    # pattern's rows are its own (the others share it, which changes nothing
    # about the cost of one lookup).
    rows = [kinetra.sample(last, p).as_tuple() for p in range(period[last])]
    table = {name: (period[name], rows) for name in names}
    pattern = kinetra.SampledPattern("user", "d", rows)
    namespace = {"kinetra": kinetra, "math": math, "table": table, "last": last,
                 "pattern": pattern}
    exec(LOOKUP_SETUP, namespace)

    print(f"kinetra from {os.path.dirname(kinetra.__file__)}: {len(catalogue)} default patterns, "
          f"Python {sys.version.split()[0]}, last pack name {last!r}")
    calls = interleaved(["kinetra.sample(last, 70)", "lookup(last, 70)", "kinetra.bounce(70)",
                         "math.hypot(1.0, 2.0)", "pattern.sample(70)"], namespace, 20_000)
    ns = {s: t * 1e9 for s, t in calls.items()}
    row("kinetra.sample(<last pack name>, 70)", ns["kinetra.sample(last, 70)"], "ns",
        "pure-Python lookup", ns["lookup(last, 70)"], "ratio <= 1.25")
    row("kinetra.bounce(70)", ns["kinetra.bounce(70)"], "ns",
        "math.hypot(1.0, 2.0)", ns["math.hypot(1.0, 2.0)"], "ratio <= 1.2")
    row("SampledPattern.sample(70)", ns["pattern.sample(70)"], "ns",
        "pure-Python lookup", ns["lookup(last, 70)"], "ratio <= 1.6")

    cat = interleaved(["kinetra.catalogue()"], namespace, 20)["kinetra.catalogue()"]
    row(f"catalogue() with {len(catalogue)} entries", cat * 1e3, "ms", goal="<= 0.25 ms at 1,731")
    row(f"import kinetra, fresh interpreter ({len(catalogue)})", import_time(env) * 1e3, "ms",
        goal="<= 5 ms")

    constructions = [
        ("recording_array", "SampledRecording 8,388,608 x 1, float64 array",
         "<= 0.1 s, <= 80 MiB", True),
        ("recording_lists", "SampledRecording 8,388,608 x 1, nested lists",
         "<= 1.0 s, <= 128 MiB", False),
        ("library_arrays", "PatternLibrary 1,024 x 1,024 from arrays", "<= 0.15 s", True),
        ("library_lists", "PatternLibrary 1,024 x 1,024 from lists", "", False),
    ]
    for case, label, goal, needs_numpy in constructions:
        if needs_numpy and numpy is None:
            print(f"{label:<52} skipped: NumPy is not installed")
            continue
        r = construct(case, env)
        print(f"{label:<52} {r['seconds']:10.3f} s    (worst {r['worst']:.3f} s)  peak "
              f"{r['peak_extra_kib'] / 1024:7.1f} MiB above the input   goal {goal or '-'}",
              flush=True)


if __name__ == "__main__":
    main()
