"""Frames drawn with cairo: a still background once, then only what moves.

Everything that stays put (the backdrop, the plot squares and their cross
hairs, the names, the empty beat indicator) is drawn once into a background
surface. Each frame starts from a copy of it and adds, per pattern, the trail
(one beat of recent path, fading out, coloured by depth), the point (its
size and colour give the depth, a white core marks its exact centre) and a
ring that flashes out of it on every beat; then the lit beat of the bar and
the progress line. Drawing is antialiased.

The frame is handed out as raw pixels in cairo's native 32-bit layout (blue,
green, red, unused on little-endian machines), which the encoder takes as is.
"""

from __future__ import annotations

import math
import sys
from collections.abc import Sequence

import cairo

from ..timeline import DEFAULT_METER
from .layout import Layout, depth_colour

Point = tuple[float, float, float]

BACKGROUND = (0x16 / 255, 0x18 / 255, 0x1D / 255)
PLOT = (0x1B / 255, 0x1E / 255, 0x24 / 255)
LINE = (0x35 / 255, 0x3A / 255, 0x44 / 255)
INK = (0xAA / 255, 0xB0 / 255, 0xBA / 255)  # names: light, but never as white as a point's core
BEAT = (245 / 255, 140 / 255, 50 / 255)
BAR = (230 / 255, 90 / 255, 80 / 255)
CORE = (1.0, 1.0, 1.0)

# Pixel layout of a cairo FORMAT_RGB24 surface in memory, as ffmpeg names it.
PIXEL_FORMAT = "bgr0" if sys.byteorder == "little" else "0rgb"

# How many alpha steps the trail fades in: segments of one step share one stroke.
TRAIL_BANDS = 8


class Painter:
    """Draws frames of ``layout`` with one name per cell."""

    def __init__(self, layout: Layout, names: Sequence[str], beats_per_bar: int = DEFAULT_METER) -> None:
        self.layout = layout
        self.names = list(names)
        self.beats_per_bar = max(1, beats_per_bar)
        width, height = layout.width, layout.height
        # One background per bar length met (the strip has a dot per beat of the bar).
        self._backgrounds: dict[int, cairo.ImageSurface] = {}
        self.surface = cairo.ImageSurface(cairo.FORMAT_RGB24, width, height)
        if self.surface.get_stride() != width * 4:
            raise ValueError(f"unexpected row stride for {width}x{height}")
        self.context = cairo.Context(self.surface)
        self.context.set_line_cap(cairo.LINE_CAP_ROUND)
        self.context.set_line_join(cairo.LINE_JOIN_ROUND)
        self._data = self.surface.get_data()

    # -- once per bar length ------------------------------------------------

    def _beat_slots(self, beats: int) -> list[tuple[float, float, float]]:
        """Centre and radius of each beat's dot in the strip, bottom left."""
        lay = self.layout
        radius = lay.strip * 0.28
        y = lay.height - lay.strip / 2 - 1
        step = radius * 3.2
        return [(lay.strip * 0.6 + radius + i * step, y, radius) for i in range(beats)]

    def background(self, beats: int) -> cairo.ImageSurface:
        """The still part of a frame in a bar of ``beats`` beats."""
        surface = self._backgrounds.get(beats)
        if surface is None:
            surface = self._backgrounds[beats] = cairo.ImageSurface(cairo.FORMAT_RGB24, self.layout.width,
                                                                    self.layout.height)
            self._draw_background(surface, beats)
        return surface

    def _draw_background(self, surface: cairo.ImageSurface, beats: int) -> None:
        lay = self.layout
        names = self.names
        c = cairo.Context(surface)
        c.set_source_rgb(*BACKGROUND)
        c.paint()
        c.select_font_face("sans-serif", cairo.FONT_SLANT_NORMAL, cairo.FONT_WEIGHT_NORMAL)
        c.set_font_size(lay.label * 0.8)
        for cell, name in zip(lay.cells, names):
            side = 2 * cell.half * 1.12
            left, top = cell.centre_x - side / 2, cell.centre_y - side / 2
            c.set_source_rgb(*PLOT)
            c.rectangle(left, top, side, side)
            c.fill()
            c.set_line_width(1)
            c.set_source_rgb(*LINE)
            c.rectangle(round(cell.centre_x - cell.half) + 0.5, round(cell.centre_y - cell.half) + 0.5,
                        round(2 * cell.half), round(2 * cell.half))
            c.move_to(cell.centre_x - cell.half, round(cell.centre_y) + 0.5)
            c.line_to(cell.centre_x + cell.half, round(cell.centre_y) + 0.5)
            c.move_to(round(cell.centre_x) + 0.5, cell.centre_y - cell.half)
            c.line_to(round(cell.centre_x) + 0.5, cell.centre_y + cell.half)
            c.stroke()
            c.set_source_rgb(*INK)
            c.save()
            c.rectangle(cell.x, cell.y, cell.width, cell.height)
            c.clip()
            c.move_to(cell.label_x, cell.label_y)
            c.show_text(name)
            c.restore()
        c.set_source_rgb(*LINE)
        for x, y, r in self._beat_slots(beats):
            c.arc(x, y, r, 0, 2 * math.pi)
            c.fill()
        c.rectangle(0, lay.height - 3, lay.width, 3)
        c.fill()
        surface.flush()

    # -- every frame --------------------------------------------------------

    def frame(self, points: Sequence[Point], trails: Sequence[Sequence[Point]], beat_in_bar: int,
              phase: float, progress: float, beats_in_bar: int | None = None) -> memoryview:
        """The pixels of one frame: the pattern points and their recent paths.

        ``trails[i]`` lists pattern i's positions from oldest to newest, ending
        just before ``points[i]``; ``beat_in_bar`` counts from 0 at the bar's
        first beat, of a bar of ``beats_in_bar`` beats (default: the painter's
        ``beats_per_bar``), ``phase`` (0..1) is how far into its beat the frame
        falls and ``progress`` (0..1) how far through the video.
        """
        lay = self.layout
        c = self.context
        beats = beats_in_bar or self.beats_per_bar
        c.set_operator(cairo.OPERATOR_SOURCE)
        c.set_source_surface(self.background(beats), 0, 0)
        c.paint()
        c.set_operator(cairo.OPERATOR_OVER)
        for cell, point, trail in zip(range(lay.count), points, trails):
            self._trail(cell, trail, point)
        if phase < 0.25:
            c.set_line_width(max(1.0, lay.trail_width))
            alpha = 0.6 * (1 - phase / 0.25)
            for cell, point in enumerate(points):
                x, y = lay.point(cell, point[0], point[1])
                c.set_source_rgba(*depth_colour(point[2]), alpha)
                c.arc(x, y, lay.radius(point[2]) * (1.3 + 3 * phase), 0, 2 * math.pi)
                c.stroke()
        for cell, point in enumerate(points):
            x, y = lay.point(cell, point[0], point[1])
            radius = lay.radius(point[2])
            c.set_source_rgb(*depth_colour(point[2]))
            c.arc(x, y, radius, 0, 2 * math.pi)
            c.fill()
            c.set_source_rgb(*CORE)
            c.arc(x, y, max(1.5, radius * 0.35), 0, 2 * math.pi)
            c.fill()
        self._beat(beat_in_bar, beats, phase)
        c.set_source_rgb(*INK)
        c.rectangle(0, lay.height - 3, lay.width * max(0.0, min(1.0, progress)), 3)
        c.fill()
        self.surface.flush()
        return self._data

    def _trail(self, cell: int, trail: Sequence[Point], head: Point) -> None:
        if not trail:
            return
        lay = self.layout
        c = self.context
        c.set_line_width(lay.trail_width)
        to_pixel = lay.point
        path = [to_pixel(cell, p[0], p[1]) for p in trail]
        path.append(to_pixel(cell, head[0], head[1]))
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

    def _beat(self, index: int, beats: int, phase: float) -> None:
        c = self.context
        slots = self._beat_slots(beats)
        index %= beats
        x, y, r = slots[index]
        c.set_source_rgb(*(BAR if index == 0 else BEAT))
        c.arc(x, y, r * (1.35 - 0.35 * min(1.0, phase * 4)), 0, 2 * math.pi)
        c.fill()

    def png(self, path: str) -> None:
        """Save the current frame as a PNG (for stills)."""
        self.surface.write_to_png(path)
