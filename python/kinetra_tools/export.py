"""Positions per video frame, for keyframing in animation, video or lighting tools.

One row per frame from frame 0: the frame number, the time it is shown in
seconds, the pip it shows (see ``timeline`` for the rounding rule) and the
source's x, y and z there. Numbers are written in Python's shortest exact
form, so reading them back gives the very same doubles.
"""

from __future__ import annotations

import csv
import json
from collections.abc import Iterator
from typing import Final, TextIO

from .frames import stream
from .sources import Source
from .timeline import Frames

COLUMNS: Final = ("frame", "seconds", "pip", "x", "y", "z")

Row = tuple[int, float, int, float, float, float]


def rows(source: Source, frames: Frames, count: int, start: int = 0) -> Iterator[Row]:
    """Frames ``start`` to ``start + count - 1`` of ``source``.

    Raises ValueError before the first row if a frame's pip would leave the
    signed 32-bit range the module takes.
    """
    return (_row(f.frame, f.seconds, f.pip, f.points[0]) for f in stream([source], frames, count, start))


def _row(frame: int, seconds: object, pip: int, point: tuple[float, float, float]) -> Row:
    return (frame, float(seconds), pip, *point)  # type: ignore[arg-type]


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
