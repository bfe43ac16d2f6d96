"""A fixed tempo as a live clock: a ``Tempo`` whose beat zero is a moment now."""

from __future__ import annotations

import time
from fractions import Fraction

from ..clock import PIPS_PER_BEAT
from ..numbers import Number, positive
from . import LiveReading


class FixedClock:
    """A constant tempo started at ``start`` (``time.monotonic()`` seconds, default now).

    Pip 0 starts at ``start``; the pip at a moment is the floor of the exact
    time since then times the tempo, so a long run does not drift.
    """

    __slots__ = ("bpm", "start", "_start", "_rate", "_bpm")

    def __init__(self, bpm: Number = 120, start: float | None = None) -> None:
        self.bpm: Fraction = positive(bpm, "BPM")
        self.start = time.monotonic() if start is None else float(start)
        self._start = self.start.as_integer_ratio()
        rate = self.bpm * PIPS_PER_BEAT / 60  # pips a second
        self._rate = (rate.numerator, rate.denominator)
        self._bpm = float(self.bpm)

    def reading(self, at: float) -> LiveReading:
        # floor((at - start) * rate) with the floats' exact values, in integers
        a, b = float(at).as_integer_ratio()
        c, d = self._start
        p, q = self._rate
        return LiveReading((a * d - c * b) * p // (b * d * q), self._bpm, True)

    def close(self) -> None:
        pass

    def __repr__(self) -> str:
        return f"FixedClock({self._bpm:g} BPM)"
