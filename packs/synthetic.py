"""A synthetic registry of full size, for measuring what the tables cost to
generate, compile and link (generate.py --synthetic). Never shipped.

It has the real registry's shape, read from the real declarations (no table
of the real registry is built): one synthetic pattern per declared pattern,
in the same pack with the same period and dimensions, smooth twelve-decimal
data that meets every table rule, and descriptions of typical length.
"""

import random

from pack import Pattern
from primitives import cos, fsum, theta

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


def patterns(real):
    """One synthetic pattern in place of each of the ``real`` declared patterns."""
    rng = random.Random(1716)
    out = []
    for i, pattern in enumerate(real):
        name = f"synthetic_{pattern.pack}_{i:04d}"
        description = ("A synthetic table of realistic size for measuring the cost of "
                       f"building the pack registry, number {i}.")
        out.append(Pattern(pattern.pack, name, pattern.period, pattern.dimensions, description,
                           _recipe(pattern.dimensions, rng)))
    return out
