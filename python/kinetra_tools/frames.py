"""The frame stream: what every frame-based output reads.

``stream(sources, frames, count)`` yields, for frames ``start`` to
``start + count - 1``, the frame number, the exact time it is shown (n / fps
seconds), the pip sounding then on the timeline (see ``timeline``) and each
source's (x, y, z) at that pip. Export, the terminal trace, the gallery's data,
video and live output all read it, so they agree frame for frame.
"""

from __future__ import annotations

from collections.abc import Iterator, Sequence
from fractions import Fraction
from typing import Final, NamedTuple

from .sources import Point, Source
from .timeline import Frames

PIP_MIN: Final = -(2**31)
PIP_MAX: Final = 2**31 - 1


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
