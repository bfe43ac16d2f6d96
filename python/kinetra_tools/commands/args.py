"""Argument types and limits shared by the commands: each type turns text into
a checked value or raises ``argparse.ArgumentTypeError`` with a one-line reason.

Limits keep every command quick and its output sane whatever is typed: no
tempo, frame rate or span can make a command run for hours or write without
end.
"""

from __future__ import annotations

import argparse
from collections.abc import Callable, Sequence
from fractions import Fraction
from typing import Final

MAX_BPM: Final = 10_000
MAX_FPS: Final = 1_000
MAX_SECONDS: Final = 7 * 24 * 3600  # a week
MAX_FRAMES: Final = 10_000_000
MAX_BARS: Final = 1_000_000
MAX_LATENCY_MS: Final = 10_000
MAX_COLUMNS: Final = 100
MAX_TITLE: Final = 200


def _number(text: str) -> Fraction | None:
    """The number as written; None if it is not one."""
    from ..numbers import NotANumber, OutOfRange, exact

    try:
        return exact(text)
    except OutOfRange:
        raise argparse.ArgumentTypeError(f"out of range: {text!r}") from None
    except NotANumber:
        return None


def bounded(upper: int, what: str = "number") -> Callable[[str], Fraction]:
    """A positive finite number up to ``upper``, kept exact as written ("29.97", "30000/1001")."""

    def parse(text: str) -> Fraction:
        value = _number(text)
        if value is None or value <= 0:
            raise argparse.ArgumentTypeError(f"not a positive number: {text!r}")
        if value > upper:
            raise argparse.ArgumentTypeError(f"{what} too large: {text!r} (at most {upper:,})")
        return value

    parse.__name__ = what
    return parse


bpm = bounded(MAX_BPM, "tempo")
fps = bounded(MAX_FPS, "frame rate")
seconds = bounded(MAX_SECONDS, "span")


def positive(text: str) -> Fraction:
    """A positive finite number, kept exact as written."""
    value = _number(text)
    if value is None or value <= 0:
        raise argparse.ArgumentTypeError(f"not a positive number: {text!r}")
    return value


def count(text: str) -> int:
    """A positive whole number written in plain digits."""
    value = int(text) if text.strip().isdigit() and len(text) < 12 else 0
    if value <= 0:
        raise argparse.ArgumentTypeError(f"not a positive whole number: {text!r}")
    return value


def bars(text: str) -> int:
    value = count(text)
    if value > MAX_BARS:
        raise argparse.ArgumentTypeError(f"too many bars: {text!r} (at most {MAX_BARS:,})")
    return value


def meter(text: str) -> int:
    """Beats in a bar: 1 to the largest meter."""
    from ..timeline import MAX_METER

    value = count(text)
    if value > MAX_METER:
        raise argparse.ArgumentTypeError(f"not a meter from 1 to {MAX_METER} beats a bar: {text!r}")
    return value


def latency(text: str) -> Fraction:
    """Milliseconds to send ahead: 0 to ``MAX_LATENCY_MS``."""
    value = _number(text)
    if value is None or not 0 <= value <= MAX_LATENCY_MS:
        raise argparse.ArgumentTypeError(f"not a latency of 0 to {MAX_LATENCY_MS} ms: {text!r}")
    return value


def analysis_tempo(text: str) -> float:
    """A tempo the beat analysis can look for."""
    from ..analysis import MAX_BPM as highest
    from ..analysis import MIN_BPM as lowest

    value = positive(text)
    if not lowest <= value <= highest:
        raise argparse.ArgumentTypeError(f"not a tempo from {lowest:g} to {highest:g} BPM: {text!r}")
    return float(value)


def size(text: str) -> tuple[int, int]:
    """WIDTHxHEIGHT in pixels, both even."""
    from ..render.layout import parse_size

    try:
        return parse_size(text)
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from None


def columns(text: str) -> int:
    """Columns of a grid: 1 to ``MAX_COLUMNS``."""
    typed = text.strip()
    value = int(typed) if typed.isdigit() and len(typed) < 12 else 0
    if not 1 <= value <= MAX_COLUMNS:
        raise argparse.ArgumentTypeError(f"not a column count from 1 to {MAX_COLUMNS}: {text!r}")
    return value


def title(text: str) -> str:
    """A line of text to show: printable, not blank, at most ``MAX_TITLE`` characters."""
    line = text.strip()
    if not line or not line.isprintable():
        raise argparse.ArgumentTypeError(f"not a one-line title: {text!r}")
    if len(line) > MAX_TITLE:
        raise argparse.ArgumentTypeError(f"title too long: {len(line):,} characters (at most {MAX_TITLE})")
    return line


def frame_count(frames: int) -> int:
    """``frames`` itself if a command may make that many; ValueError with the way out otherwise."""
    if frames > MAX_FRAMES:
        raise ValueError(f"too many frames: {frames:,} (at most {MAX_FRAMES:,}; "
                         "lower --fps or shorten the span)")
    return frames


def exact(text: str) -> Fraction:
    """Any finite number, kept exact as written."""
    value = _number(text)
    if value is None:
        raise argparse.ArgumentTypeError(f"not a finite number: {text!r}")
    if abs(value) > MAX_SECONDS:
        raise argparse.ArgumentTypeError(f"too far from zero: {text!r} (at most {MAX_SECONDS:,} seconds)")
    return value


def choice(options: Sequence[str]) -> Callable[[str], str]:
    """One of ``options``, in any case; argparse's own message otherwise."""
    folded = {o.casefold(): o for o in options}

    def parse(text: str) -> str:
        return folded.get(text.strip().casefold(), text)

    parse.__name__ = "choice"
    return parse


class Start:
    """Where a span starts: a time ("12.5s", "1:02.5") or a position "BAR[.BEAT]" (from 1)."""

    __slots__ = ("seconds", "bar", "beat")

    def __init__(self, seconds: Fraction | None = None, bar: int = 1, beat: int = 1) -> None:
        self.seconds, self.bar, self.beat = seconds, bar, beat


def start(text: str) -> Start:
    typed = text.strip()
    low = typed.lower()
    if low.endswith("s") or ":" in low:
        body = low[:-1] if low.endswith("s") else low
        minutes, _, rest = body.rpartition(":")
        whole = _number(rest) if rest else None
        mins = int(minutes) if minutes.isdigit() else (0 if not minutes else -1)
        if whole is None or whole < 0 or mins < 0 or (minutes and whole >= 60):
            raise argparse.ArgumentTypeError(f"not a time or BAR[.BEAT]: {text!r}")
        value = whole + 60 * mins
        if value > MAX_SECONDS:
            raise argparse.ArgumentTypeError(f"start too late: {text!r}")
        return Start(seconds=value)
    bar_text, dot, beat_text = typed.partition(".")
    if not bar_text.isdigit() or (dot and not beat_text.isdigit()) or len(typed) > 12:
        raise argparse.ArgumentTypeError(f"not a time or BAR[.BEAT]: {text!r} "
                                         "(a time is written 12.5s or 1:02.5)")
    bar, beat = int(bar_text), int(beat_text) if dot else 1
    if bar < 1 or beat < 1 or bar > MAX_BARS:
        raise argparse.ArgumentTypeError(f"bars and beats count from 1: {text!r}")
    return Start(bar=bar, beat=beat)


def source_help(what: str = "pattern") -> str:
    return (f"a default {what} (see kinetra list), or a loop file: .csv or .json rows of x, y, z, "
            "or a .npy array of shape (n, 3)")
