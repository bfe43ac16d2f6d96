"""Musical time: seconds and video frames to pips and back.

kinetra counts time in pips, 64 to the beat. With a tempo (``bpm``) and the
time in seconds at which beat zero sounds (``beat_zero_seconds``), time t
seconds lies ``(t - beat_zero_seconds) * bpm / 60 * 64`` pips after pip 0.

Rounding rule. The pip sounding at time t is the last pip that has started
by t: ``floor((t - beat_zero_seconds) * bpm * 64 / 60)``. A time exactly on a
pip boundary gives the new pip; times before beat zero give negative pips
(every pattern loops, so they are as good as any). Frame n of a video at
``fps`` frames a second is shown at exactly ``t = n / fps`` and shows the pip
sounding then. All of this is computed in exact rational arithmetic from the
numbers as written, never by adding up per-frame steps in floating point, so
frame n's pip depends on n alone and does not drift however long the span:
at 174 BPM and 29.97 fps, frame 107,892 (one hour in) is pip 668,160 exactly.

Numbers are taken at the decimal value they are written with: the float
29.97 and the string "29.97" both mean 2997/100. Pass ``Fraction(30000,
1001)`` or the string "30000/1001" for the NTSC rate that 29.97 rounds.
"""

from __future__ import annotations

import math
from decimal import Decimal
from fractions import Fraction
from typing import Final

import kinetra

PIPS_PER_BEAT: Final = kinetra.PIPS_PER_BEAT
BEATS_PER_BAR: Final = 4

Number = int | float | Fraction | Decimal | str


def exact(value: Number, what: str = "value") -> Fraction:
    """The number as an exact fraction; floats at the decimal they print as.

    Raises ValueError for anything that is not a finite number.
    """
    if isinstance(value, bool):
        raise ValueError(f"{what} must be a number, not {value!r}")
    try:
        if isinstance(value, float):
            return Fraction(repr(value))  # 29.97 means 2997/100, not the nearest double
        if isinstance(value, str):
            return Fraction(value.strip())
        if isinstance(value, (int, Fraction, Decimal)):
            return Fraction(value)
    except (ValueError, ZeroDivisionError, OverflowError):
        pass
    raise ValueError(f"{what} must be a finite number: {value!r}")


def _positive(value: Number, what: str) -> Fraction:
    number = exact(value, what)
    if number <= 0:
        raise ValueError(f"{what} must be positive: {value!r}")
    return number


def _floor(value: Fraction) -> int:
    return value.numerator // value.denominator


class Tempo:
    """A tempo and a beat origin: seconds to pips and back, exactly."""

    __slots__ = ("bpm", "beat_zero_seconds", "_pips_per_second")

    def __init__(self, bpm: Number, beat_zero_seconds: Number = 0) -> None:
        self.bpm: Fraction = _positive(bpm, "BPM")
        self.beat_zero_seconds: Fraction = exact(beat_zero_seconds, "beat zero")
        self._pips_per_second = self.bpm * PIPS_PER_BEAT / 60

    def pip_at(self, seconds: Number) -> int:
        """The pip sounding at ``seconds``: the last one started by then."""
        return _floor((exact(seconds, "seconds") - self.beat_zero_seconds) * self._pips_per_second)

    def seconds_at(self, pip: int) -> Fraction:
        """The exact time at which ``pip`` starts."""
        return self.beat_zero_seconds + Fraction(_integer(pip, "pip")) / self._pips_per_second

    def bars_seconds(self, bars: int) -> Fraction:
        """The length of ``bars`` bars of four beats, in seconds."""
        return Fraction(_integer(bars, "bars") * BEATS_PER_BAR * 60) / self.bpm


class FrameClock:
    """Video or lighting frames at a fixed rate, each mapped to its pip.

    ``pip(n)`` is computed from n alone with integer arithmetic (see the
    module docstring for the rounding rule), so it never drifts.
    """

    __slots__ = ("tempo", "fps", "_num", "_off", "_den")

    def __init__(self, fps: Number, bpm: Number, beat_zero_seconds: Number = 0) -> None:
        self.tempo = Tempo(bpm, beat_zero_seconds)
        self.fps: Fraction = _positive(fps, "FPS")
        # pip(n) = floor(n * step - offset), with step and offset as one
        # common-denominator pair of integers.
        step = self.tempo._pips_per_second / self.fps
        offset = self.tempo.beat_zero_seconds * self.tempo._pips_per_second
        self._den = step.denominator * offset.denominator
        self._num = step.numerator * offset.denominator
        self._off = offset.numerator * step.denominator

    def pip(self, frame: int) -> int:
        """The pip sounding while frame ``frame`` is shown."""
        return (_integer(frame, "frame") * self._num - self._off) // self._den

    def seconds(self, frame: int) -> Fraction:
        """The exact time at which frame ``frame`` is shown."""
        return Fraction(_integer(frame, "frame")) / self.fps

    def frames_before(self, seconds: Number) -> int:
        """How many frames, from frame 0, are shown before ``seconds``."""
        return max(0, math.ceil(exact(seconds, "seconds") * self.fps))


def _integer(value: int, what: str) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{what} must be an int, not {type(value).__name__}")
    return value


def pip_at(seconds: Number, bpm: Number, beat_zero_seconds: Number = 0) -> int:
    """The pip sounding at ``seconds`` for a tempo and beat origin (floor)."""
    return Tempo(bpm, beat_zero_seconds).pip_at(seconds)


def seconds_at(pip: int, bpm: Number, beat_zero_seconds: Number = 0) -> float:
    """The time in seconds at which ``pip`` starts (nearest float)."""
    return float(Tempo(bpm, beat_zero_seconds).seconds_at(pip))


def frame_pip(frame: int, fps: Number, bpm: Number, beat_zero_seconds: Number = 0) -> int:
    """The pip that frame ``frame`` at ``fps`` shows (floor of its exact time)."""
    return FrameClock(fps, bpm, beat_zero_seconds).pip(frame)
