"""A one-line progress bar for a terminal."""

from __future__ import annotations

import sys
import time
from typing import TextIO


class Bar:
    """Call with the fraction done (0..1); ``close()`` clears the line."""

    def __init__(self, label: str, out: TextIO | None = None, width: int = 30) -> None:
        self.out = out if out is not None else sys.stderr
        self.label = label
        self.width = width
        self._shown = -1
        self._last = 0.0

    def __call__(self, fraction: float) -> None:
        fraction = min(max(fraction, 0.0), 1.0)
        filled = int(fraction * self.width)
        now = time.monotonic()
        if filled == self._shown or (now - self._last < 0.1 and fraction < 1.0):
            return
        self._shown, self._last = filled, now
        bar = "#" * filled + "-" * (self.width - filled)
        self.out.write(f"\r{self.label} [{bar}] {fraction * 100:3.0f}%")
        self.out.flush()

    def close(self) -> None:
        if self._shown >= 0:
            self.out.write("\r\033[K")
            self.out.flush()


def for_terminal(label: str, out: TextIO | None = None) -> Bar | None:
    """A bar on ``out`` (standard error by default) if it is a terminal, else None."""
    out = out if out is not None else sys.stderr
    try:
        return Bar(label, out) if out.isatty() else None
    except (AttributeError, ValueError):
        return None
