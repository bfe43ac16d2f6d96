"""Follow an Ableton Link session: the pip, tempo and play state other music software shares.

``LinkClock`` joins the Link session on the local network (every peer found
by multicast) and answers ``reading(at)`` from the session's shared timeline:

- the pip is ``floor(beat * 64)`` of the session's beat at ``at``, whose phase
  is aligned to the quantum (the bar length, 4 beats unless told otherwise),
  so pip 0, and every multiple of ``quantum * 64``, falls on a bar start of
  the session: the clock's ``bars`` are bars of ``quantum`` beats (of one
  beat each when the quantum is not a whole number of beats);
- the tempo is the session's; a tempo change by any peer reaches the next
  reading, and a peer that leaves leaves the last tempo in place;
- with ``start_stop_sync`` the clock follows the session's transport: while
  stopped the pip holds where it stopped; on a start it counts from pip 0 at
  the start's bar (as Link's own examples do), holding at 0 during a count-in.
  Without it the clock always plays.

``bpm`` proposes a tempo: the session starts at it if kinetra is alone, and
it is proposed to the session kinetra first finds (a joining peer otherwise
adopts the session's tempo).

Link itself lives in ``kinetra_link``, a native module of its own under the
GPL (Link's licence); it is imported only when a ``LinkClock`` is made, so
``import kinetra`` and the rest of the tools never load it.
"""

from __future__ import annotations

import importlib
import math
import time
from fractions import Fraction
from numbers import Real
from types import ModuleType
from typing import Protocol

from ..numbers import Number, exact
from ..timeline import DEFAULT_METER, PIPS_PER_BEAT, Barred, Bars
from . import LiveReading

START_SLACK_MICROS = 1000

MISSING = ("Ableton Link support is not built: install Debian's ableton-link-dev and "
           "libasio-dev and reinstall kinetra")


class _Session(Protocol):
    """What ``kinetra_link.Link`` offers (host times in microseconds on Link's clock)."""

    def enable(self, on: bool) -> None: ...
    def enable_start_stop_sync(self, on: bool) -> None: ...
    def peers(self) -> int: ...
    def host_time_at(self, monotonic_seconds: float) -> int: ...
    def capture(self, host_time: int, quantum: float) -> tuple[float, float, float, bool, int, float]: ...
    def propose_tempo(self, bpm: float, host_time: int) -> None: ...
    def request_beat(self, beat: float, host_time: int, quantum: float) -> None: ...
    def set_playing(self, playing: bool, host_time: int) -> None: ...
    def close(self) -> None: ...


def _bridge() -> ModuleType:
    try:
        return importlib.import_module("kinetra_link")
    except ImportError:
        raise ValueError(MISSING) from None


def _shown(limit: float) -> str:
    """A limit as written: 20, 999, 1/64."""
    return str(Fraction(limit))


def _tempo(bpm: Number, bridge: ModuleType) -> float:
    value = exact(bpm, "BPM")
    if not bridge.MIN_TEMPO <= value <= bridge.MAX_TEMPO:
        raise ValueError(f"Link tempo must be {_shown(bridge.MIN_TEMPO)} to {_shown(bridge.MAX_TEMPO)} BPM: "
                         f"{bpm!r}")
    return float(value)


def _quantum(quantum: Number, bridge: ModuleType) -> float:
    value = exact(quantum, "quantum")
    if not bridge.MIN_QUANTUM <= value <= bridge.MAX_QUANTUM:
        raise ValueError(f"quantum must be {_shown(bridge.MIN_QUANTUM)} to {_shown(bridge.MAX_QUANTUM)} "
                         f"beats: {quantum!r}")
    return float(value)


class LinkClock(Barred):
    """A live clock that follows the Ableton Link session on the local network."""

    def __init__(self, bpm: Number | None = None, quantum: Number = DEFAULT_METER,
                 start_stop_sync: bool = False) -> None:
        self._bridge = bridge = _bridge()
        self.quantum = _quantum(quantum, bridge)
        self.bars = Bars.regular(int(self.quantum) if self.quantum.is_integer() else 1)
        self.start_stop_sync = bool(start_stop_sync)
        tempo = None if bpm is None else _tempo(bpm, bridge)
        self._proposal = tempo  # proposed again once a session is found
        self._held = 0  # the pip shown while the transport is stopped
        self._start: int | None = None  # host time of the start counted from pip 0
        self._stop: int | None = None  # host time of the stop whose pip is held
        self._link: _Session = bridge.Link(120.0 if tempo is None else tempo)
        if self.start_stop_sync:
            self._link.enable_start_stop_sync(True)
        self._link.enable(True)

    def reading(self, at: float) -> LiveReading:
        """The pip, tempo and play state at ``at`` (``time.monotonic()`` seconds)."""
        host = self._host(at)
        if self._proposal is not None and self._link.peers() > 0:
            self._link.propose_tempo(self._proposal, host)
            self._proposal = None
        beat, _, bpm, playing, since, since_beat = self._link.capture(host, self.quantum)
        if not self.start_stop_sync:
            return LiveReading(math.floor(beat * PIPS_PER_BEAT), bpm, True)
        if playing:
            # Link carries the start's time between peers as a beat, so it
            # comes back off by a microsecond now and then: the same start.
            if self._start is None or abs(since - self._start) > START_SLACK_MICROS:
                # A start not yet counted: beat 0 goes to the first bar start
                # from then on, in phase with the session, as in Link's own
                # examples. A start up to a millisecond after a bar start
                # counts from that bar: host times carried between peers are
                # off by microseconds, which must not make the count a bar late.
                self._link.request_beat(0.0, since - START_SLACK_MICROS, self.quantum)
                self._start, self._stop = since, None
                beat, _, bpm, playing, since, since_beat = self._link.capture(host, self.quantum)
            if host < since or beat < 0:  # before the start's bar: wait at its first pip
                return LiveReading(0, bpm, False)
            return LiveReading(math.floor(beat * PIPS_PER_BEAT), bpm, True)
        if host < since:  # a stop still ahead: play on until then
            return LiveReading(math.floor(beat * PIPS_PER_BEAT), bpm, True)
        if self._stop != since:
            # Hold the pip at the stop, on the timeline as it was when the stop
            # was first seen (a later tempo change must not move it). A clock
            # that never saw the transport play holds where it was.
            if self._start is not None:
                self._held = math.floor(since_beat * PIPS_PER_BEAT)
            self._start, self._stop = None, since
        return LiveReading(self._held, bpm, False)

    def beat(self, at: float) -> float:
        """The session's beat at ``at``, phase aligned to the quantum (never held)."""
        return self._link.capture(self._host(at), self.quantum)[0]

    @property
    def peers(self) -> int:
        """How many other participants the session has now."""
        return self._link.peers()

    def propose_tempo(self, bpm: Number, at: float | None = None) -> None:
        """Set the session's tempo from ``at`` (default: now) on; every peer follows."""
        tempo = _tempo(bpm, self._bridge)
        self._link.propose_tempo(tempo, self._host(time.monotonic() if at is None else at))
        self._proposal = None

    def set_playing(self, playing: bool, at: float | None = None) -> None:
        """Start or stop the session's transport at ``at`` (default: now).

        Peers hear of it only with start/stop sync on, theirs and this clock's;
        without it the clock plays on regardless.
        """
        self._link.set_playing(bool(playing), self._host(time.monotonic() if at is None else at))

    def close(self) -> None:
        """Leave the session (Link stops using the network)."""
        self._link.close()

    def __enter__(self) -> LinkClock:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def _host(self, at: float) -> int:
        # Any real number will do (a frame's exact Fraction time too).
        if isinstance(at, bool) or not isinstance(at, Real) or not math.isfinite(at):
            raise ValueError(f"time must be a finite number of seconds: {at!r}")
        return self._link.host_time_at(float(at))
