"""Declaring beat patterns: one table per (stem, motion) of the grid.

Both beat packs declare their part of the grid through `declare`; the score,
the motion and its reach gains make the table, and the beat of each stem is
read once per process.
"""

from functools import lru_cache

from beats import grid
from beats.motions import MOTIONS, Beat
from beats.reach import GAINS
from beats.scores import SCORES

_STEMS = {stem.name: stem for stem in grid.STEMS}


@lru_cache(maxsize=None)
def beat(stem_name):
    return Beat(SCORES[stem_name], _STEMS[stem_name].depth)


def _recipe(stem_name, motion):
    def recipe(P):
        b = beat(stem_name)
        if b.P != P:
            raise ValueError(f"the score of {stem_name} loops over {b.P} pips, not {P}")
        return MOTIONS[motion](b, GAINS[motion])
    return recipe


def declare(pack, cells, describe):
    """Register the (stem, motion) cells with the pack, in order."""
    for stem, motion in cells:
        pack.pattern(grid.name(stem, motion), stem.period, grid.dimensions(stem, motion),
                     describe(stem, motion))(_recipe(stem.name, motion))
