"""Numbers as written: exact fractions from user input, with sane bounds.

Tempos, frame rates and times are taken at the decimal value they are written
with: the float 29.97 and the string "29.97" both mean 2997/100, and
"30000/1001" is the NTSC rate exactly. A number whose size alone would make
exact arithmetic slow (``1e99999999``) is refused up front: no musical time
needs more than ``MAX_DIGITS`` digits either side of the point.
"""

from __future__ import annotations

from decimal import Decimal, InvalidOperation
from fractions import Fraction

Number = int | float | Fraction | Decimal | str


class NotANumber(ValueError):
    """The value is not a finite number."""


class OutOfRange(ValueError):
    """The value is a number, but too large, too small or too finely divided to take."""


# Largest power of ten, either way, that a number as written may carry.
MAX_DIGITS = 60
_LIMIT = Fraction(10) ** MAX_DIGITS


def _bounded(value: Fraction, what: str, shown: object) -> Fraction:
    size = abs(value)
    if size > _LIMIT or (size and size < 1 / _LIMIT) or value.denominator > _LIMIT:
        raise OutOfRange(f"{what} is out of range: {shown!r}")
    return value


def _from_text(text: str, what: str) -> Fraction:
    text = text.strip()
    if len(text) > 4 * MAX_DIGITS or "_" in text:
        raise NotANumber(f"{what} must be a finite number: {text!r}")
    numerator, slash, denominator = text.partition("/")
    if slash:
        try:
            top, bottom = int(numerator), int(denominator)
        except ValueError:
            raise NotANumber(f"{what} must be a finite number: {text!r}") from None
        if bottom == 0:
            raise NotANumber(f"{what} must be a finite number: {text!r}")
        return _bounded(Fraction(top, bottom), what, text)
    try:
        decimal = Decimal(text)
    except InvalidOperation:
        raise NotANumber(f"{what} must be a finite number: {text!r}") from None
    if not decimal.is_finite():
        raise NotANumber(f"{what} must be a finite number: {text!r}")
    # Decimal knows the exponent before any big integer is made.
    if decimal and abs(decimal.adjusted()) > MAX_DIGITS:
        raise OutOfRange(f"{what} is out of range: {text!r}")
    return _bounded(Fraction(decimal), what, text)


def exact(value: Number, what: str = "value") -> Fraction:
    """The number as an exact fraction; floats at the decimal they print as.

    Raises ``NotANumber`` for anything that is not a finite number and
    ``OutOfRange`` for one of no sane size (both are ValueErrors).
    """
    if isinstance(value, bool):
        raise NotANumber(f"{what} must be a number, not {value!r}")
    try:
        if isinstance(value, str):
            return _from_text(value, what)
        if isinstance(value, float):
            return _from_text(repr(value), what)  # 29.97 means 2997/100, not the nearest double
        if isinstance(value, Decimal):
            return _from_text(str(value), what)
        if isinstance(value, (int, Fraction)):
            return _bounded(Fraction(value), what, value)
    except (ZeroDivisionError, OverflowError):
        pass
    raise NotANumber(f"{what} must be a finite number: {value!r}")


def positive(value: Number, what: str) -> Fraction:
    """A finite number greater than zero, exact."""
    number = exact(value, what)
    if number <= 0:
        raise OutOfRange(f"{what} must be positive: {value!r}")
    return number


def integer(value: int, what: str) -> int:
    """``value`` itself if it is an int (not a bool); TypeError otherwise."""
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{what} must be an int, not {type(value).__name__}")
    return value


def floor(value: Fraction) -> int:
    return value.numerator // value.denominator
