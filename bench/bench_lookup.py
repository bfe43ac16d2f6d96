"""Per-call costs of the default patterns, for the installed module.

    scripts/dev run -- python3 bench/bench_lookup.py

Prints import time, and per-call time of sample() by built-in and by pack name,
of a rudiment function called directly, and of catalogue().
"""
import sys
import timeit

from measure import import_time


def per_call(statement, setup, number):
    best = min(timeit.repeat(statement, setup, repeat=5, number=number))
    return best / number


def main():
    import kinetra

    catalogue = kinetra.catalogue()
    pack_names = [entry["name"] for entry in catalogue[15:]]
    first_pack, last_pack = (min(pack_names), max(pack_names)) if pack_names else ("", "")
    setup = "import kinetra"
    rows = [
        ("import kinetra (fresh interpreter)", import_time(runs=7)),
        ("kinetra.bounce(70)", per_call("kinetra.bounce(70)", setup, 200_000)),
        ("kinetra.sample('circle', 70)", per_call("kinetra.sample('circle', 70)", setup, 200_000)),
        ("kinetra.sample('five_stroke_roll', 70)",
         per_call("kinetra.sample('five_stroke_roll', 70)", setup, 200_000)),
    ]
    for name in (first_pack, last_pack):
        if name:
            rows.append((f"kinetra.sample('{name}', 70)",
                         per_call(f"kinetra.sample({name!r}, 70)", setup, 200_000)))
    rows.append(("kinetra.catalogue()", per_call("kinetra.catalogue()", setup, 200)))
    print(f"kinetra: {len(catalogue)} default patterns, Python {sys.version.split()[0]}")
    for label, seconds in rows:
        print(f"{label:<48} {seconds * 1e6:10.3f} us")


if __name__ == "__main__":
    main()
