"""The colours of depth, shared by the video renderer and the gallery page.

A point's depth z runs from -1 (far) through 0 to +1 (near); its colour is a
straight blend from ``MIDDLE`` towards ``FAR`` or ``NEAR`` (8-bit RGB).
"""

from __future__ import annotations

from typing import Final

RGB = tuple[int, int, int]

FAR: Final[RGB] = (70, 120, 230)  # z = -1: blue
MIDDLE: Final[RGB] = (160, 150, 190)  # z = 0: grey-violet
NEAR: Final[RGB] = (245, 140, 50)  # z = +1: orange


def depth_rgb(z: float) -> tuple[float, float, float]:
    """The colour of depth ``z`` (clamped to -1..1), each component 0..255, unrounded."""
    t = max(-1.0, min(1.0, z))
    to, k = (FAR, -t) if t < 0 else (NEAR, t)
    return tuple(m + (e - m) * k for m, e in zip(MIDDLE, to))  # type: ignore[return-value]
