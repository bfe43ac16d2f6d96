"""Where things go in a rendered frame: pure arithmetic, no drawing library.

The frame is split into a grid of cells (one per pattern) above a thin strip
that holds the beat and bar indicator and the progress line. Each cell has a
label line for the pattern's name and, below it, a square plot: x runs to the
right and y up, both from -1 to 1 across the plot's inner square, with a
margin around it so a point at the edge still shows whole.

Coordinates are in the drawing library's sense: (0, 0) is the top-left
corner of the frame and pixel (i, j) covers [i, i + 1) x [j, j + 1), so a
point drawn at (px, py) has its centre of mass at pixel index (px - 0.5,
py - 0.5).
"""

from __future__ import annotations

import functools
import math
import re
from typing import NamedTuple

from ..palette import depth_rgb

MIN_SIZE = 64
MAX_SIZE = 7680
# A plot smaller than this cannot show a point, its trail and its name.
MIN_PLOT = 48

_SIZE = re.compile(r"\s*(\d{1,5})\s*[xX×]\s*(\d{1,5})\s*")


def parse_size(text: str) -> tuple[int, int]:
    """ "1280x720" -> (1280, 720); ValueError unless WxH with even sides in range."""
    match = _SIZE.fullmatch(text)
    if not match:
        raise ValueError(f"size must be WIDTHxHEIGHT, e.g. 1280x720: {text!r}")
    width, height = int(match[1]), int(match[2])
    for side in (width, height):
        if not MIN_SIZE <= side <= MAX_SIZE:
            raise ValueError(f"size must be {MIN_SIZE} to {MAX_SIZE} pixels a side: {text!r}")
        if side % 2:
            # H.264 and most players want 4:2:0 chroma, which halves both sides.
            raise ValueError(f"size must have even sides: {text!r}")
    return width, height


class Cell(NamedTuple):
    """One pattern's part of the frame."""

    x: float  # the cell's top-left corner and size
    y: float
    width: float
    height: float
    label_x: float  # baseline start of the name, over the plot's left edge
    label_y: float
    centre_x: float  # centre of the plot
    centre_y: float
    half: float  # half the side of the plot's -1..1 square, in pixels


class Layout:
    """The cells, the strip and the sizes of everything drawn, for a frame size and a pattern count."""

    def __init__(self, width: int, height: int, count: int) -> None:
        if count < 1:
            raise ValueError("nothing to draw: give at least one pattern")
        self.width, self.height, self.count = width, height, count
        unit = min(width, height)
        self.strip = max(14.0, round(unit / 28))
        self.label = max(10.0, round(unit / (40 if count == 1 else 26)))
        area = height - self.strip
        self.columns, self.rows, side = self._grid(width, area, count)
        if side < MIN_PLOT:
            what = "1 pattern does" if count == 1 else f"{count} patterns do"
            raise ValueError(f"{what} not fit in {width}x{height}: give fewer patterns or a larger --size")
        # Cells just hold a label over a plot square; the grid of them is centred.
        cell_w, cell_h = side / 0.96, side / 0.96 + self.label
        left = (width - self.columns * cell_w) / 2
        top = (area - self.rows * cell_h) / 2
        # The plot's -1..1 square leaves room for the largest point around it.
        self.half = side / 2 / 1.12
        self.point_radius = max(3.0, side / 34)
        self.trail_width = max(1.2, side / 220)
        self.cells: list[Cell] = []
        for index in range(count):
            row, column = divmod(index, self.columns)
            x, y = left + column * cell_w, top + row * cell_h
            centre_x = x + cell_w / 2
            centre_y = y + self.label + cell_w / 2
            self.cells.append(Cell(x, y, cell_w, cell_h, centre_x - side / 2, y + self.label * 0.8,
                                   centre_x, centre_y, self.half))

    def _grid(self, width: int, area: float, count: int) -> tuple[int, int, float]:
        """Columns and rows that give the largest square plots.

        Of grids within 5% of the largest plots, the squarest wins: four
        patterns make two rows of two rather than one row of four.
        """
        grids = []
        for columns in range(1, count + 1):
            rows = math.ceil(count / columns)
            if (rows - 1) * columns >= count:
                continue  # a whole row would stay empty
            grids.append((columns, rows, min(width / columns, area / rows - self.label) * 0.96))
        largest = max(side for _, _, side in grids)
        return min((g for g in grids if g[2] >= 0.95 * largest),
                   key=lambda g: (abs(g[0] - g[1]), -g[2]))

    def point(self, cell: int, x: float, y: float) -> tuple[float, float]:
        """Where (x, y) of pattern ``cell`` is drawn: x to the right, y up."""
        c = self.cells[cell]
        return c.centre_x + x * c.half, c.centre_y - y * c.half

    def radius(self, z: float) -> float:
        """The point's radius at depth z: twice as large at +1 (near) as at 0, half at -1."""
        return self.point_radius * float(2.0 ** max(-1.0, min(1.0, z)))


@functools.lru_cache(maxsize=4096)
def depth_colour(z: float) -> tuple[float, float, float]:
    """The depth palette's colour of z (as the gallery's), components 0..1."""
    return tuple(c / 255 for c in depth_rgb(z))  # type: ignore[return-value]
