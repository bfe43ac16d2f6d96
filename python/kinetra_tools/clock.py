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

from collections.abc import Callable
from fractions import Fraction

from .frames import Frames
from .numbers import Number, exact, floor, integer, positive
from .timeline import DEFAULT_METER, PIPS_PER_BEAT, Bars, Timeline, check_meter

__all__ = ["PIPS_PER_BEAT", "FrameClock", "Number", "Tempo", "exact", "frame_pip", "pip_at",
           "seconds_at"]


class Tempo(Timeline):
    """A constant tempo, a beat origin and a meter: seconds to pips and back, exactly.

    The simplest ``Timeline``: pip p starts at beat_zero + p * 60 / (bpm * 64),
    and a bar of ``meter`` beats starts at every multiple of ``meter * 64``.
    """

    __slots__ = ("_bpm", "beat_zero_seconds", "meter", "bars", "_pips_per_second")

    def __init__(self, bpm: Number, beat_zero_seconds: Number = 0, meter: int = DEFAULT_METER) -> None:
        self._bpm: Fraction = positive(bpm, "BPM")
        self.beat_zero_seconds: Fraction = exact(beat_zero_seconds, "beat zero")
        self.meter: int = check_meter(meter)
        self.bars = Bars.regular(self.meter)
        self._pips_per_second = self._bpm * PIPS_PER_BEAT / 60

    @property
    def bpm(self) -> Fraction:
        """The tempo, exactly as given."""
        return self._bpm

    def pip_at(self, seconds: Number) -> int:
        """The pip sounding at ``seconds``: the last one started by then."""
        return floor((exact(seconds, "seconds") - self.beat_zero_seconds) * self._pips_per_second)

    def seconds_at(self, pip: int) -> Fraction:
        """The exact time at which ``pip`` starts."""
        return self.beat_zero_seconds + Fraction(integer(pip, "pip")) / self._pips_per_second

    def frame_pips(self, fps: Fraction) -> Callable[[int], int]:
        """frame -> pip at ``fps``, as one integer expression (no Fraction per frame)."""
        # pip(n) = floor(n * step - offset), with step and offset as one
        # common-denominator pair of integers.
        step = self._pips_per_second / fps
        offset = self.beat_zero_seconds * self._pips_per_second
        den = step.denominator * offset.denominator
        num = step.numerator * offset.denominator
        off = offset.numerator * step.denominator

        def pip(frame: int) -> int:
            return (frame * num - off) // den

        return pip


class FrameClock(Frames):
    """Video or lighting frames at a fixed rate and a constant tempo.

    ``pip(n)`` is computed from n alone with integer arithmetic (see the
    module docstring for the rounding rule), so it never drifts.
    """

    __slots__ = ("tempo",)

    def __init__(self, fps: Number, bpm: Number, beat_zero_seconds: Number = 0,
                 meter: int = DEFAULT_METER) -> None:
        self.tempo = Tempo(bpm, beat_zero_seconds, meter)
        super().__init__(fps, self.tempo)


def pip_at(seconds: Number, bpm: Number, beat_zero_seconds: Number = 0) -> int:
    """The pip sounding at ``seconds`` for a tempo and beat origin (floor)."""
    return Tempo(bpm, beat_zero_seconds).pip_at(seconds)


def seconds_at(pip: int, bpm: Number, beat_zero_seconds: Number = 0) -> float:
    """The time in seconds at which ``pip`` starts (nearest float)."""
    return float(Tempo(bpm, beat_zero_seconds).seconds_at(pip))


def frame_pip(frame: int, fps: Number, bpm: Number, beat_zero_seconds: Number = 0) -> int:
    """The pip that frame ``frame`` at ``fps`` shows (floor of its exact time)."""
    return FrameClock(fps, bpm, beat_zero_seconds).pip(frame)
