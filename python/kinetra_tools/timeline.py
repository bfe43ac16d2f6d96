"""Musical time, whatever keeps it: one interface for every clock the tools use.

A *timeline* says where pips fall in seconds. The constant tempo
(``clock.Tempo``) is one; a song's beat map is another; live clocks (a tempo
followed from other software) are timelines whose seconds are "now". Every
tool that turns seconds into pips (export, the terminal trace, video frames,
live output) takes a ``Timeline`` and nothing more specific.

Rules every timeline keeps:

- ``pip_at(t)`` is the pip sounding at ``t`` seconds: the last pip that has
  started by then (a time exactly on a pip boundary gives the new pip);
- ``seconds_at(p)`` is the time at which pip ``p`` starts, and
  ``pip_at(seconds_at(p)) == p`` for every pip the timeline covers;
- both are monotonic: later times never give earlier pips.

Frames of a video or a light show are mapped by ``Frames``: frame n is shown
at exactly ``n / fps`` seconds and shows ``pip_at(n / fps)``, computed from
n alone, never by adding up per-frame steps, so long spans do not drift.
"""

from __future__ import annotations

import math
from fractions import Fraction
from typing import Protocol, runtime_checkable

from .numbers import Number, exact, integer, positive


@runtime_checkable
class Timeline(Protocol):
    """Seconds to pips and back."""

    def pip_at(self, seconds: Number) -> int:
        """The pip sounding at ``seconds``: the last one started by then."""
        ...

    def seconds_at(self, pip: int) -> Fraction:
        """The exact time, in seconds, at which ``pip`` starts."""
        ...


class Frames:
    """Frames at a fixed rate over a timeline: frame n is shown at n / fps seconds."""

    __slots__ = ("timeline", "fps", "_pip")

    def __init__(self, fps: Number, timeline: Timeline) -> None:
        self.fps: Fraction = positive(fps, "FPS")
        self.timeline = timeline
        # A timeline may offer an exact integer form of its frame mapping
        # (the constant tempo does); otherwise each frame goes through pip_at.
        fast = getattr(timeline, "frame_pips", None)
        self._pip = fast(self.fps) if fast is not None else self._generic_pip

    def _generic_pip(self, frame: int) -> int:
        return self.timeline.pip_at(Fraction(frame) / self.fps)

    def pip(self, frame: int) -> int:
        """The pip sounding while frame ``frame`` is shown."""
        return self._pip(integer(frame, "frame"))

    def seconds(self, frame: int) -> Fraction:
        """The exact time at which frame ``frame`` is shown."""
        return Fraction(integer(frame, "frame")) / self.fps

    def frames_before(self, seconds: Number) -> int:
        """How many frames, from frame 0, are shown before ``seconds``."""
        return max(0, math.ceil(exact(seconds, "seconds") * self.fps))

    def frame_at(self, seconds: Number) -> int:
        """The frame on screen at ``seconds``: the last one shown by then."""
        return math.floor(exact(seconds, "seconds") * self.fps)
