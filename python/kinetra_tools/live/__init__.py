"""Live clocks: musical time that runs now, kept by something outside the program.

A live clock answers one question: at a moment on the monotonic clock
(``time.monotonic()`` seconds; Link keeps its own time on CLOCK_MONOTONIC_RAW
and the Link clock converts), which pip is sounding, at what tempo, and is
the music playing?
Fixed tempo, tap tempo, an Ableton Link session, MIDI clock and the beat
heard on an audio input all answer it
through ``LiveClock``, so the live loop and every output work with any of them.
Each clock also knows its bars (``bar_beat``, from its ``bars``, a
``timeline.Bars``): pip 0 starts bar 1, as on every timeline.
"""

from __future__ import annotations

from typing import TYPE_CHECKING, NamedTuple, Protocol, runtime_checkable

if TYPE_CHECKING:
    from ..timeline import BarBeat


class LiveReading(NamedTuple):
    """What a live clock says about one moment."""

    pip: int  # the pip sounding then (the last one started)
    bpm: float  # the tempo then, in beats a minute
    playing: bool  # False while the source is stopped: the pip holds


@runtime_checkable
class LiveClock(Protocol):
    """A source of musical time that runs on its own."""

    def bar_beat(self, pip: int) -> BarBeat:
        """The bar (from 1 at pip 0) and the beat in it (from 1) of ``pip``."""
        ...

    def reading(self, at: float) -> LiveReading:
        """The pip, tempo and play state at ``at`` (``time.monotonic()`` seconds)."""
        ...

    def close(self) -> None:
        """Let go of whatever the clock holds (a port, a session)."""
        ...


# The clocks, the loop and the OSC sender, each loaded on first use (the OSC
# sender imports pyliblo3 only when one is made; MIDI needs mido only to open a port;
# listening loads the beat tracker, and JACK or PortAudio, only when a clock is made).
_HOMES = {
    "FixedClock": "fixed", "TapClock": "tap", "MidiClock": "midi", "MidiClockFollower": "midi",
    "LinkClock": "link", "ListenClock": "listen", "LiveLoop": "loop", "LiveFrame": "loop", "OscSender": "osc",
}


def __getattr__(name: str) -> object:
    home = _HOMES.get(name)
    if home is not None:
        import importlib

        return getattr(importlib.import_module(f".{home}", __name__), name)
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
