"""Where things go in a rendered frame: pure arithmetic, no drawing library.

The frame holds a grid of cells (one per pattern), a header and a thin
progress line along the bottom. Each cell has a label line for the pattern's
name (and, at its right end, the axes the pattern moves) and, below it, a
square plot: x runs to the right and y up, both from -1 to 1 across the
plot's inner square, with a margin around it so a point at the edge still
shows whole.

The grid is the one whose plots fill the frame best: for each way of placing
the header (a panel at the side, or a band along the top) and each column
count, the plot side that fits, discounted for every cell left empty; of the
grids close to the best, the squarest wins. Sixteen patterns so make a 4x4
grid in a 16:9 frame, with the header in the spare width at the left. A
margin runs round the frame.

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
# Names are never drawn smaller than this many pixels (then they are shortened).
MIN_LABEL_FONT = 9.0

# A grid's last row left wholly empty would count as plots this much smaller, and a part
# of it in proportion; grids within NEAR of the best are all good enough, and the
# squarest of them is taken.
EMPTY_ROW = 0.5
NEAR = 0.9
# The plot fills this share of its cell's width; the rest is the gap between cells.
PLOT_SHARE = 0.92

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


class Box(NamedTuple):
    x: float
    y: float
    width: float
    height: float

    @property
    def right(self) -> float:
        return self.x + self.width

    @property
    def bottom(self) -> float:
        return self.y + self.height


class Cell(NamedTuple):
    """One pattern's part of the frame."""

    x: float  # the cell's top-left corner and size
    y: float
    width: float
    height: float
    label_x: float  # where the name starts, over the plot's left edge, and a baseline for it
    label_y: float  # (the painter centres each name's text in the label line itself)
    label_width: float  # the label line spans the plot's width
    centre_x: float  # centre of the plot
    centre_y: float
    half: float  # half the side of the plot's -1..1 square, in pixels
    side: float  # the plot's whole side, margin included


class Header(NamedTuple):
    """The header's parts: the song's name, bar.beat, the beats of the bar and the tempo.

    ``side`` is True for a panel at the left of the grid (parts stacked, centred),
    False for a band along the top (parts side by side, left to right).
    """

    box: Box
    side: bool
    title: Box
    counter: Box
    beats: Box
    tempo: Box


def _label_height(cell_w: float, cell_h: float, unit: float) -> float:
    """The label line's height for a cell: a share of the cell, between legible and modest."""
    return max(MIN_LABEL_FONT / 0.7, min(unit / 24, 0.12 * min(cell_w, cell_h)))


class _Grid(NamedTuple):
    score: float
    columns: int
    rows: int
    side: float  # the plot square's side
    label: float  # the label line's height
    panel: bool  # header at the side (True) or along the top


class Layout:
    """The cells, the header and the sizes of everything drawn, for a frame size and a pattern count.

    ``columns`` fixes the grid's column count (1 to ``count``); by default the
    best one is chosen (see the module's description).
    """

    def __init__(self, width: int, height: int, count: int, columns: int | None = None) -> None:
        if count < 1:
            raise ValueError("nothing to draw: give at least one pattern")
        if columns is not None and not 1 <= columns <= count:
            raise ValueError(f"{columns} columns for {count} pattern{'s' if count > 1 else ''}: "
                             f"give 1 to {count}")
        self.width, self.height, self.count = width, height, count
        unit = min(width, height)
        self.unit = unit
        self.progress_height = max(2.0, round(height / 240))
        self.margin = margin = round(0.015 * unit)
        bottom = height - self.progress_height - margin
        self.panel_width = round(0.34 * height)  # the narrowest side panel: room for "128.4" in large type
        self.band_height = round(max(24.0, 0.1 * height))
        grid = self._choose(width, bottom, count, columns)
        self.columns, self.rows, self.label = grid.columns, grid.rows, grid.label
        side = grid.side
        if side < MIN_PLOT:
            what = "1 pattern does" if count == 1 else f"{count} patterns do"
            raise ValueError(f"{what} not fit in {width}x{height}: give fewer patterns or a larger --size")
        cell_w = side / PLOT_SHARE
        cell_h = cell_w + self.label
        grid_w, grid_h = self.columns * cell_w, self.rows * cell_h
        if grid.panel:
            # The grid sits at the right; the panel takes the width to its left.
            left = max(float(self.panel_width), width - margin - grid_w)
            top = margin + (bottom - margin - grid_h) / 2
            self.header = self._panel(Box(0, 0, left, bottom))
        else:
            band = self.band_height
            left = (width - grid_w) / 2
            top = band + (bottom - band - grid_h) / 2
            self.header = self._band(Box(margin, 0, width - 2 * margin, band))
        self.point_radius = max(3.0, side / 28)
        # A margin around the plot's -1..1 square leaves room for the largest point.
        self.half = side / 2 - 2 * self.point_radius
        self.trail_width = max(1.5, side / 120)
        self.cells: list[Cell] = []
        for index in range(count):
            row, column = divmod(index, self.columns)
            x, y = left + column * cell_w, top + row * cell_h
            centre_x = x + cell_w / 2
            centre_y = y + self.label + cell_w / 2
            self.cells.append(Cell(x, y, cell_w, cell_h, centre_x - side / 2, y + self.label * 0.78, side,
                                   centre_x, centre_y, self.half, side))

    # -- the grid -------------------------------------------------------------

    def _choose(self, width: int, bottom: float, count: int, columns: int | None) -> _Grid:
        grids = []
        for panel in (True, False):
            area_w = (width - self.panel_width if panel else width) - 2 * self.margin
            area_h = bottom - self.margin - (0 if panel else self.band_height)
            if area_w <= 0 or area_h <= 0:
                continue
            for cols in ([columns] if columns else range(1, count + 1)):
                rows = math.ceil(count / cols)
                if columns is None and (rows - 1) * cols >= count:
                    continue  # a whole row would stay empty
                cell_w, cell_h = area_w / cols, area_h / rows
                label = _label_height(cell_w, cell_h, self.unit)
                side = max(0.0, min(cell_w, cell_h - label) * PLOT_SHARE)
                score = side * EMPTY_ROW ** ((cols * rows - count) / cols)
                grids.append(_Grid(score, cols, rows, side, label, panel))
        best = max(g.score for g in grids)
        return min((g for g in grids if g.score >= NEAR * best),
                   key=lambda g: (abs(g.columns - g.rows), not g.panel, -g.score))

    # -- the header -----------------------------------------------------------

    def _panel(self, box: Box) -> Header:
        """Parts stacked in the middle of a panel at the left: name, bar.beat, beats, tempo."""
        margin = 0.08 * box.width
        inner = box.width - 2 * margin
        title_h = min(self.unit / 18, inner / 6)
        counter_h = min(self.unit / 6.5, inner / 2.6)
        beats_h = min(self.unit / 12, inner / 4)
        gap = title_h * 0.7
        total = title_h + counter_h + beats_h + title_h + 3 * gap
        y = box.y + (box.height - total) / 2
        x = box.x + margin
        parts = []
        for h in (title_h, counter_h, beats_h, title_h):
            parts.append(Box(x, y, inner, h))
            y += h + gap
        return Header(box, True, *parts)

    def _band(self, box: Box) -> Header:
        """Parts side by side in a band along the top: name, bar.beat, beats, tempo."""
        margin = max(4.0, 0.02 * box.width)
        h = box.height * 0.8
        y = box.y + (box.height - h) / 2
        inner = box.width - 2 * margin
        shares = (0.40, 0.16, 0.28, 0.16)
        parts = []
        x = box.x + margin
        for share in shares:
            w = inner * share
            parts.append(Box(x, y, w * 0.94, h))
            x += w
        title, counter, beats, tempo = parts
        return Header(box, False, title._replace(y=y + h * 0.2, height=h * 0.6), counter,
                      beats._replace(y=y + h * 0.15, height=h * 0.7), tempo._replace(y=y + h * 0.2, height=h * 0.6))

    # -- positions ------------------------------------------------------------

    def point(self, cell: int, x: float, y: float) -> tuple[float, float]:
        """Where (x, y) of pattern ``cell`` is drawn: x to the right, y up."""
        c = self.cells[cell]
        return c.centre_x + x * c.half, c.centre_y - y * c.half

    def radius(self, z: float) -> float:
        """The point's radius at depth z: twice as large at +1 (near) as at 0, half at -1."""
        return self.point_radius * float(2.0 ** max(-1.0, min(1.0, z)))

    def beat_slots(self, beats: int) -> list[Box]:
        """The box of each beat of a bar of ``beats`` beats in the header's strip, first to last."""
        area = self.header.beats
        beats = max(1, beats)
        # Square boxes with gaps of a quarter box; a long bar makes them narrower.
        size = min(area.height, area.width / (beats * 1.25 - 0.25))
        total = size * (beats * 1.25 - 0.25)
        x = area.x + ((area.width - total) / 2 if self.header.side else 0)
        y = area.y + (area.height - size) / 2
        return [Box(x + i * size * 1.25, y, size, size) for i in range(beats)]


@functools.lru_cache(maxsize=4096)
def depth_colour(z: float) -> tuple[float, float, float]:
    """The depth palette's colour of z (as the gallery's), components 0..1."""
    return tuple(c / 255 for c in depth_rgb(z))  # type: ignore[return-value]
