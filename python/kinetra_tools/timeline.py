"""Musical time, whatever keeps it: one model of beats and bars for every clock the tools use.

A *timeline* says where pips fall in seconds and where its bars start. The
constant tempo (``clock.Tempo``) is one; a song's beat map is another. Every
tool that turns seconds into pips (export, the terminal trace, video frames)
takes a ``Timeline`` and nothing more specific; live clocks (``live``) read
pips at moments of the monotonic clock and count bars with the same ``Bars``.

Rules every timeline keeps:

- ``pip_at(t)`` is the pip sounding at ``t`` seconds: the last pip that has
  started by then (a time exactly on a pip boundary gives the new pip);
- ``seconds_at(p)`` is the time at which pip ``p`` starts, and
  ``pip_at(seconds_at(p)) == p`` for every pip the timeline covers;
- both are monotonic: later times never give earlier pips;
- pip 0 starts bar 1, and bars are whole beats (``PIPS_PER_BEAT`` pips each):
  ``bar_beat(pip)`` counts bars from 1 at pip 0 (bar 0 and below before it,
  for a pickup) and beats within the bar from 1.

Frames of a video or a light show are mapped by ``frames.Frames``.
"""

from __future__ import annotations

import bisect
from abc import ABC, abstractmethod
from collections.abc import Callable, Sequence
from fractions import Fraction
from typing import Final, NamedTuple

import kinetra

from .numbers import Number

PIPS_PER_BEAT: Final[int] = kinetra.PIPS_PER_BEAT
# The pips the module takes: a signed 32-bit count.
PIP_MIN: Final = -(2**31)
PIP_MAX: Final = 2**31 - 1
# Beats in a bar when nothing says otherwise, and the most a bar may have.
DEFAULT_METER: Final = 4
MAX_METER: Final = 16

__all__ = ["DEFAULT_METER", "MAX_METER", "PIPS_PER_BEAT", "PIP_MAX", "PIP_MIN", "BarBeat", "Barred", "Bars",
           "Timeline", "check_meter"]


def check_meter(value: object, what: str = "meter") -> int:
    """A meter (beats in a bar) of 1 to ``MAX_METER``; ValueError otherwise."""
    if isinstance(value, bool) or not isinstance(value, int) or not 1 <= value <= MAX_METER:
        raise ValueError(f"{what} must be a whole number of beats from 1 to {MAX_METER}, not {value!r}")
    return value


class BarBeat(NamedTuple):
    """Where a pip lies in the bars: both counted from 1."""

    bar: int  # 1 at pip 0; 0 and below before it
    beat: int  # 1 on the bar's first beat

    def __str__(self) -> str:
        return f"{self.bar}.{self.beat}"


class Bars:
    """Where bars start, in beats from pip 0: known bar starts, then a meter on either side.

    ``starts`` are the beats (counted from 0 at pip 0) on which known bars
    start, ascending, the first of them 0; before the first and after the
    last, bars of ``meter`` beats run on. ``Bars.regular(m)`` is a bar of
    ``m`` beats from pip 0 on, both ways.
    """

    __slots__ = ("meter", "_starts")

    def __init__(self, starts: Sequence[int] = (0,), meter: int = DEFAULT_METER) -> None:
        if isinstance(meter, bool) or not isinstance(meter, int) or meter < 1:
            raise ValueError(f"meter must be a whole number of beats, at least 1, not {meter!r}")
        known = list(starts)
        if not known or known[0] != 0 or any(b <= a for a, b in zip(known, known[1:])):
            raise ValueError("bar starts must ascend from beat 0")
        self.meter = meter
        self._starts = known

    @classmethod
    def regular(cls, meter: int = DEFAULT_METER) -> Bars:
        return cls((0,), meter)

    @property
    def regular_meter(self) -> int | None:
        """The meter if every bar has it, else None."""
        return self.meter if len(self._starts) == 1 else None

    def _bar_index(self, beat: int) -> int:
        """Bar of ``beat``, counted from 0 at pip 0."""
        starts, meter = self._starts, self.meter
        if beat < 0:
            return beat // meter
        last = len(starts) - 1
        if beat >= starts[last]:
            return last + (beat - starts[last]) // meter
        return bisect.bisect_right(starts, beat) - 1

    def _start_beat(self, index: int) -> int:
        """The beat on which bar ``index`` (from 0 at pip 0) starts."""
        starts = self._starts
        if index < 0:
            return index * self.meter
        last = len(starts) - 1
        if index > last:
            return starts[last] + (index - last) * self.meter
        return starts[index]

    def bar_beat(self, pip: int) -> BarBeat:
        """The bar (from 1 at pip 0) and the beat in it (from 1) of ``pip``."""
        beat = pip // PIPS_PER_BEAT
        index = self._bar_index(beat)
        return BarBeat(index + 1, beat - self._start_beat(index) + 1)

    def bar_start(self, bar: int) -> int:
        """The pip on which bar ``bar`` (counted from 1 at pip 0) starts."""
        return self._start_beat(bar - 1) * PIPS_PER_BEAT

    def beats_per_bar_at(self, pip: int) -> int:
        """The number of beats in the bar that holds ``pip``."""
        index = self._bar_index(pip // PIPS_PER_BEAT)
        return self._start_beat(index + 1) - self._start_beat(index)

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Bars):
            return NotImplemented
        return self.meter == other.meter and self._starts == other._starts

    __hash__ = None  # type: ignore[assignment]

    def __repr__(self) -> str:
        if len(self._starts) == 1:
            return f"Bars.regular({self.meter})"
        return f"Bars({len(self._starts)} known bars, then {self.meter} beats a bar)"


class Barred:
    """Something that counts bars with a ``Bars``: timelines and live clocks."""

    bars: Bars

    def bar_beat(self, pip: int) -> BarBeat:
        """The bar (from 1 at pip 0; 0 and below for a pickup) and beat in it (from 1) of ``pip``."""
        return self.bars.bar_beat(pip)

    def bar_start(self, bar: int) -> int:
        """The pip on which bar ``bar`` starts (bar 1 starts at pip 0)."""
        return self.bars.bar_start(bar)

    def beats_per_bar_at(self, pip: int) -> int:
        """The number of beats in the bar that holds ``pip``."""
        return self.bars.beats_per_bar_at(pip)


class Timeline(Barred, ABC):
    """Seconds to pips and back, and the bars of those pips."""

    @abstractmethod
    def pip_at(self, seconds: Number) -> int:
        """The pip sounding at ``seconds``: the last one started by then."""

    @abstractmethod
    def seconds_at(self, pip: int) -> Fraction:
        """The exact time, in seconds, at which ``pip`` starts."""

    @property
    @abstractmethod
    def bpm(self) -> float | Fraction:
        """The tempo a listener would name, in beats a minute."""

    def span(self) -> tuple[Fraction, Fraction] | None:
        """The first and last time the timeline covers; None when it runs on without end."""
        return None

    def frame_pips(self, fps: Fraction) -> Callable[[int], int]:
        """frame -> the pip sounding when frame n (shown at n / fps seconds) is on screen.

        A timeline may override this with an exact form that is quicker per frame.
        """
        pip_at = self.pip_at

        def pip(frame: int) -> int:
            return pip_at(Fraction(frame) / fps)

        return pip
