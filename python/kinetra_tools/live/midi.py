"""MIDI clock: follow the tempo and position of a drum machine, sequencer or DAW.

A MIDI clock source sends 24 clock ticks a beat, so one tick is exactly 8/3
pips (``PIPS_PER_TICK``), and start, stop and continue messages, and a song
position pointer (in sixteenth notes of 6 ticks, 16 pips) to say where the
next continue resumes.

``MidiClockFollower`` is the logic alone: feed it ``(time, message)`` pairs
(any object with mido's ``type`` and, for ``songpos``, ``pos``) and ask it for
readings. Position follows the ticks' count exactly, so it never drifts;
between ticks it moves at the tempo of a straight line fitted to the recent
tick times, which smooths the jitter of ticks (a USB cable, a busy computer)
without lagging behind tempo changes: when new ticks stray from the line
steadily in one direction, the line is refitted from the ticks since the
change. The position never runs ahead of the tick that has not yet arrived, so
a clock that stops sending holds its pip, as does a stopped one.

Song position 0 starts bar 1; bars have ``meter`` beats (MIDI clock carries
no meter of its own), 4 unless told otherwise.

``MidiClock(port)`` does the same with messages from a MIDI input port, read
through mido with the python-rtmidi backend.
"""

from __future__ import annotations

import math
import os
import threading
import time
from collections import deque
from collections.abc import Callable
from fractions import Fraction
from typing import Any, Final

from ..timeline import DEFAULT_METER, PIPS_PER_BEAT, Barred, Bars, check_meter
from . import LiveReading

TICKS_PER_BEAT: Final = 24
TICKS_PER_SIXTEENTH: Final = 6
PIPS_PER_TICK: Final = Fraction(PIPS_PER_BEAT, TICKS_PER_BEAT)  # 8/3

# Ticks in the fitted line: two beats.
WINDOW: Final = 48
# A new tick strays from the line when it is further off than this many times
# the usual size of a stray, and never less than MIN_STRAY seconds.
STRAY_FACTOR: Final = 4.0
MIN_STRAY: Final = 0.0015
# Strays in a row, all one way, that mean the tempo has changed.
STRAYS_FOR_CHANGE: Final = 2
# A gap of this many ticks without a tick starts the line afresh.
GAP_TICKS: Final = 4.0


def tick_pip(tick: int) -> int:
    """The pip at which tick ``tick`` (counted from 0) starts: floor(tick * 8 / 3)."""
    return tick * PIPS_PER_TICK.numerator // PIPS_PER_TICK.denominator


class MidiClockFollower(Barred):
    """The live clock a MIDI clock stream describes; fed by ``feed(at, message)``.

    Before any start or continue it stands at pip 0, not playing. ``start``
    sets the position to 0 and the first tick after it is pip 0; ``continue``
    resumes from where the clock stopped or from the last song position
    pointer; ``stop`` holds the pip. Ticks that arrive while stopped keep the
    tempo up to date without moving the position. ``feed`` and ``reading``
    may be called from different threads.
    """

    def __init__(self, bpm: float = 120.0, meter: int = DEFAULT_METER) -> None:
        self.bars = Bars.regular(check_meter(meter))
        self._lock = threading.Lock()
        self._period = 60.0 / (bpm * TICKS_PER_BEAT)  # seconds a tick
        self._times: deque[float] = deque(maxlen=WINDOW)  # recent tick times, one tick apart
        self._count = 0  # ticks received, ever: the count of the last is _count - 1
        self._c0 = 0.0  # fitted line: tick count k arrives at _c0 + (k - _k0) * _period
        self._k0 = 0
        self._spread = 0.0  # usual size of a stray (running mean of |residual|)
        self._residuals: deque[float] = deque(maxlen=WINDOW)  # each tick's distance from the line then
        self._strays = 0  # ticks in a row far off the line, all one way
        self._running = False
        self._waiting = False  # started, the first tick not yet here
        self._offset = 0  # position of tick count k is k - _offset (while running)
        self._next = 0  # position, in ticks, of the next tick to play
        self._held = Fraction(0)  # position while not moving, in ticks

    # -- messages --------------------------------------------------------------

    def feed(self, at: float, message: Any) -> None:
        """Take one message that arrived at ``at`` (``time.monotonic()`` seconds)."""
        kind = getattr(message, "type", None)
        with self._lock:
            if kind == "clock":
                self._tick(float(at))
            elif kind == "start":
                self._running, self._waiting = True, True
                self._next, self._held = 0, Fraction(0)
            elif kind == "continue":
                if not self._running:
                    self._running, self._waiting = True, True
            elif kind == "stop":
                if self._running:
                    self._held = self._position(float(at))
                    self._running = self._waiting = False
            elif kind == "songpos":
                self._next = int(message.pos) * TICKS_PER_SIXTEENTH
                self._held = Fraction(self._next)
                if self._running:
                    self._waiting = True

    def _tick(self, at: float) -> None:
        times, residuals = self._times, self._residuals
        if times and at - times[-1] > GAP_TICKS * self._period:
            times.clear()  # ticks stopped for a while: the old line says nothing now
            residuals.clear()
            self._strays = 0
        k = self._count
        self._count += 1
        residual = 0.0
        if len(times) >= 2:
            residual = at - (self._c0 + (k - self._k0) * self._period)
            if abs(residual) > max(MIN_STRAY, STRAY_FACTOR * self._spread):
                same_way = self._strays and (residuals[-1] > 0) == (residual > 0)
                self._strays = self._strays + 1 if same_way else 1
                if self._strays >= STRAYS_FOR_CHANGE:
                    # The tempo has changed: keep only the ticks since the
                    # residuals last turned this way.
                    keep = 0
                    while keep < len(residuals) and (residuals[-1 - keep] > 0) == (residual > 0):
                        keep += 1
                    for _ in range(len(times) - keep):
                        times.popleft()
                        residuals.popleft()
                    self._strays = 0
            else:
                self._strays = 0
                self._spread += (abs(residual) - self._spread) / 16
        times.append(at)
        residuals.append(residual)
        self._fit(k)
        if self._running:
            if self._waiting:
                self._waiting = False
                self._offset = k - self._next
            self._next = k - self._offset + 1

    def _fit(self, last: int) -> None:
        """Least squares line through the window: tick time over tick count."""
        times = self._times
        n = len(times)
        first = last - n + 1
        if n < 2:
            self._c0, self._k0 = times[-1], last
            return
        # Centred sums: t relative to the first tick, k relative to the middle.
        mid = (n - 1) / 2
        base = times[0]
        mean_t = (sum(times) - n * base) / n
        sxy = sum((i - mid) * (t - base - mean_t) for i, t in enumerate(times))
        sxx = n * (n * n - 1) / 12
        period = sxy / sxx
        if period > 0:
            self._period = period
        self._c0 = base + mean_t + (n - 1 - mid) * self._period
        self._k0 = first + n - 1

    # -- readings --------------------------------------------------------------

    def _ahead(self, at: float) -> float:
        """Ticks from the last tick's position to the line's at ``at``, within -1 .. 1.

        Up to the next tick's position at most: the clock does not run past a
        tick that has not arrived.
        """
        ahead = self._k0 + (at - self._c0) / self._period - (self._count - 1)
        # Rounded to a billionth of a tick, so a reading taken on a tick of
        # a steady clock gives that tick's pip, not the one before.
        return min(max(round(ahead, 9), -1.0), 1.0)

    def _position(self, at: float) -> Fraction:
        """Position in ticks at ``at`` (exact while held)."""
        if not self._running or self._waiting or not self._times:
            return self._held
        return (self._count - 1 - self._offset) + Fraction(self._ahead(at))

    def reading(self, at: float) -> LiveReading:
        with self._lock:
            bpm = 60.0 / (self._period * TICKS_PER_BEAT)
            if not self._running or self._waiting or not self._times:
                return LiveReading(math.floor(self._held * PIPS_PER_TICK), bpm, self._running)
            last = self._count - 1 - self._offset
            num, den = PIPS_PER_TICK.numerator, PIPS_PER_TICK.denominator
            pip = math.floor((last * num + self._ahead(at) * num) / den)
            return LiveReading(pip, bpm, True)

    @property
    def bpm(self) -> float:
        return 60.0 / (self._period * TICKS_PER_BEAT)

    def close(self) -> None:
        pass


class MidiClock(MidiClockFollower):
    """The MIDI clock arriving on input port ``port`` (an exact port name, or a
    part of one that fits a single port), read through mido and python-rtmidi.

    Raises ValueError with a one-line reason when the port cannot be opened:
    mido missing, no MIDI system on the machine, or no such port.
    """

    def __init__(self, port: str, bpm: float = 120.0, meter: int = DEFAULT_METER) -> None:
        super().__init__(bpm, meter)
        mido = _mido()
        self._now: Callable[[], float] = time.monotonic
        names = _quietly(mido.get_input_names)
        self.port_name = find_port(port, names)
        self._port = _quietly(lambda: mido.open_input(self.port_name, callback=self._receive))

    def _receive(self, message: Any) -> None:
        self.feed(self._now(), message)

    def close(self) -> None:
        port, self._port = getattr(self, "_port", None), None
        if port is not None:
            port.close()


def find_port(wanted: str, names: list[str]) -> str:
    """The port called ``wanted``, or the one port whose name contains it (any case)."""
    if wanted in names:
        return wanted
    fits = [name for name in names if wanted.lower() in name.lower()]
    if len(fits) == 1:
        return fits[0]
    if not names:
        raise ValueError(f"no MIDI input port {wanted!r}: the machine has no MIDI input ports")
    listed = ", ".join(repr(name) for name in (fits or names))
    if fits:
        raise ValueError(f"MIDI input port {wanted!r} is ambiguous: it fits {listed}")
    raise ValueError(f"no MIDI input port {wanted!r} (ports: {listed})")


def _mido() -> Any:
    try:
        import mido  # type: ignore[import-untyped, unused-ignore]
        import rtmidi  # type: ignore[import-untyped, unused-ignore]  # noqa: F401  (mido's backend)
    except ImportError as error:
        raise ValueError(f"MIDI clock needs mido and python-rtmidi (pip install 'kinetra[midi]'): "
                         f"{error}") from None
    return mido


SEQUENCER: Final = "/dev/snd/seq"


def _quietly(call: Callable[[], Any]) -> Any:
    """``call()`` with the MIDI library's own complaints kept off the terminal.

    ALSA writes its errors straight to file descriptor 2; the error that
    follows says the same in one line.
    """
    import sys

    try:
        sys.stderr.flush()
        saved = os.dup(2)
    except (OSError, ValueError, AttributeError):
        saved = None
    if saved is not None:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, 2)
        os.close(devnull)
    try:
        return call()
    except ValueError:
        raise
    except Exception as error:  # rtmidi's own error classes, OSError from mido
        text = str(error).strip().rstrip(".") or type(error).__name__
        if "ALSA" in text and not os.path.exists(SEQUENCER):
            raise ValueError(f"no MIDI system: ALSA sequencer {SEQUENCER} not found") from None
        raise ValueError(f"cannot open MIDI input: {text}") from None
    finally:
        if saved is not None:
            os.dup2(saved, 2)
            os.close(saved)
