"""The live loop: frames at a steady rate, each showing the live clock's pip.

Frame n is due at exactly ``start + n / fps`` on the monotonic clock, computed
from n alone by the frame rule of export and video (``frames.FrameRate``), so
the rate does not drift however long the loop runs. The loop
sleeps until each frame is due (no busy-waiting); when it wakes too late for a
frame, because the machine was busy, it skips to the frame due now and counts
the ones it skipped as dropped.

Each frame asks the clock for its reading at the moment the frame applies:
when it is due, plus ``latency`` for outputs that send ahead (an OSC bundle's
timetag says when it applies). It samples every source at that pip and hands
the frame to every output.
"""

from __future__ import annotations

import math
import time
from collections.abc import Callable, Sequence
from fractions import Fraction
from typing import NamedTuple, Protocol

from ..frames import FrameRate
from ..numbers import Number, positive
from ..sources import Point, Source
from ..timeline import PIP_MAX, PIP_MIN, PIPS_PER_BEAT
from . import LiveClock, LiveReading


class LiveFrame(NamedTuple):
    frame: int  # frame number, from 0 at the loop's start
    due: float  # when it is due: start + frame / fps (time.monotonic() seconds)
    at: float  # when it applies: due + latency
    reading: LiveReading  # the clock at `at`
    points: tuple[Point, ...]  # one (x, y, z) per source, at reading.pip


class Output(Protocol):
    """Where frames go: OSC, the terminal, a test's list."""

    def send(self, frame: LiveFrame) -> None: ...

    def close(self) -> None: ...


class LoopStats(NamedTuple):
    frames: int  # frames handed to the outputs
    dropped: int  # frames skipped because the loop woke too late for them


class BeatWatch:
    """Says when a beat starts: once per beat, as the pips move forward.

    The first pip seen starts its beat only if it is the beat's first pip; a
    held pip starts nothing, nor does a jump back (a relocated or corrected
    clock), and a jump forward over several beats starts only the last.
    """

    __slots__ = ("_beat",)

    def __init__(self) -> None:
        self._beat: int | None = None

    def starts(self, pip: int) -> int | None:
        """The beat that starts at ``pip`` (counted from 0 at pip 0), or None."""
        beat = pip // PIPS_PER_BEAT
        last, self._beat = self._beat, beat
        if (pip % PIPS_PER_BEAT == 0) if last is None else (beat > last):
            return beat
        return None


def _sampler(source: Source) -> Callable[[int], Point]:
    """``source.sample``, also for pips past the 32-bit range a clock can reach in a
    long run: a loop samples the same point a whole number of periods nearer,
    a recording holds its end."""
    sample = source.sample
    period = source.period_pips

    def sampled(pip: int) -> Point:
        if PIP_MIN <= pip <= PIP_MAX:
            return sample(pip)
        return sample(pip % period if period else min(max(pip, PIP_MIN), PIP_MAX))

    return sampled


class LiveLoop:
    """Runs frames at ``fps`` from a live clock to outputs; see the module docstring.

    ``monotonic`` and ``sleep`` stand in for ``time.monotonic`` and
    ``time.sleep`` (tests pass a fake pair).
    """

    def __init__(self, clock: LiveClock, sources: Sequence[Source], outputs: Sequence[Output],
                 fps: Number = 60, latency: float = 0.0, *,
                 monotonic: Callable[[], float] = time.monotonic,
                 sleep: Callable[[float], object] = time.sleep) -> None:
        self.clock = clock
        self.sources = tuple(sources)
        self.outputs = tuple(outputs)
        self.rate = FrameRate(fps)
        self.fps: Fraction = self.rate.fps
        if not (latency >= 0 and math.isfinite(latency)):
            raise ValueError(f"latency must be zero or more seconds: {latency!r}")
        self.latency = float(latency)
        self._monotonic = monotonic
        self._sleep = sleep
        self._stopping = False
        self.frames = 0
        self.dropped = 0

    def stop(self) -> None:
        """End the loop before its next frame (from any thread)."""
        self._stopping = True

    def due(self, start: float, frame: int) -> float:
        """When frame ``frame`` is due: start + frame / fps, from the frame number alone."""
        return start + float(self.rate.seconds(frame))

    def run(self, seconds: Number | None = None, start: float | None = None) -> LoopStats:
        """Frames from ``start`` (default now) for ``seconds`` (default until ``stop``).

        A run of S seconds is the frames due before start + S. KeyboardInterrupt
        passes through; ``frames`` and ``dropped`` say how far the loop got.
        """
        rate = self.rate
        count = None if seconds is None else rate.frames_before(positive(seconds, "seconds"))
        now = self._monotonic()
        start = now if start is None else float(start)
        origin = Fraction(start)
        due_at = self.due
        samplers = [_sampler(source) for source in self.sources]
        reading_at = self.clock.reading
        outputs = self.outputs
        latency = self.latency
        n = 0
        while (count is None or n < count) and not self._stopping:
            due = due_at(start, n)
            now = self._monotonic()
            while now < due:
                self._sleep(due - now)
                now = self._monotonic()
            # Woken after the next frame was due: skip to the one due now.
            current = rate.frame_at(Fraction(now) - origin)
            if current > n and due_at(start, current) <= now:
                if count is not None:
                    current = min(current, count)
                self.dropped += current - n
                n = current
                if count is not None and n >= count:
                    break
                due = due_at(start, n)
            at = due + latency
            reading = reading_at(at)
            frame = LiveFrame(n, due, at, reading, tuple(sample(reading.pip) for sample in samplers))
            for output in outputs:
                output.send(frame)
            self.frames += 1
            n += 1
        return LoopStats(self.frames, self.dropped)
