"""The pattern gallery: one self-contained HTML page with a card per default pattern.

Each card draws the pattern's x-y trace coloured by depth (z), its three axis
curves over one loop, and a point that moves along the trace at the page's
BPM. The page holds its own CSS, JavaScript and data and fetches nothing.

The data are the module's own samples. A loop longer than ``MAX_POINTS`` pips
is cut into buckets of ``step`` pips and each bucket keeps the one sample
that stands out most from the bucket's mean, so a short hit survives the
thinning. Each axis is stored as one byte per point, ``round(v * 127) + 128``,
base64-encoded; an axis that stays at zero is stored as an empty string.
"""

from __future__ import annotations

import base64
import json
import math
import os
from collections.abc import Sequence
from typing import Final

from . import palette
from .patterns import Pattern, loop, pack_names

MAX_POINTS: Final = 256
TEMPLATE: Final = os.path.join(os.path.dirname(os.path.abspath(__file__)), "gallery.html")
Point = tuple[float, float, float]


def thin(points: Sequence[Point], max_points: int = MAX_POINTS) -> tuple[int, list[Point]]:
    """(step, kept points): one point per bucket of ``step`` pips, peaks kept."""
    step = max(1, math.ceil(len(points) / max_points))
    if step == 1:
        return 1, list(points)
    xs, ys, zs = ([p[a] for p in points] for a in range(3))
    kept = []
    for start in range(0, len(points), step):
        end = min(start + step, len(points))
        mx, my, mz = (sum(axis[start:end]) / (end - start) for axis in (xs, ys, zs))
        best, farthest = start, -1.0
        for i in range(start, end):  # the first of equals wins
            d = (xs[i] - mx) ** 2 + (ys[i] - my) ** 2 + (zs[i] - mz) ** 2
            if d > farthest:
                best, farthest = i, d
        kept.append(points[best])
    return step, kept


def encode_axis(values: Sequence[float]) -> str:
    """One byte per value (-1.0 .. 1.0 onto 1 .. 255), base64; "" if all zero."""
    if not any(values):
        return ""
    data = bytes(min(255, max(1, round(v * 127) + 128)) for v in values)
    return base64.b64encode(data).decode("ascii")


def card_data(pattern: Pattern, packs: list[str]) -> list[object]:
    step, kept = thin(loop(pattern.name, pattern.period_pips))
    axes = [encode_axis(axis) for axis in zip(*kept)]
    return [pattern.name, pattern.description, pattern.period_pips, pattern.dimensions,
            packs.index(pattern.pack) if pattern.pack in packs else -1, step, *axes]


def page(found: Sequence[Pattern]) -> str:
    """The whole HTML page for these patterns."""
    packs = pack_names()
    data = {"packs": packs, "depth": [palette.FAR, palette.MIDDLE, palette.NEAR],
            "patterns": [card_data(p, packs) for p in found]}
    # Inside <script>, "</" could end the element early: escape it.
    text = json.dumps(data, ensure_ascii=False, separators=(",", ":")).replace("</", "<\\/")
    with open(TEMPLATE, encoding="utf-8") as f:
        template = f.read()
    head, marker, tail = template.partition("@DATA@")
    if not marker:
        raise RuntimeError("gallery template has no data marker")
    return head + text + tail


def write(path: str, found: Sequence[Pattern]) -> int:
    """Write the page to ``path``, replacing it only once complete; returns its size in bytes."""
    from .files import replacing

    html = page(found).encode("utf-8")
    with replacing(path, "wb") as out:
        out.write(html)
    return len(html)
