"""A synthetic registry of full size, for measuring what the tables cost to
generate, compile and link (generate.py --synthetic). Never shipped.

It has the real registry's shape: 1,716 patterns in six packs, the same mix of
periods and dimensions (1,022,912 rows), smooth twelve-decimal data that meets
every table rule, and descriptions of typical length.
"""

import random

from pack import Pattern
from primitives import cos, fsum, theta

PACK_SIZES = (("initial", 28), ("expansion", 24), ("atlas", 256),
              ("continuum", 320), ("club", 144), ("dancefloor", 944))
PERIODS = {160: 3, 224: 5, 256: 41, 288: 5, 320: 4, 352: 6, 384: 4, 416: 6, 448: 6,
           480: 5, 512: 1304, 544: 1, 608: 1, 640: 1, 768: 17, 1024: 307}
DIMENSIONS = {1: 29, 2: 321, 3: 1366}
PACKS = tuple(name for name, _ in PACK_SIZES)


def _shuffled(counts, rng):
    values = [v for v, n in counts.items() for _ in range(n)]
    rng.shuffle(values)
    return values


def _recipe(dimensions, rng):
    lanes = []
    for _ in range(dimensions):
        terms = [(rng.randint(1, 5), rng.uniform(0.05, 0.3)) for _ in range(3)]
        lanes.append(terms)

    def recipe(P):
        def lane(terms):
            # Even in p, so the step into row 0 mirrors the step out of it.
            return lambda p: fsum(a * cos(k * theta(p, P)) for k, a in terms)
        return tuple(lane(terms) for terms in lanes)

    return recipe


def patterns():
    rng = random.Random(1716)
    periods = _shuffled(PERIODS, rng)
    dimensions = _shuffled(DIMENSIONS, rng)
    out = []
    i = 0
    for pack, size in PACK_SIZES:
        for _ in range(size):
            name = f"synthetic_{pack}_{i:04d}"
            description = ("A synthetic table of realistic size for measuring the cost of "
                           f"building the pack registry, number {i}.")
            out.append(Pattern(pack, name, periods[i], dimensions[i], description,
                               _recipe(dimensions[i], rng)))
            i += 1
    return out
