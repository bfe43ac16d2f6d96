"""The dancefloor pack: the 36 club stems in the twelve further motions, then
the 32 further stems in all sixteen. Scores and motions live in beats/.

The largest magnitude each motion reaches over all 68 stems is checked once
both beat packs are built (beats/reach.py)."""

from beats import grid, reach
from beats.recipes import declare
from pack import Pack

pack = Pack("dancefloor", checks=[reach.check])
declare(pack, grid.dancefloor_grid(), grid.dancefloor_description)
