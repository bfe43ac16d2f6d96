"""Positions per video frame, for keyframing in animation, video or lighting tools.

One row per frame: the frame number, the time it is shown in seconds, the pip
it shows (see ``timeline`` for the rounding rule), the source's x, y and z
there, and the bar and beat of that pip on the timeline ("BAR.BEAT", both
counted from 1 at pip 0; see ``Timeline.bar_beat``). Numbers are written in Python's shortest exact form, so reading them
back gives the very same doubles.
"""

from __future__ import annotations

import csv
import json
from collections.abc import Iterator
from typing import Final, TextIO

from .frames import Frames, stream
from .sources import Source
from .timeline import Timeline

COLUMNS: Final = ("frame", "seconds", "pip", "x", "y", "z", "bar.beat")

Row = tuple[int, float, int, float, float, float, str]


def rows(source: Source, frames: Frames, count: int, start: int = 0) -> Iterator[Row]:
    """Frames ``start`` to ``start + count - 1`` of ``source``, bars from the frames' timeline.

    Raises ValueError before the first row if a frame's pip would leave the
    signed 32-bit range the module takes.
    """
    timeline = frames.timeline
    if not isinstance(timeline, Timeline):
        raise TypeError("export needs a Timeline, which knows its bars")
    bar_beat = timeline.bar_beat
    return (
        (f.frame, float(f.seconds), f.pip, *f.points[0], str(bar_beat(f.pip)))
        for f in stream([source], frames, count, start)
    )


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
