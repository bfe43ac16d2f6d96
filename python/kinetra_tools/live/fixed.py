"""A fixed tempo as a live clock: a ``Tempo`` whose beat zero is a moment now."""

from __future__ import annotations

import time
from fractions import Fraction

from ..clock import Tempo
from ..numbers import Number
from ..timeline import DEFAULT_METER, Barred
from . import LiveReading


class FixedClock(Barred):
    """A constant tempo started at ``start`` (``time.monotonic()`` seconds, default now).

    The constant ``Tempo`` read at the monotonic clock: pip 0 starts at
    ``start``, and the pip at a moment is the floor of the exact time since
    then times the tempo (the floats' exact values), so a long run does not drift.
    """

    __slots__ = ("tempo", "start", "bars", "_bpm")

    def __init__(self, bpm: Number = 120, start: float | None = None, meter: int = DEFAULT_METER) -> None:
        self.start = time.monotonic() if start is None else float(start)
        self.tempo = Tempo(bpm, Fraction(self.start), meter)
        self.bars = self.tempo.bars
        self._bpm = float(self.tempo.bpm)

    @classmethod
    def of(cls, tempo: Tempo, start: float | None = None) -> FixedClock:
        """``tempo``'s bpm and meter, with beat zero at ``start`` (default now)."""
        return cls(tempo.bpm, start, tempo.meter)

    @property
    def bpm(self) -> Fraction:
        return self.tempo.bpm

    def reading(self, at: float) -> LiveReading:
        return LiveReading(self.tempo.pip_at(Fraction(at)), self._bpm, True)

    def close(self) -> None:
        pass

    def __repr__(self) -> str:
        return f"FixedClock({self._bpm:g} BPM)"
