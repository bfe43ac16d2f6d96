"""The terminal trace of ``kinetra show``: an ASCII dot following a source.

In a terminal the dot moves live, in step with the timeline, for the bars
asked for; anywhere else (a pipe, a file, CI) one line is printed per eighth
of a beat, enough to see the shape in the columns.
"""

from __future__ import annotations

import time
from typing import TextIO

from .sources import Source
from .timeline import PIPS_PER_BEAT, BarBeat, Timeline

WIDTH, HEIGHT = 41, 15
TRAIL = 24
LINES_PER_BEAT = 8


def cell(value: float, size: int) -> int:
    """Map -1.0 .. 1.0 onto 0 .. size - 1."""
    return round((value + 1.0) / 2.0 * (size - 1))


def frame(name: str, pip: int, trail: list[tuple[int, int]], where: BarBeat) -> str:
    """One screen: the header (``where`` is the pip's bar and beat), and the trail
    drawn in a box (newest dot last)."""
    grid = [[" "] * WIDTH for _ in range(HEIGHT)]
    for age, (col, row) in enumerate(trail):
        grid[row][col] = "." if age < len(trail) - 1 else "@"
    header = f"{name}  bar {where.bar}  beat {where.beat}  pip {pip}"
    border = "+" + "-" * WIDTH + "+"
    return "\n".join([header, border, *("|" + "".join(r) + "|" for r in grid), border])


def _bars(bars: int) -> str:
    return f"{bars} bar" if bars == 1 else f"{bars} bars"


def screen_cell(point: tuple[float, float, float]) -> tuple[int, int]:
    """The (column, row) of a point; +y is drawn towards the top."""
    x, y, _ = point
    return cell(x, WIDTH), HEIGHT - 1 - cell(y, HEIGHT)


def _tempo_text(timeline: Timeline) -> str:
    return f" at {float(timeline.bpm):g} BPM"


def live(source: Source, timeline: Timeline, bars: int, out: TextIO) -> None:
    """Redraw the dot about 30 times a second until ``bars`` bars have played."""
    total = timeline.bar_start(bars + 1)
    first = timeline.seconds_at(0)
    trail: list[tuple[int, int]] = []
    start = time.monotonic()
    out.write("\x1b[?25l")  # hide the cursor while drawing
    try:
        while (pip := timeline.pip_at(first + time.monotonic() - start)) < total:
            trail = (trail + [screen_cell(source.sample(pip))])[-TRAIL:]
            out.write("\x1b[H\x1b[2J" + frame(source.name, pip, trail, timeline.bar_beat(pip)) + "\n")
            out.flush()
            time.sleep(1 / 30)
    finally:
        out.write("\x1b[?25h")
    out.write(f"{_bars(bars)} of {source.name}{_tempo_text(timeline)}\n")


def summary(source: Source, timeline: Timeline, bars: int, out: TextIO) -> None:
    """One line per eighth of a beat: the beat, the dot's column, and x, y, z."""
    out.write(f"{source.name}{_tempo_text(timeline)}, {_bars(bars)} "
              "(no terminal: one line per eighth of a beat)\n")
    for pip in range(0, timeline.bar_start(bars + 1), PIPS_PER_BEAT // LINES_PER_BEAT):
        x, y, z = source.sample(pip)
        track = [" "] * WIDTH
        track[cell(x, WIDTH)] = "@"
        mark = str(timeline.bar_beat(pip)) if pip % PIPS_PER_BEAT == 0 else ""
        out.write(f"{mark:>4} |{''.join(track)}| x={x:+.3f} y={y:+.3f} z={z:+.3f}\n")


def show(source: Source, timeline: Timeline, bars: int, out: TextIO) -> None:
    """Live in a terminal, one line per eighth of a beat elsewhere."""
    if out.isatty():
        live(source, timeline, bars, out)
    else:
        summary(source, timeline, bars, out)
