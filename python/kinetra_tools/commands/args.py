"""Argument types shared by the commands: each turns text into a checked value
or raises ``argparse.ArgumentTypeError`` with a one-line reason."""

from __future__ import annotations

import argparse
from fractions import Fraction


def positive(text: str) -> Fraction:
    """A positive finite number, kept exact as written ("29.97", "30000/1001")."""
    from ..numbers import exact

    try:
        value = exact(text)
    except ValueError:
        value = Fraction(0)
    if value <= 0:
        raise argparse.ArgumentTypeError(f"not a positive number: {text!r}")
    return value


def count(text: str) -> int:
    """A positive whole number written in plain digits."""
    value = int(text) if text.strip().isdigit() else 0
    if value <= 0:
        raise argparse.ArgumentTypeError(f"not a positive whole number: {text!r}")
    return value


def exact(text: str) -> Fraction:
    """Any finite number, kept exact as written."""
    from ..numbers import exact as exact_number

    try:
        return exact_number(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a finite number: {text!r}") from None


def source_help(what: str = "pattern") -> str:
    return (f"a default {what} (see kinetra list), or a loop file: .csv or .json rows of x, y, z, "
            "or a .npy array of shape (n, 3)")
