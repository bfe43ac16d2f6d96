"""Frames drawn with cairo: a still background once, then only what moves.

Everything that stays put (the backdrop, the plot squares and their axis
lines, the names and axis tags, the header's name and tempo, the empty beat
boxes) is drawn once into a background surface. Each frame starts from a copy
of it and adds, per pattern, the trail (one beat of recent path, fading out,
coloured by depth), the point (its size and colour give the depth, a white
core marks its exact centre) and, for the first part of every beat, a ring
flashing out of the point and a glow on the plot's edge (stronger on the
bar's first beat); then bar.beat and the beats of the bar in the header and
the progress line. Drawing is antialiased.

Names are fitted to their cells: all drawn at one size, the layout's label
size or, if a name is too wide for it, smaller down to a minimum; a name
still too wide is shortened in the middle (``beat_four…_flute``). ``labels`` keeps each name's drawn text and box.

Frames are drawn on one surface. Everything drawn on it marks the tiles it
covers (``planes.Tiles``): the next frame first puts the background back
on those tiles only, and the frame is handed out as 4:2:0 YUV (yuv420p, as
the video is coded), converted from the drawn pixels only where it can
differ from what the frame buffer held (``planes.Planes``). The YUV frames
are a ring of ``buffers``, so an encoder may still be sending one frame
while the next ones are drawn.
"""

from __future__ import annotations

import math
from collections.abc import Callable, Sequence
from typing import TYPE_CHECKING, NamedTuple

import cairo
import numpy as np

from ..palette import THEMES
from ..timeline import DEFAULT_METER
from .layout import MIN_LABEL_FONT, Box, Layout, depth_colour
from .planes import Planes, Tiles

Point = tuple[float, float, float]
if TYPE_CHECKING:
    Ctx = cairo.Context[cairo.ImageSurface]


# The frames handed out, as ffmpeg names their layout.
PIXEL_FORMAT = "yuv420p"

# How many alpha steps the trail fades in: segments of one step share one stroke.
TRAIL_BANDS = 8
# The beat's flash lasts this share of the beat.
FLASH = 0.3
# Names shrink to this share of the label size (but no smaller than MIN_LABEL_FONT) before
# they are shortened.
SHRINK = 0.65
ELLIPSIS = "…"
FONT = "sans-serif"


class Label(NamedTuple):
    """A text as drawn: what it says, its font size, its baseline start and its box."""

    text: str
    size: float
    x: float
    baseline: float
    box: Box


def shorten(text: str, fits: Callable[[str], bool]) -> str:
    """``text`` itself if it fits, else the longest middle-shortened form that does.

    A cut at word boundaries (underscores, blanks) is preferred when it keeps
    nearly as much: "beat_four_floor_flute" -> "beat_four…_flute".
    """
    if fits(text):
        return text
    n = len(text)
    # The most characters kept, split evenly (the head takes the odd one).
    low, high = 0, n - 1
    while low < high:
        keep = (low + high + 1) // 2
        if fits(_middle(text, keep)):
            low = keep
        else:
            high = keep - 1
    best = _middle(text, low) if low else (ELLIPSIS if fits(ELLIPSIS) else "")
    if low < 4:
        return best
    # Word boundaries: head ends before a separator, tail starts at one.
    heads = [i for i in range(1, n) if text[i] in "_ -" and i <= low]
    tails = [j for j in range(1, n) if text[j] in "_ -" and n - j <= low]
    choice = None
    for i in heads:
        for j in tails:
            if j <= i:
                continue
            kept = i + n - j
            if kept > low or kept < low - 4 or min(i, n - j) < 2:
                continue
            candidate = text[:i] + ELLIPSIS + text[j:]
            if (choice is None or kept > choice[0]) and fits(candidate):
                choice = (kept, candidate)
    return choice[1] if choice else best


def _middle(text: str, keep: int) -> str:
    head = (keep + 1) // 2
    return text[:head] + ELLIPSIS + text[len(text) - (keep - head):]


class Painter:
    """Draws frames of ``layout`` with one name (and its moving axes, e.g. "xy") per cell.

    ``title`` is the header's name line (the song's name); ``tempo`` its
    tempo line ("124 BPM"), which stands in for the name when there is none.
    """

    def __init__(self, layout: Layout, names: Sequence[str], beats_per_bar: int = DEFAULT_METER, *,
                 axes: Sequence[str] | None = None, title: str | None = None, tempo: str | None = None,
                 theme: str = "dark", buffers: int = 1) -> None:
        self.layout = layout
        self.names = list(names)
        self.axes = list(axes) if axes is not None else ["" for _ in self.names]
        self.beats_per_bar = max(1, beats_per_bar)
        self.theme = THEMES[theme]
        if title is None:
            title, tempo = tempo, None
        self.title, self.tempo = title, tempo
        width, height = layout.width, layout.height
        # One background per bar length met (the header has a box per beat of the bar),
        # with its pixels.
        self._backgrounds: dict[int, tuple[cairo.ImageSurface, np.ndarray]] = {}
        self.surface = cairo.ImageSurface(cairo.FORMAT_RGB24, width, height)
        if self.surface.get_stride() != width * 4:
            raise ValueError(f"unexpected row stride for {width}x{height}")
        self._pixels = np.frombuffer(self.surface.get_data(), dtype=np.uint32)
        c = self.context = cairo.Context(self.surface)
        c.set_line_cap(cairo.LINE_CAP_ROUND)
        c.set_line_join(cairo.LINE_JOIN_ROUND)
        c.select_font_face(FONT, cairo.FONT_SLANT_NORMAL, cairo.FONT_WEIGHT_BOLD)
        # The tiles drawn on in this frame but for the progress line, which only grows at its
        # end (``front``, its length in pixels); the background the surface holds under them.
        self.tiles = Tiles(width, height)
        self._under: np.ndarray | None = None
        self._drawn = np.zeros_like(self.tiles.mask)
        self._front = 0.0
        self._moved = Tiles(width, height)  # where the line's end moved
        self._region = np.zeros_like(self.tiles.mask)
        # The YUV frames, and for each the tiles drawn on, the background and the line's end
        # of the frame it holds.
        self._planes = Planes(width, height, buffers)
        self._held: list[tuple[np.ndarray, np.ndarray | None, float]] = [
            (np.zeros_like(self.tiles.mask), None, 0.0) for _ in self._planes.frames]
        self._next = 0
        self.labels, self.tags = self._fit_labels()

    # -- text -----------------------------------------------------------------

    def _measure(self, weight: cairo.FontWeight = cairo.FONT_WEIGHT_NORMAL) -> Ctx:
        c = cairo.Context(cairo.ImageSurface(cairo.FORMAT_A8, 1, 1))
        c.select_font_face(FONT, cairo.FONT_SLANT_NORMAL, weight)
        return c

    def _fit(self, c: Ctx, text: str, size: float, width: float, smallest: float) -> tuple[str, float]:
        """The text (shortened if need be) and font size that fit ``width``."""
        c.set_font_size(size)
        wide = c.text_extents(text).x_advance
        if wide > width:
            size = max(smallest, size * width / wide)
            c.set_font_size(size)
            # Rounding in the glyph metrics: step down until it really fits.
            while c.text_extents(text).x_advance > width and size > smallest:
                size = max(smallest, size * 0.97)
                c.set_font_size(size)
        text = shorten(text, lambda t: c.text_extents(t).x_advance <= width)
        return text, size

    def _place(self, c: Ctx, text: str, size: float, box: Box, align: float) -> Label:
        """``text`` at ``size`` in ``box``: centred vertically, ``align`` 0 left, 0.5 centred."""
        c.set_font_size(size)
        ascent, descent = c.font_extents()[:2]
        wide = c.text_extents(text).x_advance
        x = box.x + (box.width - wide) * align
        baseline = box.y + (box.height - ascent - descent) / 2 + ascent
        return Label(text, size, x, baseline, Box(x, baseline - ascent, wide, ascent + descent))

    def _fit_labels(self) -> tuple[list[Label], list[Label | None]]:
        """Every name at one size: the largest (down to the smallest allowed) at which all fit."""
        lay = self.layout
        c = self._measure()
        size = lay.label * 0.7
        smallest = min(size, max(MIN_LABEL_FONT, SHRINK * size))
        lines = []
        for cell, axes in zip(lay.cells, self.axes):
            line = Box(cell.label_x, cell.y, cell.label_width, lay.label)
            tag = self._place(c, axes, (size + smallest) / 2, line, 1.0) if axes else None
            room = line.width - (tag.box.width + smallest * 0.6 if tag else 0)
            lines.append((line._replace(width=room), tag))
        common = min((self._fit(c, name, size, line.width, smallest)[1] for name, (line, _) in
                      zip(self.names, lines)), default=size)
        labels = []
        for name, (line, _) in zip(self.names, lines):
            text, _ = self._fit(c, name, common, line.width, common)
            labels.append(self._place(c, text, common, line, 0.0))
        return labels, [tag for _, tag in lines]

    # -- once per bar length ------------------------------------------------

    def background(self, beats: int) -> cairo.ImageSurface:
        """The still part of a frame in a bar of ``beats`` beats."""
        return self._background(beats)[0]

    def _background(self, beats: int) -> tuple[cairo.ImageSurface, np.ndarray]:
        known = self._backgrounds.get(beats)
        if known is None:
            surface = cairo.ImageSurface(cairo.FORMAT_RGB24, self.layout.width, self.layout.height)
            self._draw_background(surface, beats)
            known = self._backgrounds[beats] = (surface, np.frombuffer(surface.get_data(), dtype=np.uint32))
        return known

    def _draw_background(self, surface: cairo.ImageSurface, beats: int) -> None:
        lay, theme = self.layout, self.theme
        c = cairo.Context(surface)
        c.set_source_rgb(*theme.background)
        c.paint()
        for index, cell in enumerate(lay.cells):
            axes = self.axes[index] if index < len(self.axes) else ""
            left, top = cell.centre_x - cell.side / 2, cell.centre_y - cell.side / 2
            c.set_source_rgb(*theme.plot)
            c.rectangle(left, top, cell.side, cell.side)
            c.fill()
            c.set_line_width(1)
            c.set_source_rgb(*theme.line)
            c.rectangle(round(cell.centre_x - cell.half) + 0.5, round(cell.centre_y - cell.half) + 0.5,
                        round(2 * cell.half), round(2 * cell.half))
            c.stroke()
            # The axes through the middle: brighter for the axes the pattern moves.
            for moves, (x0, y0, x1, y1) in (
                    ("x" in axes, (cell.centre_x - cell.half, round(cell.centre_y) + 0.5,
                                   cell.centre_x + cell.half, round(cell.centre_y) + 0.5)),
                    ("y" in axes, (round(cell.centre_x) + 0.5, cell.centre_y - cell.half,
                                   round(cell.centre_x) + 0.5, cell.centre_y + cell.half))):
                c.set_source_rgb(*(theme.axis if moves else theme.line))
                c.move_to(x0, y0)
                c.line_to(x1, y1)
                c.stroke()
        c.select_font_face(FONT, cairo.FONT_SLANT_NORMAL, cairo.FONT_WEIGHT_NORMAL)
        c.set_source_rgb(*theme.ink)
        for label in self.labels:
            c.set_font_size(label.size)
            c.move_to(label.x, label.baseline)
            c.show_text(label.text)
        c.set_source_rgb(*theme.faint)
        for tag in self.tags:
            if tag is not None:
                c.set_font_size(tag.size)
                c.move_to(tag.x, tag.baseline)
                c.show_text(tag.text)
        self._draw_header(c)
        c.set_source_rgb(*theme.line)
        for box in lay.beat_slots(beats):
            self._rounded(c, box, 1.0)
            c.fill()
        c.rectangle(0, lay.height - lay.progress_height, lay.width, lay.progress_height)
        c.fill()
        surface.flush()

    def _draw_header(self, c: Ctx) -> None:
        header, theme = self.layout.header, self.theme
        for text, box, weight, colour, align in (
                (self.title, header.title, cairo.FONT_WEIGHT_BOLD, theme.bright, 0.5 if header.side else 0.0),
                (self.tempo, header.tempo, cairo.FONT_WEIGHT_NORMAL, theme.ink, 0.5 if header.side else 1.0)):
            if not text:
                continue
            c.select_font_face(FONT, cairo.FONT_SLANT_NORMAL, weight)
            fitted, size = self._fit(c, text, box.height * 0.8, box.width, box.height * 0.5)
            label = self._place(c, fitted, size, box, align)
            c.set_source_rgb(*colour)
            c.move_to(label.x, label.baseline)
            c.show_text(label.text)

    @staticmethod
    def _rounded(c: Ctx, box: Box, scale: float) -> None:
        w, h = box.width * scale, box.height * scale
        x, y = box.x + (box.width - w) / 2, box.y + (box.height - h) / 2
        r = min(w, h) * 0.22
        c.new_sub_path()
        c.arc(x + w - r, y + r, r, -math.pi / 2, 0)
        c.arc(x + w - r, y + h - r, r, 0, math.pi / 2)
        c.arc(x + r, y + h - r, r, math.pi / 2, math.pi)
        c.arc(x + r, y + r, r, math.pi, 3 * math.pi / 2)
        c.close_path()

    # -- every frame --------------------------------------------------------

    def frame(self, points: Sequence[Point], trails: Sequence[Sequence[Point]], beat_in_bar: int,
              phase: float, progress: float, beats_in_bar: int | None = None,
              bar: int | None = None) -> np.ndarray:
        """One frame as yuv420p: the pattern points and their recent paths.

        ``trails[i]`` lists pattern i's positions from oldest to newest, ending
        just before ``points[i]``; ``beat_in_bar`` counts from 0 at the bar's
        first beat, of a bar of ``beats_in_bar`` beats (default: the painter's
        ``beats_per_bar``), ``phase`` (0..1) is how far into its beat the frame
        falls, ``progress`` (0..1) how far through the video and ``bar`` the
        bar's number for the header (none shown if None).

        The frame stays as it is until ``buffers`` more frames are drawn.
        """
        self.draw(points, trails, beat_in_bar, phase, progress, beats_in_bar, bar)
        buffer = self._next
        self._next = (self._next + 1) % len(self._held)
        held, under, front = self._held[buffer]
        drawn = self.tiles.mask
        if under is self._under:
            # The buffer holds an older frame on the same background: it differs from this one
            # at most where either was drawn on and between the ends of their progress lines.
            np.logical_or(drawn, held, out=self._region)
            self._region |= self._line_moved(front)
        else:
            self._region[:] = True
        frame = self._planes.convert(buffer, self._region, self._pixels)
        held[:] = drawn
        self._held[buffer] = (held, self._under, self._front)
        return frame

    def _line_moved(self, front: float) -> np.ndarray:
        """The tiles of the progress line between its end at ``front`` and its end now."""
        lay, moved = self.layout, self._moved
        moved.clear()
        low, high = sorted((front, self._front))
        moved.box(low, lay.height - lay.progress_height, high - low, lay.progress_height)
        return moved.mask

    def draw(self, points: Sequence[Point], trails: Sequence[Sequence[Point]], beat_in_bar: int,
             phase: float, progress: float, beats_in_bar: int | None = None,
             bar: int | None = None) -> None:
        """Draws one frame (as ``frame`` takes it) on ``surface``, marking ``tiles``."""
        lay, theme, tiles = self.layout, self.theme, self.tiles
        c = self.context
        beats = beats_in_bar or self.beats_per_bar
        beat_in_bar %= beats
        backdrop = self._background(beats)[1]
        front = lay.width * max(0.0, min(1.0, progress))
        # Back to the background where the last frame drew (the progress line is drawn
        # whole again: only round its end), or all over on another background.
        self.surface.flush()
        if self._under is backdrop:
            np.logical_or(self._drawn, self._line_moved(front), out=self._region)
            self._planes.copy(self._region, backdrop, self._pixels)
        else:
            self._pixels[:] = backdrop
            self._under = backdrop
        self.surface.mark_dirty()
        tiles.clear()
        for cell, point, trail in zip(range(lay.count), points, trails):
            self._trail(c, cell, trail, point)
        if phase < FLASH:
            self._flash(c, points, beat_in_bar == 0, 1 - phase / FLASH, phase / FLASH)
        for cell, point in enumerate(points):
            x, y = lay.point(cell, point[0], point[1])
            radius = lay.radius(point[2])
            c.set_source_rgb(*depth_colour(point[2]))
            c.arc(x, y, radius, 0, 2 * math.pi)
            c.fill()
            c.set_source_rgb(*theme.core)
            c.arc(x, y, max(1.5, radius * 0.35), 0, 2 * math.pi)
            c.fill()
            tiles.box(x - radius, y - radius, 2 * radius, 2 * radius)
        self._header(c, beat_in_bar, beats, phase, bar)
        c.set_source_rgb(*theme.ink)
        c.rectangle(0, lay.height - lay.progress_height, front, lay.progress_height)
        c.fill()
        tiles.settle()
        self.surface.flush()
        self._drawn[:] = tiles.mask
        self._front = front

    def _flash(self, c: Ctx, points: Sequence[Point], first: bool, strength: float,
               spread: float) -> None:
        """The beat: a glow round each plot's edge and a ring flashing out of each point."""
        lay, theme = self.layout, self.theme
        colour = theme.bar if first else theme.beat
        alpha = strength * (0.95 if first else 0.7)
        edge = max(2.0, lay.cells[0].side / (60 if first else 90))
        c.set_source_rgba(*colour, alpha)
        c.set_line_width(edge)
        tiles = self.tiles
        for box in lay.cells:
            inset = edge / 2
            left, top = box.centre_x - box.side / 2, box.centre_y - box.side / 2
            c.rectangle(left + inset, top + inset, box.side - edge, box.side - edge)
            # The stroke's four sides.
            for strip in ((left, top, box.side, edge), (left, top + box.side - edge, box.side, edge),
                          (left, top, edge, box.side), (left + box.side - edge, top, edge, box.side)):
                tiles.box(*strip)
        c.stroke()
        width = max(1.5, lay.trail_width * (2.2 if first else 1.6))
        c.set_line_width(width)
        for cell, point in enumerate(points):
            x, y = lay.point(cell, point[0], point[1])
            radius = lay.radius(point[2]) * (1.3 + 3.5 * spread)
            c.new_sub_path()
            c.arc(x, y, radius, 0, 2 * math.pi)
            tiles.ring(x, y, radius, width / 2)
        c.stroke()

    def _header(self, c: Ctx, beat: int, beats: int, phase: float, bar: int | None) -> None:
        lay, theme = self.layout, self.theme
        header = lay.header
        slots = lay.beat_slots(beats)
        accent = theme.bar if beat == 0 else theme.beat
        # The bar so far: earlier beats half lit, this one lit and swelling at its start.
        tiles = self.tiles
        for index in range(beat):
            c.set_source_rgba(*(theme.bar if index == 0 else theme.beat), 0.35)
            self._rounded(c, slots[index], 1.0)
            c.fill()
            tiles.box(*slots[index])
        c.set_source_rgb(*accent)
        swell = 1.0 + 0.18 * max(0.0, 1 - phase / FLASH)
        self._rounded(c, slots[beat], swell)
        c.fill()
        slot = slots[beat]
        tiles.box(slot.x - slot.width * (swell - 1) / 2, slot.y - slot.height * (swell - 1) / 2,
                  slot.width * swell, slot.height * swell)
        if bar is not None:
            box = header.counter
            text = f"{bar}.{beat + 1}"
            c.set_font_size(box.height * 0.8)
            wide = c.text_extents(text).x_advance
            size = box.height * 0.8 * min(1.0, box.width / wide) if wide else box.height * 0.8
            label = self._place(c, text, size, box, 0.5 if header.side else 0.0)
            c.set_source_rgb(*theme.bright)
            c.move_to(label.x, label.baseline)
            c.show_text(text)
            ink = c.text_extents(text)
            tiles.box(label.x + ink.x_bearing, label.baseline + ink.y_bearing, ink.width, ink.height)

    def _trail(self, c: Ctx, cell: int, trail: Sequence[Point], head: Point) -> None:
        if not trail:
            return
        lay = self.layout
        c.set_line_width(lay.trail_width)
        to_pixel = lay.point
        path = [to_pixel(cell, p[0], p[1]) for p in trail]
        path.append(to_pixel(cell, head[0], head[1]))
        self.tiles.line(np.array(path), lay.trail_width / 2)
        depths = [p[2] for p in trail]
        n = len(trail)
        band = max(1, math.ceil(n / TRAIL_BANDS))
        # Oldest band first, faintest; each band is one stroke in one colour.
        for start in range(0, n, band):
            end = min(n, start + band)
            k = end / n
            c.set_source_rgba(*depth_colour(depths[(start + end) // 2]), 0.08 + 0.72 * k * k)
            x, y = path[start]
            c.move_to(x, y)
            for x, y in path[start + 1:end + 1]:
                c.line_to(x, y)
            c.stroke()

    def png(self, path: str) -> None:
        """Saves the last frame drawn as a PNG (for stills)."""
        self.surface.write_to_png(path)
