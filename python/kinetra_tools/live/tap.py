"""Tap tempo: every tap is a beat.

The tempo comes from the last few taps (``WINDOW``), as the median of the
tempos that every pair of them implies (the Theil-Sen slope of tap time over
beat number). Steady taps give their tempo exactly from the second tap on;
one sloppy tap among four moves it by a small part of the tap's own error
(none at all when it is not the first or the last), so the tempo has settled
by the fourth tap. Two beats in a row more than ``CHANGE`` (10 %) shorter, or
longer, than the tempo are a new tempo: the older taps are dropped, and the
new tempo holds from the second tap that plays it. The phase comes from the
last tap: it marks the start of its beat. Between taps the clock runs on at
that tempo.

Taps close together belong to one run and count as consecutive beats. A pause
longer than ``RESET_SECONDS``, or, once a run has a tempo, longer than
``RESET_BEATS`` of its beats, starts a new run: its first tap lands on the
nearest beat of the running clock, so the count never jumps back, and the
tempo it had stays until the new run's second tap.
"""

from __future__ import annotations

import math
import threading
import time
from collections import deque
from statistics import median
from typing import Final, NamedTuple

from ..numbers import Number, positive
from ..timeline import DEFAULT_METER, PIPS_PER_BEAT, Barred, Bars, check_meter
from . import LiveReading

WINDOW: Final = 8
RESET_SECONDS: Final = 2.0
RESET_BEATS: Final = 2.5
CHANGE: Final = 0.1


def _stray(gap: float, period: float) -> int:
    """-1 or 1 when a beat of ``gap`` seconds is well shorter or longer than ``period``; else 0."""
    if gap < period * (1 - CHANGE):
        return -1
    if gap > period * (1 + CHANGE):
        return 1
    return 0


class _State(NamedTuple):
    tapped: bool
    anchor: float  # time of the last tap: the start of beat `beat`
    beat: int
    period: float  # seconds a beat


class TapClock(Barred):
    """A live clock set by hand: call ``tap()`` on every beat.

    Until the first tap it stands at pip 0, not playing. The first tap starts
    beat 0 at ``bpm``, and bar 1 of ``meter`` beats; from the second tap on,
    the tempo is the taps' own. ``tap`` may be called from another thread than
    ``reading``.
    """

    def __init__(self, bpm: Number = 120, meter: int = DEFAULT_METER) -> None:
        self.bars = Bars.regular(check_meter(meter))
        self._state = _State(False, 0.0, 0, 60.0 / float(positive(bpm, "BPM")))
        self._times: deque[float] = deque(maxlen=WINDOW)
        self._beats: deque[int] = deque(maxlen=WINDOW)
        self._strayed = 0  # whether the last beat was well shorter (-1) or longer (1) than the tempo
        self._lock = threading.Lock()

    def tap(self, at: float | None = None) -> None:
        """A beat starts at ``at`` (``time.monotonic()`` seconds, default now)."""
        at = time.monotonic() if at is None else float(at)
        with self._lock:
            state = self._state
            if not state.tapped:
                beat = 0
            else:
                gap = at - state.anchor
                if gap < 0:
                    return  # out of order: a tap older than the last one
                new_run = gap > RESET_SECONDS or (len(self._times) > 1 and gap > RESET_BEATS * state.period)
                if new_run:
                    self._times.clear()
                    self._beats.clear()
                    self._strayed = 0
                    beat = max(state.beat + 1, round(state.beat + gap / state.period))
                else:
                    beat = state.beat + 1
                    strayed = _stray(gap, state.period)
                    if strayed and strayed == self._strayed and len(self._times) > 2:
                        # Two beats in a row well off the tempo, the same way:
                        # a new tempo. Only the taps that play it count.
                        while len(self._times) > 2:
                            self._times.popleft()
                            self._beats.popleft()
                        strayed = 0
                    self._strayed = strayed
            self._times.append(at)
            self._beats.append(beat)
            period = self._period() if len(self._times) > 1 else state.period
            self._state = _State(True, at, beat, period)

    def _period(self) -> float:
        times, beats = self._times, self._beats
        slopes = [(times[j] - times[i]) / (beats[j] - beats[i])
                  for i in range(len(times)) for j in range(i + 1, len(times))]
        period = median(slopes)
        return period if period > 0 else self._state.period

    def reading(self, at: float) -> LiveReading:
        state = self._state
        bpm = 60.0 / state.period
        if not state.tapped:
            return LiveReading(0, bpm, False)
        pip = state.beat * PIPS_PER_BEAT + math.floor((at - state.anchor) / state.period * PIPS_PER_BEAT)
        return LiveReading(pip, bpm, True)

    @property
    def bpm(self) -> float:
        return 60.0 / self._state.period

    def close(self) -> None:
        pass

    def __repr__(self) -> str:
        return f"TapClock({self.bpm:.1f} BPM)"
