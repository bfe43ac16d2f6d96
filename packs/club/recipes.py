"""The club pack: the 36 club stems, each in the four basic motions
(bounce, step, orbit, glide). Scores and motions live in beats/."""

from beats import grid
from beats.recipes import declare
from pack import Pack

pack = Pack("club")
declare(pack, grid.club_grid(), grid.club_description)
