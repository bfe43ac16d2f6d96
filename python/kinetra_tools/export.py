"""Positions per video frame, for keyframing in animation, video or lighting tools.

One row per frame from frame 0: the frame number, the time it is shown in
seconds, the pip it shows (see ``clock`` for the rounding rule) and the
pattern's x, y and z there. Numbers are written in Python's shortest exact
form, so reading them back gives the very same doubles.
"""

from __future__ import annotations

import csv
import json
from collections.abc import Iterator
from typing import Final, TextIO

import kinetra

from .clock import FrameClock

COLUMNS: Final = ("frame", "seconds", "pip", "x", "y", "z")
PIP_MIN: Final = -(2**31)
PIP_MAX: Final = 2**31 - 1

Row = tuple[int, float, int, float, float, float]


def rows(name: str, clock: FrameClock, frames: int) -> Iterator[Row]:
    """Frames 0 to ``frames`` - 1 of pattern ``name`` under ``clock``.

    Raises ValueError before the first row if a frame's pip would leave the
    signed 32-bit range the module takes.
    """
    if frames > 0:
        first, last = clock.pip(0), clock.pip(frames - 1)
        if min(first, last) < PIP_MIN or max(first, last) > PIP_MAX:
            raise ValueError("span too long: its pips leave the 32-bit pip range")
    return _rows(name, clock, frames)


def _rows(name: str, clock: FrameClock, frames: int) -> Iterator[Row]:
    sample = kinetra.sample
    for n in range(frames):
        pip = clock.pip(n)
        x, y, z = sample(name, pip).as_tuple()
        yield n, float(clock.seconds(n)), pip, x, y, z


def write_csv(table: Iterator[Row], out: TextIO) -> None:
    """A header line, then one line per frame."""
    writer = csv.writer(out, lineterminator="\n")
    writer.writerow(COLUMNS)
    writer.writerows(table)


def write_json(table: Iterator[Row], out: TextIO) -> None:
    """A JSON array of one object per frame, with the keys of the CSV header."""
    out.write("[")
    for i, row in enumerate(table):
        out.write(("\n" if i == 0 else ",\n") + json.dumps(dict(zip(COLUMNS, row))))
    out.write("\n]\n")


WRITERS: Final = {"csv": write_csv, "json": write_json}
