"""Batch sampling figures: sample_many next to its anchors, all in one run.

    scripts/dev run -- python3 bench/bench_sample_many.py [--module DIR] [--pips N]

One million random pips (the whole signed 32-bit range) of one pattern go
into a preallocated (N, 3) float64 array. The anchors are NumPy's own gather
from the same table, `table.take(pips % period, axis=0, out=out)`, and a
Python loop of the per-call sample. The rudiments compute their rows by
formula; their batch cost per row is shown next to the per-call cost. Each
figure is the best of interleaved rounds, so a busy machine slows figure and
anchor alike.

Last, a SampledRecording from an 8,388,608 x 1 float64 array against a NumPy
copy of the same array, each in a fresh interpreter with NumPy's huge-page
advice turned off (kinetra gives none), best of five alternating rounds.

NumPy is required (it is the anchor). --module DIR puts DIR first on the
import path, here and in the child process, to measure another build.
"""
import argparse
import functools
import json
import os
import subprocess
import sys
import time

import measure
from measure import use_module

ROUNDS = 7
LOOP_ROUNDS = 3
row = functools.partial(measure.row, width=46, anchor_width=44)
ROLLS = ["bounce", "circle", "helix", "mirel_background", "single_paradiddle"]

RECORDING_CHILD = r"""
import json, time
import numpy
import kinetra

advice = "unchanged"
for where in ("numpy._core.multiarray", "numpy.core.multiarray"):
    try:
        module = __import__(where, fromlist=["_set_madvise_hugepage"])
        module._set_madvise_hugepage(False)
        advice = "off"
        break
    except (ImportError, AttributeError):
        pass

samples = numpy.linspace(-1.0, 1.0, 8388608).reshape(-1, 1)
best = {"copy": float("inf"), "recording": float("inf")}
for _ in range(5):
    start = time.perf_counter()
    copied = samples.copy()
    best["copy"] = min(best["copy"], time.perf_counter() - start)
    del copied
    start = time.perf_counter()
    made = kinetra.SampledRecording("take", ["x"], samples, 120.0)
    best["recording"] = min(best["recording"], time.perf_counter() - start)
    del made
best["advice"] = advice
print(json.dumps(best))
"""


def best_of(calls, rounds):
    """Best time of each call over interleaved rounds."""
    best = {label: float("inf") for label in calls}
    for _ in range(rounds):
        for label, call in calls.items():
            start = time.perf_counter()
            call()
            best[label] = min(best[label], time.perf_counter() - start)
    return best


def speedup(label, batch, loop, goal):
    print(f"{label:<46} {loop / batch:9.1f} x      (loop {loop * 1e3:.1f} ms, batch "
          f"{batch * 1e3:.2f} ms)   goal {goal}", flush=True)


def huge_pages():
    try:
        with open("/sys/kernel/mm/transparent_hugepage/enabled") as f:
            return f.read().strip()
    except OSError:
        return "unknown"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--module", help="directory holding the module to measure")
    parser.add_argument("--pips", type=int, default=1_000_000, help="pips per call")
    args = parser.parse_args()
    env = use_module(args.module)

    import numpy

    import kinetra

    count = args.pips
    catalogue = kinetra.catalogue()
    pack = catalogue[-1]
    name, period = pack["name"], pack["period_pips"]
    table = numpy.array([kinetra.sample(name, p).as_tuple() for p in range(period)])
    pattern = kinetra.SampledPattern("user_copy", "the pack pattern's table", table)
    pips = numpy.random.default_rng(19).integers(-(2**31), 2**31, size=count, dtype=numpy.int32)
    wide = pips.astype(numpy.int64)
    listed = pips.tolist()
    out = numpy.empty((count, 3))

    print(f"kinetra from {os.path.dirname(kinetra.__file__)}, NumPy {numpy.__version__}, "
          f"Python {sys.version.split()[0]}; {count:,} random int32 pips; pack pattern "
          f"{name!r} ({period} pips)", flush=True)

    # The batch calls against the NumPy gather.
    fast = best_of({
        "pack": lambda: kinetra.sample_many(name, pips, out),
        "pattern": lambda: pattern.sample_many(pips, out),
        "take": lambda: table.take(pips % period, axis=0, out=out),
        "pack new": lambda: kinetra.sample_many(name, pips),
        "pack int64": lambda: kinetra.sample_many(name, wide, out),
        **{f"rudiment {r}": (lambda r=r: kinetra.sample_many(r, pips, out)) for r in ROLLS},
    }, ROUNDS)
    kinetra.sample_many(name, pips, out)
    assert numpy.array_equal(out, table[pips % period]), "batch rows differ from the table"

    # The per-call loops (fewer rounds: each takes a while).
    def loop(sample, *head):
        def run():
            for p in listed:
                sample(*head, p)
        return run

    slow = best_of({
        "pack": loop(kinetra.sample, name),
        "pattern": loop(pattern.sample),
        **{f"rudiment {r}": loop(kinetra.sample, r) for r in ROLLS},
    }, LOOP_ROUNDS)

    ms = 1e3
    row("sample_many(pack pattern), into out", fast["pack"] * ms, "ms",
        "table.take(pips % period, out=out)", fast["take"] * ms, "ratio <= 1.0")
    speedup("  vs a Python loop of sample(name, pip)", fast["pack"], slow["pack"], ">= 30 x")
    row("SampledPattern.sample_many, into out", fast["pattern"] * ms, "ms",
        "table.take(pips % period, out=out)", fast["take"] * ms, "ratio <= 1.0")
    speedup("  vs a Python loop of pattern.sample(pip)", fast["pattern"], slow["pattern"],
            ">= 30 x")
    row("sample_many(pack pattern), new memory", fast["pack new"] * ms, "ms",
        "the same into out", fast["pack"] * ms, "-")
    row("sample_many(pack pattern), int64 pips", fast["pack int64"] * ms, "ms",
        "the same from int32 pips", fast["pack"] * ms, "-")
    ns = 1e9 / count
    for r in ROLLS:
        row(f"sample_many({r!r}) per row", fast[f"rudiment {r}"] * ns, "ns",
            f"per call, sample({r!r}, pip)", slow[f"rudiment {r}"] * ns, "-")

    result = json.loads(subprocess.check_output([sys.executable, "-c", RECORDING_CHILD], env=env))
    row("SampledRecording 8,388,608 x 1 float64 array", result["recording"] * ms, "ms",
        f"NumPy copy (huge-page advice {result['advice']})", result["copy"] * ms, "ratio <= 1.2")
    print(f"(transparent huge pages: {huge_pages()})")


if __name__ == "__main__":
    main()
