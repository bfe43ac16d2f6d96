"""The terminal side of ``kinetra play``: the live trace, and taps from the keyboard.

``TraceOutput`` draws every pattern's trace (the drawing of ``kinetra show``)
side by side, redrawn in place up to ``REDRAW_HZ`` times a second; when the
traces do not fit the terminal, it draws one line a pattern instead (as many
as fit). When the output is not a terminal it prints one line per beat.

``TerminalTaps`` reads taps for a ``TapClock`` from standard input on a thread
of its own: Enter or space taps, q ends. On a terminal it turns off line
buffering and echo while it runs (Ctrl-C still interrupts) and puts the
terminal back as it was however the run ends.
"""

from __future__ import annotations

import os
import select
import shutil
import threading
import time
from collections.abc import Callable, Sequence
from typing import Any, Final, TextIO

from ..timeline import BarBeat, Bars
from .loop import BeatWatch, LiveFrame

REDRAW_HZ: Final = 30
# Cells of the short track of a pattern drawn on one line.
COMPACT_TRACK: Final = 21


def side_by_side(screens: Sequence[str], columns: int) -> str:
    """Screens (blocks of lines) placed left to right, wrapping to fit ``columns``."""
    blocks = [screen.split("\n") for screen in screens]
    width = max(len(line) for block in blocks for line in block)
    per_row = max(1, (columns + 2) // (width + 2))
    rows = []
    for first in range(0, len(blocks), per_row):
        group = blocks[first:first + per_row]
        height = max(len(block) for block in group)
        for i in range(height):
            rows.append("  ".join((block[i] if i < len(block) else "").ljust(width) for block in group).rstrip())
    return "\n".join(rows)


class TraceOutput:
    """The live terminal trace of every pattern, or one line per beat off a terminal.

    Bars and beats are counted by ``bars`` (the clock's), four beats a bar by default.
    """

    def __init__(self, out: TextIO, names: Sequence[str], *, status: Callable[[], str] | None = None,
                 bars: Bars | None = None) -> None:
        self.out = out
        self.names = tuple(names)
        self.status = status
        self.bars = bars if bars is not None else Bars.regular()
        self.live = out.isatty()
        self._trails: list[list[tuple[int, int]]] = [[] for _ in self.names]
        self._next_draw = float("-inf")
        self._watch = BeatWatch()
        self._started = False

    def send(self, frame: LiveFrame) -> None:
        if self.live:
            self._draw(frame)
        else:
            self._line(frame)

    def _draw(self, frame: LiveFrame) -> None:
        from .. import trace

        for trail, point in zip(self._trails, frame.points):
            trail.append(trace.screen_cell(point))
            if len(trail) > trace.TRAIL:
                del trail[0]
        if frame.due < self._next_draw:
            return
        self._next_draw = frame.due + 1 / REDRAW_HZ - 1e-4
        if not self._started:
            self._started = True
            self.out.write("\x1b[?25l\x1b[2J")  # hide the cursor, clear the screen
        reading = frame.reading
        where = self.bars.bar_beat(reading.pip)
        state = f"{reading.bpm:.1f} BPM  {'playing' if reading.playing else 'stopped'}"
        extra = self.status() if self.status is not None else ""
        size = shutil.get_terminal_size()
        screens = [trace.frame(name, reading.pip, trail, where) for name, trail in zip(self.names, self._trails)]
        grid = side_by_side(screens, size.columns)
        if grid.count("\n") + 2 <= size.lines:
            body = grid
        else:
            body = compact(self.names, frame.points, reading.pip, where, size.columns, size.lines - 1)
        text = body + f"\n{state}  {extra}".rstrip()
        self.out.write("\x1b[H" + text.replace("\n", "\x1b[K\n") + "\x1b[K\n\x1b[J")
        self.out.flush()

    def _line(self, frame: LiveFrame) -> None:
        pip = frame.reading.pip
        if self._watch.starts(pip) is None:
            return
        points = "  ".join(f"{name} x={x:+.3f} y={y:+.3f} z={z:+.3f}"
                           for name, (x, y, z) in zip(self.names, frame.points))
        self.out.write(f"{self.bars.bar_beat(pip)} pip {pip} {frame.reading.bpm:.1f} BPM  {points}\n")
        self.out.flush()

    def close(self) -> None:
        if self._started:
            self.out.write("\x1b[?25h")  # the cursor back
            self.out.flush()


def compact(names: Sequence[str], points: Sequence[tuple[float, float, float]], pip: int, where: BarBeat,
            columns: int, lines: int) -> str:
    """One line a pattern, each within ``columns``, in at most ``lines`` lines: the name, the
    bar and beat, the dot's column on a short track, and x, y, z. Patterns past the last
    line are counted on it."""
    from .. import trace

    lines = max(1, lines)
    shown = len(names) if len(names) <= lines else lines - 1
    width = max(len(name) for name in names)
    rows = []
    for name, (x, y, z) in zip(names[:shown], points[:shown]):
        track = [" "] * COMPACT_TRACK
        track[trace.cell(x, COMPACT_TRACK)] = "@"
        rows.append(f"{name.ljust(width)}  bar {where.bar}  beat {where.beat}  pip {pip}  |{''.join(track)}|  "
                    f"x={x:+.3f} y={y:+.3f} z={z:+.3f}"[:columns])
    if shown < len(names):
        rows.append(f"... and {len(names) - shown} more"[:columns])
    return "\n".join(rows)


class TerminalTaps:
    """Taps from standard input while in a ``with`` block: Enter or space taps, q quits.

    ``tap`` is called with the ``time.monotonic()`` moment the key arrived,
    ``quit`` on q or Ctrl-D. When the input ends (a pipe closed), taps stop
    and the run goes on.
    """

    def __init__(self, tap: Callable[[float], Any], stream: TextIO, quit: Callable[[], Any] | None = None) -> None:
        self.tap = tap
        self.quit = quit
        self.stream = stream
        self._fd = -1
        self._saved: Any = None
        self._wake: tuple[int, int] | None = None
        self._thread: threading.Thread | None = None

    def __enter__(self) -> TerminalTaps:
        try:
            self._fd = self.stream.fileno()
        except (AttributeError, OSError, ValueError):
            return self  # no input to read taps from
        if os.isatty(self._fd):
            import termios
            import tty

            self._saved = termios.tcgetattr(self._fd)
            tty.setcbreak(self._fd, termios.TCSANOW)  # keys one by one, no echo; signals stay on
        self._wake = os.pipe()
        self._thread = threading.Thread(target=self._read, name="kinetra taps", daemon=True)
        self._thread.start()
        return self

    def _read(self) -> None:
        assert self._wake is not None
        fd, wake = self._fd, self._wake[0]
        while True:
            ready, _, _ = select.select([fd, wake], [], [])
            if wake in ready:
                return
            at = time.monotonic()
            try:
                data = os.read(fd, 1024)
            except OSError:
                data = b""
            if not data:
                return  # the input has ended: no more taps, the run goes on
            if any(key in data for key in b" \n\r"):
                self.tap(at)
            if any(key in data for key in b"qQ\x04") and self.quit is not None:
                self.quit()
                return

    def __exit__(self, *exc: object) -> None:
        try:
            if self._wake is not None:
                os.write(self._wake[1], b"x")
                if self._thread is not None:
                    self._thread.join(1.0)
                os.close(self._wake[0])
                os.close(self._wake[1])
                self._wake = None
        finally:
            if self._saved is not None:
                import termios

                termios.tcsetattr(self._fd, termios.TCSADRAIN, self._saved)
                self._saved = None
