"""What the micro-benchmarks share: loading the module to measure, timing statements
against each other, the import time of a fresh interpreter, and one printed row.

The benches import it as a sibling (`python3.14 bench/bench_x.py` puts `bench/` on the
path).
"""

import os
import subprocess
import sys
import timeit


def use_module(directory):
    """Measure the module in `directory` (None: the one installed), here and in child
    processes; returns the environment for those."""
    env = dict(os.environ)
    if directory:
        directory = os.path.abspath(directory)
        sys.path.insert(0, directory)
        env["PYTHONPATH"] = directory + os.pathsep + env.get("PYTHONPATH", "")
    return env


def interleaved(statements, namespace, number, rounds=25):
    """Best per-call time of each statement over interleaved rounds."""
    timers = {s: timeit.Timer(s, globals=namespace) for s in statements}
    best = {s: float("inf") for s in statements}
    for _ in range(rounds):
        for s, timer in timers.items():
            best[s] = min(best[s], timer.timeit(number) / number)
    return best


def import_time(env=None, runs=9):
    """Seconds `import kinetra` takes in a fresh interpreter, the best of `runs`."""
    code = "import time; t = time.perf_counter(); import kinetra; print(time.perf_counter() - t)"
    return min(float(subprocess.check_output([sys.executable, "-c", code], env=env))
               for _ in range(runs))


def row(label, value, unit, anchor_label="", anchor=None, goal="", *, width=52, anchor_width=24):
    """One figure, with the anchor it is compared to and the goal, if any."""
    text = f"{label:<{width}} {value:10.3f} {unit:<3}"
    if anchor is not None:
        text += f"  vs {anchor_label:<{anchor_width}} {anchor:10.3f} {unit:<3} ratio {value / anchor:6.3f}"
    if goal:
        text += f"   goal {goal}"
    print(text, flush=True)
