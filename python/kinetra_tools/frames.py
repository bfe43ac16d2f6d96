"""Frames at a fixed rate, and the frame stream that every frame-based output reads.

``Frames(fps, timeline)`` maps frames to pips: frame n is shown at exactly
``n / fps`` seconds and shows ``pip_at(n / fps)``, computed from n alone,
never by adding up per-frame steps, so long spans do not drift. The live
loop keeps its frames due by the same rule, on the monotonic clock.

``stream(sources, frames, count)`` yields, for frames ``start`` to
``start + count - 1``, the frame number, the exact time it is shown (n / fps
seconds), the pip sounding then on the timeline (see ``timeline``) and each
source's (x, y, z) at that pip. Export, the terminal trace, the gallery's data,
video and live output all read it, so they agree frame for frame.
"""

from __future__ import annotations

import math
from collections.abc import Callable, Iterator, Sequence
from fractions import Fraction
from typing import NamedTuple, Protocol

from .numbers import Number, exact, integer, positive
from .sources import Point, Source
from .timeline import PIP_MAX, PIP_MIN, Timeline


class PipMap(Protocol):
    """The least a frame mapping needs of a timeline: seconds to pips and back."""

    def pip_at(self, seconds: Number) -> int: ...

    def seconds_at(self, pip: int) -> Fraction: ...


class FrameRate:
    """Frames at a fixed rate: frame n is shown at exactly n / fps seconds from the start."""

    __slots__ = ("fps",)

    def __init__(self, fps: Number) -> None:
        self.fps: Fraction = positive(fps, "FPS")

    def seconds(self, frame: int) -> Fraction:
        """The exact time at which frame ``frame`` is shown."""
        return Fraction(integer(frame, "frame")) / self.fps

    def frames_before(self, seconds: Number) -> int:
        """How many frames, from frame 0, are shown before ``seconds``."""
        return max(0, math.ceil(exact(seconds, "seconds") * self.fps))

    def frame_at(self, seconds: Number) -> int:
        """The frame on screen at ``seconds``: the last one shown by then."""
        return math.floor(exact(seconds, "seconds") * self.fps)


class Frames(FrameRate):
    """Frames at a fixed rate over a timeline: frame n shows the pip sounding at n / fps seconds."""

    __slots__ = ("timeline", "_pip")

    def __init__(self, fps: Number, timeline: PipMap) -> None:
        super().__init__(fps)
        self.timeline = timeline
        # A Timeline gives its own (possibly exact integer) frame mapping;
        # anything else that maps seconds to pips goes through pip_at.
        self._pip: Callable[[int], int] = (timeline.frame_pips(self.fps) if isinstance(timeline, Timeline)
                                           else self._generic_pip)

    def _generic_pip(self, frame: int) -> int:
        return self.timeline.pip_at(Fraction(frame) / self.fps)

    def pip(self, frame: int) -> int:
        """The pip sounding while frame ``frame`` is shown."""
        return self._pip(integer(frame, "frame"))


class Frame(NamedTuple):
    frame: int
    seconds: Fraction
    pip: int
    points: tuple[Point, ...]  # one (x, y, z) per source, in the order given


def check_span(frames: Frames, start: int, count: int) -> None:
    """ValueError if a frame of the span would show a pip outside the 32-bit range."""
    if count > 0:
        first, last = frames.pip(start), frames.pip(start + count - 1)
        if min(first, last) < PIP_MIN or max(first, last) > PIP_MAX:
            raise ValueError("span too long: its pips leave the 32-bit pip range")


def stream(sources: Sequence[Source], frames: Frames, count: int, start: int = 0) -> Iterator[Frame]:
    """Frames ``start`` .. ``start + count - 1``; checks the whole span before the first."""
    check_span(frames, start, count)
    return _stream(tuple(sources), frames, count, start)


def _stream(sources: tuple[Source, ...], frames: Frames, count: int, start: int) -> Iterator[Frame]:
    pip_of = frames.pip
    samplers = [s.sample for s in sources]
    for n in range(start, start + count):
        pip = pip_of(n)
        yield Frame(n, frames.seconds(n), pip, tuple(sample(pip) for sample in samplers))
