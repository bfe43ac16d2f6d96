"""OSC output: pattern positions to visual software, one bundle a frame.

Every frame is one OSC bundle holding, per pattern, a message to
``/kinetra/<name>`` with the arguments ``(pip: int32, x: float32, y: float32,
z: float32)``. With beat messages on, the bundle of the frame in which a beat
starts also holds ``/kinetra/beat (beat: int32)``, and when that beat starts a
bar, ``/kinetra/bar (bar: int32)`` (beats and bars counted from 0 at pip 0).

A bundle sent ahead carries a timetag: the wall-clock moment it applies, which
a receiver that honours timetags (liblo does) waits for. Otherwise its timetag
is OSC's "immediately": it applies on arrival.

Sending goes through liblo (``pyliblo3``), imported when a sender is made.
"""

from __future__ import annotations

import ipaddress
import socket
import time
from collections.abc import Iterable, Mapping, Sequence
from typing import Any, Final

from ..sources import Point
from ..timeline import Bars
from .loop import BeatWatch, LiveFrame

PREFIX: Final = "/kinetra/"
# The timetag OSC reserves for "now" (0 seconds and 1/2**32), as liblo's float.
IMMEDIATELY: Final = 2.0**-32


def _int32(value: int, what: str) -> int:
    value = int(value)
    if not -(2**31) <= value < 2**31:
        raise ValueError(f"{what} does not fit in an OSC int32: {value}")
    return value


def parse_target(text: str) -> tuple[str, int]:
    """HOST:PORT (IPv6 hosts in brackets: [::1]:9000) as (host, port); ValueError if malformed."""
    text = text.strip()
    host, colon, port = text.rpartition(":")
    if host.startswith("[") and host.endswith("]"):
        host = host[1:-1]
    elif ":" in host:
        colon = ""  # an IPv6 address needs brackets to carry a port
    if not colon or not host or not port.isascii() or not port.isdigit() or any(c.isspace() for c in host):
        raise ValueError(f"OSC address must be HOST:PORT: {text!r}")
    number = int(port)
    if not 0 < number < 65536:
        raise ValueError(f"OSC port must be 1 to 65535: {text!r}")
    return host, number


def resolve(host: str, port: int) -> tuple[str, int, socket.AddressFamily]:
    """The numeric address of ``host`` for UDP, checked to have a route; ValueError if not."""
    try:
        family, _, _, _, address = socket.getaddrinfo(host, port, type=socket.SOCK_DGRAM)[0]
    except (socket.gaierror, UnicodeError) as error:
        reason = error.strerror if isinstance(error, socket.gaierror) else str(error)
        raise ValueError(f"cannot resolve OSC host {host!r}: {reason}") from None
    numeric = str(address[0])
    # Connecting a datagram socket sends nothing; it finds out whether a route exists.
    with socket.socket(family, socket.SOCK_DGRAM) as probe:
        try:
            probe.connect(address)
        except OSError as error:
            raise ValueError(f"cannot reach OSC host {host}:{port}: {error.strerror or error}") from None
    return numeric, port, family


class OscSender:
    """Sends pattern positions as OSC bundles to HOST:PORT over UDP.

    ``target`` is "HOST:PORT" or a (host, port) pair; the host is resolved once,
    here. ValueError with a one-line reason if it is malformed, does not
    resolve or has no route; OSError if sending fails later.
    """

    def __init__(self, target: str | tuple[str, int]) -> None:
        if isinstance(target, str):
            host, port = parse_target(target)
        else:
            host, port = target
            if not isinstance(port, int) or isinstance(port, bool) or not 0 < port < 65536:
                raise ValueError(f"OSC port must be 1 to 65535: {port!r}")
        numeric, self.port, _ = resolve(host, port)
        self.host = host
        try:
            import pyliblo3 as liblo  # type: ignore[import-untyped, unused-ignore]
        except ImportError as error:
            raise ValueError(f"OSC output needs pyliblo3 (pip install 'kinetra[osc]'): {error}") from None
        self._liblo = liblo
        shown = f"[{numeric}]" if ipaddress.ip_address(numeric.split("%")[0]).version == 6 else numeric
        self._address = liblo.Address(f"osc.udp://{shown}:{port}/")
        self._paths: dict[str, str] = {}

    def timetag(self, at: float) -> float:
        """The OSC timetag of ``at`` (``time.monotonic()`` seconds): that moment on the wall clock."""
        wall: float = self._liblo.time()
        return at + (wall - time.monotonic())

    def path(self, name: str) -> str:
        path = self._paths.get(name)
        if path is None:
            path = self._paths[name] = PREFIX + name
        return path

    def bundle(self, pip: int, points: Mapping[str, Point] | Iterable[tuple[str, Point]],
               at: float | None = None, beat: int | None = None, bar: int | None = None) -> Any:
        """The bundle ``send`` sends (a ``pyliblo3.Bundle``)."""
        liblo = self._liblo
        items = points.items() if isinstance(points, Mapping) else points
        # liblo sends an int that fits as int32 and a float as float32 ("i", "f").
        pip = _int32(pip, "pip")
        messages = [liblo.Message(self.path(name), pip, float(x), float(y), float(z))
                    for name, (x, y, z) in items]
        if beat is not None:
            messages.append(liblo.Message(PREFIX + "beat", _int32(beat, "beat")))
        if bar is not None:
            messages.append(liblo.Message(PREFIX + "bar", _int32(bar, "bar")))
        return liblo.Bundle(IMMEDIATELY if at is None else self.timetag(at), *messages)

    def send(self, pip: int, points: Mapping[str, Point] | Iterable[tuple[str, Point]],
             at: float | None = None, beat: int | None = None, bar: int | None = None) -> None:
        """One bundle: ``/kinetra/<name> (pip, x, y, z)`` for each named point.

        ``at`` (``time.monotonic()`` seconds) is when it applies, sent as the
        bundle's timetag; None applies it on arrival. ``beat`` and ``bar``
        add ``/kinetra/beat`` and ``/kinetra/bar`` messages.
        """
        self._liblo.send(self._address, self.bundle(pip, points, at, beat, bar))

    def close(self) -> None:
        pass

    def __repr__(self) -> str:
        return f"OscSender({self.host!r}, {self.port})"


class OscOutput:
    """The live loop's OSC output: one bundle a frame, timetagged when sent ahead.

    A bundle that cannot be sent (the network gone for a moment) is counted
    in ``failed`` and the loop goes on.
    """

    def __init__(self, sender: OscSender, names: Sequence[str], *, beats: bool = False,
                 timetags: bool = False, bars: Bars | None = None) -> None:
        self.sender = sender
        self.names = tuple(names)
        self.beats = beats
        self.timetags = timetags
        self.bars = bars if bars is not None else Bars.regular()
        self._watch = BeatWatch()
        self.failed = 0  # frames that could not be sent
        self.last_error = ""

    def _starts(self, pip: int) -> tuple[int | None, int | None]:
        """The beat (and bar) that starts in this frame, if one does."""
        beat = self._watch.starts(pip)
        if beat is None:
            return None, None
        where = self.bars.bar_beat(pip)
        return beat, (where.bar - 1 if where.beat == 1 else None)

    def send(self, frame: LiveFrame) -> None:
        pip = frame.reading.pip
        beat, bar = self._starts(pip) if self.beats else (None, None)
        try:
            self.sender.send(pip, zip(self.names, frame.points), frame.at if self.timetags else None, beat, bar)
        except OSError as error:
            # The network may come back (a cable, a Wi-Fi hop): count the
            # frame as lost and go on.
            self.failed += 1
            self.last_error = error.strerror or str(error) or type(error).__name__

    def close(self) -> None:
        self.sender.close()
