"""The colours of depth, shared by the video renderer and the gallery page,
and the renderer's themes.

A point's depth z runs from -1 (far) through 0 to +1 (near); its colour is a
straight blend from ``MIDDLE`` towards ``FAR`` or ``NEAR`` (8-bit RGB).
``THEMES`` holds the colours of everything else a video shows, by theme name
(components 0..1, as the drawing library takes them); the command line offers
its names without loading the renderer.
"""

from __future__ import annotations

from typing import Final, NamedTuple

RGB = tuple[int, int, int]

FAR: Final[RGB] = (70, 120, 230)  # z = -1: blue
MIDDLE: Final[RGB] = (160, 150, 190)  # z = 0: grey-violet
NEAR: Final[RGB] = (245, 140, 50)  # z = +1: orange


def depth_rgb(z: float) -> tuple[float, float, float]:
    """The colour of depth ``z`` (clamped to -1..1), each component 0..255, unrounded."""
    t = max(-1.0, min(1.0, z))
    to, k = (FAR, -t) if t < 0 else (NEAR, t)
    return tuple(m + (e - m) * k for m, e in zip(MIDDLE, to))  # type: ignore[return-value]


Unit = tuple[float, float, float]


def _rgb(value: int) -> Unit:
    return ((value >> 16) / 255, (value >> 8 & 0xFF) / 255, (value & 0xFF) / 255)


class Theme(NamedTuple):
    background: Unit
    plot: Unit
    line: Unit  # grid lines and axes a pattern does not move
    axis: Unit  # axes a pattern moves
    ink: Unit  # names
    faint: Unit  # axis tags, captions
    bright: Unit  # header text
    beat: Unit
    bar: Unit  # the bar's first beat
    core: Unit


THEMES = {
    "dark": Theme(_rgb(0x16181D), _rgb(0x1C1F26), _rgb(0x2E333C), _rgb(0x59616E), _rgb(0xAAB0BA),
                  _rgb(0x737B88), _rgb(0xE4E7EC), _rgb(0xF58C32), _rgb(0xF0504A), (1.0, 1.0, 1.0)),
    "light": Theme(_rgb(0xEEF0F3), _rgb(0xFFFFFF), _rgb(0xDDE1E7), _rgb(0x9AA3B0), _rgb(0x3A404A),
                   _rgb(0x7E8693), _rgb(0x1E2229), _rgb(0xE0741A), _rgb(0xD63A33), (1.0, 1.0, 1.0)),
}
