"""Name lookup figures: sampling by name, for the defaults and through a full
PatternLibrary, each next to the pure-Python lookup of the same name in the
same run, with the ratio and the goal.

    scripts/dev run -- python3 bench/bench_names.py [--module DIR]

--module DIR puts DIR first on the import path (here and in the child that
times the import), to measure another build of the module, for instance a copy
of an earlier one kept to compare against.

The anchor is a dict from every name (defaults and the library's own) to its
period and a list of rows; only the measured pattern's rows are its own, which
changes nothing about the cost of one lookup. Per-call figures are the best of
many interleaved rounds, so a busy machine slows figure and anchor alike.
Constructions are timed in this process, best of a few rounds, from patterns
made beforehand: the figure is the library's constructor alone.
"""
import argparse
import functools
import os
import sys

import measure
from measure import import_time, interleaved, use_module

NUMBER = 20_000
LIBRARY_SIZE = 1024
row = functools.partial(measure.row, width=58, anchor_width=8)

LOOKUP_SETUP = """
def lookup(name, pip):
    period, rows = table[name]
    return rows[pip % period]
"""


def per_name(namespace, call, names, goal, label):
    """One row per name: `call` (a format with {n}) against the anchor for the
    same name; returns the worst ratio."""
    statements = []
    for i, name in enumerate(names):
        namespace[f"n{i}"] = name
        statements += [call.format(n=f"n{i}"), f"lookup(n{i}, 70)"]
    times = interleaved(statements, namespace, NUMBER)
    worst = 0.0
    for i, name in enumerate(names):
        ns, anchor = times[call.format(n=f"n{i}")] * 1e9, times[f"lookup(n{i}, 70)"] * 1e9
        row(label.format(name=name), ns, "ns", "Python", anchor, goal)
        worst = max(worst, ns / anchor)
    return worst


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--module", help="directory holding the module to measure")
    args = parser.parse_args()
    env = use_module(args.module)

    import kinetra

    catalogue = kinetra.catalogue()
    names = [e["name"] for e in catalogue]
    period = {e["name"]: e["period_pips"] for e in catalogue}
    builtins, packs = names[:15], names[15:]
    by_bytes = sorted(packs, key=str.encode)
    defaults = list(dict.fromkeys([
        "bounce", "circle", "multiple_bounce_roll",     # built-ins: short, shared length, longest
        by_bytes[0], by_bytes[len(by_bytes) // 2], by_bytes[-1],  # the ends and middle of name order
        packs[0], packs[-1],                             # the ends of registry order
    ]))

    rows = [kinetra.sample(by_bytes[-1], p).as_tuple() for p in range(period[by_bytes[-1]])]
    user_rows = [(0.5, 0.0, 0.0)] * 16
    # Names a show would use: a shared prefix, so a scan compares bytes, not
    # only lengths, and the first and the last differ only near the end.
    user_names = [f"show_cue_{i:04d}" for i in range(LIBRARY_SIZE)]
    patterns = [kinetra.SampledPattern(n, "cue", user_rows) for n in user_names]
    library = kinetra.PatternLibrary(patterns)
    table = {n: (period[n], rows) for n in names}
    table.update((n, (len(user_rows), user_rows)) for n in user_names)
    namespace = {"kinetra": kinetra, "table": table, "library": library}
    exec(LOOKUP_SETUP, namespace)

    print(f"kinetra from {os.path.dirname(kinetra.__file__)}: {len(names)} default patterns, "
          f"Python {sys.version.split()[0]}; library of {LIBRARY_SIZE} patterns "
          f"({user_names[0]} .. {user_names[-1]})")
    print(f"anchor: Python = lookup(name, 70) over a dict of {len(table)} names")
    worst_default = per_name(namespace, "kinetra.sample({n}, 70)", defaults,
                             "<= 1.25", "kinetra.sample({name!r}, 70)")
    worst_own = per_name(namespace, "library.sample({n}, 70)",
                         [user_names[0], user_names[-1]], "<= 1.4",
                         "PatternLibrary.sample({name!r}, 70)")
    worst_through = per_name(namespace, "library.sample({n}, 70)", defaults,
                             "<= 1.5", "PatternLibrary.sample({name!r}, 70)")
    print(f"worst ratios: defaults {worst_default:.2f} (goal 1.25), library's own "
          f"{worst_own:.2f} (goal 1.4), defaults through the library {worst_through:.2f} "
          f"(goal 1.5)")
    # An unknown name raises: the figure includes making and catching the error.
    unknown = {"kinetra.sample": kinetra.sample, "library.sample": library.sample}
    catch = {"unknown": unknown}
    exec("def miss(f):\n    try:\n        f('no_such_pattern', 70)\n"
         "    except ValueError:\n        pass\n", catch)
    misses = interleaved([f"miss(unknown[{k!r}])" for k in unknown], catch, 2_000, rounds=5)
    for k in unknown:
        row(f"{k}(<unknown name>, 70), raising ValueError", misses[f"miss(unknown[{k!r}])"] * 1e9, "ns")

    full_rows = [(0.5, -0.25, 0.125)] * 1024
    full = [kinetra.SampledPattern(n, "cue", full_rows) for n in user_names]
    build = {"kinetra": kinetra, "full": full, "patterns": patterns}
    built = interleaved(["kinetra.PatternLibrary(full)", "kinetra.PatternLibrary(patterns)"],
                        build, 1, rounds=15)
    row(f"PatternLibrary({LIBRARY_SIZE} x 1,024 samples), constructor",
        built["kinetra.PatternLibrary(full)"] * 1e3, "ms", goal="<= 1.1 x before")
    row(f"PatternLibrary({LIBRARY_SIZE} x 16 samples), constructor",
        built["kinetra.PatternLibrary(patterns)"] * 1e3, "ms")
    row("import kinetra, fresh interpreter", import_time(env) * 1e3, "ms", goal="<= 5 ms")


if __name__ == "__main__":
    main()
