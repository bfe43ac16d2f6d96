"""Stops from outside (SIGTERM, SIGHUP) taken as Ctrl-C is.

Python turns Ctrl-C (SIGINT) into KeyboardInterrupt, so every ``with`` and
``finally`` of a command runs: a temporary file is removed, ffmpeg is
stopped, the terminal is restored. SIGTERM (``kill``, ``timeout``, a service
manager) and SIGHUP (a closed terminal or SSH session) would instead end the
process at once and leave all of that behind. ``stops_as_interrupts`` makes
them raise ``Stopped``, a KeyboardInterrupt that carries the signal's
number, so that the same clean-up runs; the command then exits with status
128 + the number, as a shell reports a process ended by it.

A signal ignored when the command starts (``nohup`` ignores SIGHUP) stays
ignored. A second stop while the first is being cleaned up ends the process
at once, as the signal would by default.
"""

from __future__ import annotations

import contextlib
import os
import signal
import threading
from collections.abc import Iterator

STOPS = (signal.SIGTERM, signal.SIGHUP)


class Stopped(KeyboardInterrupt):
    """Raised in the main thread when a stop signal arrives; ``number`` is the signal."""

    def __init__(self, number: int) -> None:
        super().__init__(number)
        self.number = number

    @property
    def name(self) -> str:
        return signal.Signals(self.number).name


class Received:
    """The stop signal received while the block ran (None if none)."""

    __slots__ = ("number",)

    def __init__(self) -> None:
        self.number: int | None = None


@contextlib.contextmanager
def stops_as_interrupts() -> Iterator[Received]:
    """SIGTERM and SIGHUP raise ``Stopped`` in the main thread while the block runs.

    Outside the main thread (where Python cannot install handlers) nothing
    changes. The previous handlers come back when the block ends.
    """
    received = Received()
    if threading.current_thread() is not threading.main_thread():
        yield received
        return

    def stop(number: int, frame: object) -> None:
        if received.number is not None:
            # Asked again while cleaning up: end now, as the signal does by default.
            signal.signal(number, signal.SIG_DFL)
            os.kill(os.getpid(), number)
            return
        received.number = number
        raise Stopped(number)

    previous = {}
    try:
        for number in STOPS:
            if signal.getsignal(number) is not signal.SIG_IGN:
                previous[number] = signal.signal(number, stop)
        yield received
    finally:
        for number, handler in previous.items():
            signal.signal(number, handler)
