"""Live clocks: musical time that runs now, kept by something outside the program.

A live clock answers one question: at a moment on the monotonic clock
(``time.monotonic()`` seconds; Link keeps its own time on CLOCK_MONOTONIC_RAW
and the Link clock converts), which pip is sounding, at what tempo, and is
the music playing?
Fixed tempo, tap tempo, an Ableton Link session and MIDI clock all answer it
through ``LiveClock``, so the live loop and every output work with any of them.
"""

from __future__ import annotations

from typing import NamedTuple, Protocol, runtime_checkable


class LiveReading(NamedTuple):
    """What a live clock says about one moment."""

    pip: int  # the pip sounding then (the last one started)
    bpm: float  # the tempo then, in beats a minute
    playing: bool  # False while the source is stopped: the pip holds


@runtime_checkable
class LiveClock(Protocol):
    """A source of musical time that runs on its own."""

    def reading(self, at: float) -> LiveReading:
        """The pip, tempo and play state at ``at`` (``time.monotonic()`` seconds)."""
        ...

    def close(self) -> None:
        """Let go of whatever the clock holds (a port, a session)."""
        ...
