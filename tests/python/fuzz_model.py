"""Strategies and a small pure-Python model for the property-based tests
(test_fuzz_*.py).

Every strategy draws a pair (value, expected): the Python object handed to the
module, and what the binding layer makes of it: the converted value, REFUSED
when the call must fail with TypeError before any native code runs, or
Raises(cls) when the object itself raises cls while being read and that error
must come through unchanged. The check_* functions model the validation rules
of the native constructors on converted values.
"""

import array
import ctypes
import decimal
import fractions
import math
import struct
import types
from dataclasses import dataclass

import pytest
from hypothesis import strategies as st

from stand_ins import FloatOnly, FloatSub, Index, IntOnly, IntSub

try:
    import numpy
except ImportError:  # the numpy cases are simply not drawn
    numpy = None

INT32_MIN, INT32_MAX = -(2**31), 2**31 - 1
REFUSED = "refused"  # TypeError from the binding layer


@dataclass(frozen=True)
class Raises:
    """The argument raises this exception class while it is converted."""

    error: type


class Boom(Exception):
    """Raised by stand-ins that fail while being read."""


class StrSub(str):
    pass


class BytesSub(bytes):
    pass


class BytearraySub(bytearray):
    pass


class RaisingIndex:
    def __index__(self):
        raise Boom("index")


class Rewriting:
    """An integer through __index__ that first replaces the contents of a
    bytearray (another argument of the same call)."""

    def __init__(self, target, content, value):
        self.target, self.content, self.value = target, content, value

    def __index__(self):
        self.target[:] = self.content
        return self.value


def rewriting(draw, name_obj, pip):
    """Now and then, when the name is a bytearray and the pip converts, a pip
    whose conversion rewrites the name: the lookup must still see the name as
    it was passed."""
    pip_obj, value = pip
    if (isinstance(name_obj, bytearray) and isinstance(value, int)
            and draw(st.booleans())):
        content = draw(st.one_of(st.binary(max_size=8), st.binary(min_size=1000, max_size=5000)))
        return Rewriting(name_obj, content, value), value
    return pip_obj, value


class RaisingFloat:
    def __float__(self):
        raise Boom("float")


def first_failure(*expected):
    """The outcome of converting arguments left to right: the first REFUSED
    or Raises wins; None when every argument converts."""
    for e in expected:
        if e is REFUSED or isinstance(e, Raises):
            return e
    return None


def assert_fails(call, failure, message=None):
    """`call` raises exactly the expected class (and message, if given):
    TypeError for REFUSED, the stand-in's own error for Raises."""
    cls = (TypeError if failure is REFUSED else
           failure.error if isinstance(failure, Raises) else failure)
    with pytest.raises(Exception) as info:
        call()
    assert type(info.value) is cls, repr(info.value)
    if message is not None:
        assert str(info.value) == message


# ---- integers ---------------------------------------------------------------

INT_EDGES = [0, 1, -1, 63, 64, -64, 255, 256, 65535, 65536, INT32_MAX, INT32_MIN,
             INT32_MAX + 1, INT32_MIN - 1, 2**32, 2**63 - 1, 2**63, -(2**63) - 1, 2**64, 10**30]
ODD_DECIMALS = [decimal.Decimal(v) for v in ("NaN", "sNaN", "Infinity", "-Infinity", "-0", "2.5")]
any_int = st.one_of(st.sampled_from(INT_EDGES), st.integers(INT32_MIN, INT32_MAX),
                    st.integers(INT32_MAX - 8, INT32_MAX), st.integers())


def _int32(value):
    return value if INT32_MIN <= value <= INT32_MAX else REFUSED


@st.composite
def pips(draw, convert=True):
    """An integer argument. `convert` False models a no-conversion parameter:
    only int, its subclasses and __index__ objects get through."""
    value = draw(any_int)
    kind = draw(st.sampled_from([
        "int", "int", "int", "bool", "int_sub", "index", "int_only", "decimal", "fraction",
        "float", "float_sub", "float_only", "str", "none", "complex", "bytes",
        "raising_index", "numpy_int", "numpy_float",
    ]))
    if kind == "int":
        return value, _int32(value)
    if kind == "bool":
        flag = draw(st.booleans())
        return flag, int(flag)
    if kind == "int_sub":
        return IntSub(value), _int32(value)
    if kind == "index":
        return Index(value), _int32(value)
    if kind == "int_only":
        return IntOnly(value), _int32(value) if convert else REFUSED
    if kind == "decimal":
        d = draw(st.one_of(st.decimals(-(10**12), 10**12), st.sampled_from(ODD_DECIMALS),
                           st.just(decimal.Decimal(value))))
        if not convert:
            return d, REFUSED
        try:
            return d, _int32(int(d))  # int() truncates toward zero
        except (ValueError, OverflowError):
            return d, REFUSED
    if kind == "fraction":
        f = fractions.Fraction(value, draw(st.integers(1, 10**6)))
        return f, _int32(int(f)) if convert else REFUSED
    if kind == "float":
        return draw(st.floats()), REFUSED
    if kind == "float_sub":
        return FloatSub(draw(st.floats())), REFUSED
    if kind == "float_only":
        return FloatOnly(float(draw(st.integers(-100, 100)))), REFUSED
    if kind == "str":
        return str(value), REFUSED
    if kind == "none":
        return None, REFUSED
    if kind == "complex":
        return complex(value % 1000, 1), REFUSED
    if kind == "bytes":
        return b"1", REFUSED
    if kind == "raising_index":
        return RaisingIndex(), REFUSED  # the binding layer clears the error
    if numpy is None:
        return value, _int32(value)
    if kind == "numpy_int":
        v = value if -(2**63) <= value < 2**63 else 0
        return numpy.int64(v), _int32(v)
    return numpy.float64(draw(st.floats())), REFUSED  # a float subclass


def wrap(pip, period):
    return pip % period  # Python's % is already non-negative for period > 0


# ---- batches of pips and rows (sample_many) -------------------------------------

PIP_TYPECODES = "bBhHiIlLqQ"
NUMPY_INT_DTYPES = ["i1", "u1", "<i2", ">i2", "<u2", ">u2", "<i4", ">i4", "<u4", ">u4",
                    "<i8", ">i8", "<u8", ">u8"]


def _fits(values, low, high):
    return [v for v in values if low <= v <= high]


@st.composite
def pip_batches(draw, convert=True):
    """A pips argument of sample_many and what it converts to: the list of
    pips, REFUSED or Raises. A sequence holds pips drawn as for the per-call
    sample (each taken or refused the same way, `convert` as there); a buffer
    holds integers of any type, byte order and stride, and is refused as a
    whole when one of them leaves the pip range."""
    kind = draw(st.sampled_from(["list", "list", "tuple", "generator", "raising", "array",
                                 "ndarray", "junk"]))
    if kind == "junk":
        return draw(st.sampled_from([None, 5, 0.5, "0", {0: 1}])), REFUSED
    if kind == "array" or (kind == "ndarray" and numpy is None):
        code = draw(st.sampled_from(PIP_TYPECODES))
        bits = 8 * array.array(code).itemsize
        low, high = (-(2 ** (bits - 1)), 2 ** (bits - 1) - 1) if code.islower() else (0, 2**bits - 1)
        values = _fits(draw(st.lists(any_int, max_size=8)), low, high)
        obj = array.array(code, values)
        if draw(st.booleans()):
            obj, values = memoryview(obj)[::-1], values[::-1]
    elif kind == "ndarray":
        dtype = numpy.dtype(draw(st.sampled_from(NUMPY_INT_DTYPES)))
        info = numpy.iinfo(dtype)
        values = _fits(draw(st.lists(any_int, max_size=8)), int(info.min), int(info.max))
        obj = numpy.array(values, dtype=dtype)
        layout = draw(st.sampled_from(["as_is", "strided", "reversed"]))
        if layout == "strided":
            obj = numpy.repeat(obj, 2)[::2]
        elif layout == "reversed":
            obj, values = obj[::-1], values[::-1]
    if kind in ("array", "ndarray"):
        return obj, values if _fits(values, INT32_MIN, INT32_MAX) == values else REFUSED
    items = draw(st.lists(pips(convert), max_size=8))
    objs, values = [o for o, _ in items], [v for _, v in items]
    if kind in ("generator", "raising") and not convert:
        # Without conversion, as pybind11 takes a list: no generator, untouched.
        return (o for o in objs), REFUSED
    if kind == "raising":
        # A generator is read whole before any pip converts.
        def raising(objs=objs):
            yield from objs
            raise Boom("pips")
        return raising(), Raises(Boom)
    failure = first_failure(*values)
    container = {"list": list, "tuple": tuple, "generator": lambda o: (x for x in o)}[kind](objs)
    return container, failure if failure is not None else values


@st.composite
def row_outs(draw, count):
    """An `out` argument for `count` rows: (object, what must happen), the
    latter None (rows are written into it), or the error class of a malformed
    out."""
    kind = draw(st.sampled_from(["none", "none", "rows", "rows", "more rows", "four columns",
                                 "flat", "floats", "read-only", "list"]))
    if kind == "none":
        return None, None
    if kind == "rows":
        return (ctypes.c_double * 3 * count)(), None
    if kind == "more rows":
        return (ctypes.c_double * 3 * (count + 1))(), ValueError
    if kind == "four columns":
        return (ctypes.c_double * 4 * count)(), ValueError
    if kind == "flat":
        return (ctypes.c_double * (3 * count))(), ValueError
    if kind == "floats":
        return (ctypes.c_float * 3 * count)(), TypeError
    if kind == "read-only" and count > 0:
        return memoryview(bytes(24 * count)).cast("d", (count, 3)), TypeError
    return [[0.0] * 3] * count, TypeError


def packed_rows(rows):
    """Rows of three doubles as sample_many lays them out."""
    return b"".join(struct.pack("=3d", *row) for row in rows)


def check_batch(call, name_obj, raw, batch, out, data, row_at):
    """One sample_many call: the failure of the first argument that does not
    convert, else of a malformed out (left as it was), else of an unknown name,
    else one row per pip, each `row_at(pip)`, in the result and in out."""
    (pips_obj, pips_in), (out_obj, out_error) = batch, out
    if isinstance(pips_obj, list) and pips_obj and isinstance(pips_in, list):
        # A first pip that rewrites a bytearray name while it converts.
        first, _ = rewriting(data.draw, name_obj, (pips_obj[0], pips_in[0]))
        pips_obj = [first, *pips_obj[1:]]
    before = bytes(out_obj) if out_error is not None and not isinstance(out_obj, list) else None
    run = lambda: call(name_obj, pips_obj, out_obj)  # noqa: E731
    failure = first_failure(raw, pips_in)
    if failure is not None:
        assert_fails(run, failure)
        return
    if out_error is not None:
        assert_fails(run, out_error)
        if before is not None:
            assert bytes(out_obj) == before
        return
    rows = row_at(raw)
    if rows is None:
        assert_fails(run, ValueError, "Unknown kinetra: " + printable(raw))
        return
    result = run()
    assert (result.format, result.shape) == ("d", (len(pips_in), 3))
    expected = packed_rows(rows(pip) for pip in pips_in)
    assert bytes(result) == expected
    if out_obj is not None:
        assert bytes(out_obj) == expected



# ---- numbers (doubles) --------------------------------------------------------

FLOAT_EDGES = [0.0, -0.0, 1.0, -1.0, math.nextafter(1.0, 2.0), -math.nextafter(1.0, 2.0),
               math.nextafter(1.0, 0.0), 5e-324, -5e-324, 2.2250738585072014e-308,
               1e-300, 1e300, 1.7976931348623157e308, -1.7976931348623157e308,
               math.inf, -math.inf, math.nan, 0.5, -0.5]
any_float = st.one_of(st.sampled_from(FLOAT_EDGES), st.floats(-1.0, 1.0),
                      st.floats(allow_nan=True, allow_infinity=True, allow_subnormal=True))


def _as_double(obj):
    """float(obj) as the binding layer computes it, or REFUSED."""
    if obj is None or isinstance(obj, (str, bytes, bytearray, complex)):
        return REFUSED
    try:
        return float(obj)
    except (TypeError, ValueError, OverflowError, ArithmeticError):
        return REFUSED
    except Boom:
        return REFUSED  # cleared by the binding layer, like every number error


@st.composite
def numbers(draw):
    """A number argument converted to double (sample values, bpm, origin)."""
    kind = draw(st.sampled_from([
        "float", "float", "float", "float", "int", "big_int", "bool", "float_sub", "int_sub",
        "float_only", "index", "int_only", "decimal", "fraction", "str", "none", "complex",
        "raising_float", "numpy",
    ]))
    if kind == "float":
        obj = draw(any_float)
    elif kind == "int":
        obj = draw(st.integers(-2, 2))
    elif kind == "big_int":
        obj = draw(st.one_of(st.integers(), st.sampled_from([2**1023, 2**1024, -(2**1024), 10**400])))
    elif kind == "bool":
        obj = draw(st.booleans())
    elif kind == "float_sub":
        obj = FloatSub(draw(any_float))
    elif kind == "int_sub":
        obj = IntSub(draw(st.integers(-1, 1)))
    elif kind == "float_only":
        obj = FloatOnly(draw(any_float))
    elif kind == "index":
        obj = Index(draw(st.one_of(st.integers(-1, 1), st.sampled_from([2**1024]))))
    elif kind == "int_only":
        obj = IntOnly(draw(st.integers(-1, 1)))
    elif kind == "decimal":
        obj = draw(st.one_of(st.decimals(-2, 2), st.sampled_from(ODD_DECIMALS),
                             st.just(decimal.Decimal("1E+400"))))
    elif kind == "fraction":
        obj = fractions.Fraction(draw(st.integers(-3, 3)), draw(st.integers(1, 4)))
    elif kind == "str":
        obj = draw(st.sampled_from(["0.5", "", "nan"]))
    elif kind == "none":
        obj = None
    elif kind == "complex":
        obj = complex(draw(st.floats(-1, 1)), 0.0)
    elif kind == "raising_float":
        obj = RaisingFloat()
    elif numpy is not None:
        obj = draw(st.sampled_from([numpy.float64, numpy.float32, numpy.int8]))(
            draw(st.floats(-1, 1, width=32)))
    else:
        obj = draw(any_float)
    return obj, _as_double(obj)


# ---- sequences ----------------------------------------------------------------

def _container(draw, objs, kinds):
    """Wraps already drawn element objects in a sequence-like container."""
    kind = draw(st.sampled_from(kinds))
    if kind == "list":
        return list(objs)
    if kind == "tuple":
        return tuple(objs)
    if kind == "generator":
        return (o for o in objs)
    if kind == "array" and all(type(o) is float for o in objs):
        return array.array("d", objs)
    if kind == "ndarray" and numpy is not None:
        # A table of rows as a 2-D array of doubles (the direct buffer path)
        # in one of a few layouts holding the same values. Other dtypes,
        # ranks and strides: test_fuzz_arrays.py.
        flat = [list(row) for row in objs if isinstance(row, (list, tuple, array.array))]
        if (len(flat) == len(objs) and all(type(v) is float for row in flat for v in row)
                and len({len(row) for row in flat}) <= 1):
            table = numpy.array(flat, dtype="float64")
            if table.ndim != 2:
                return list(objs)
            layout = draw(st.sampled_from(["c", "fortran", "strided", "read_only"]))
            if layout == "fortran":
                return numpy.asfortranarray(table)
            if layout == "strided":
                return numpy.repeat(table, 2, axis=0)[::2]
            if layout == "read_only":
                table.flags.writeable = False
            return table
    return list(objs)


SEQUENCE_KINDS = ["list", "list", "tuple", "generator", "array"]
NOT_A_SEQUENCE = [None, 5, 0.5, "abc", b"abc", {"a": 1}]


@st.composite
def rows(draw, width, exact=None):
    """One row of `width` numbers. With `exact` set, a row of any other width
    is refused by the binding layer (a fixed-size row); otherwise any width
    converts."""
    items = [draw(numbers()) for _ in range(width)]
    failure = first_failure(*(e for _, e in items))
    obj = _container(draw, [o for o, _ in items], SEQUENCE_KINDS)
    if failure is None and exact is not None and width != exact:
        failure = REFUSED
    return obj, failure if failure is not None else tuple(e for _, e in items)


@st.composite
def sequence_of(draw, elements, min_size=0, max_size=6, limits=()):
    """A sequence argument: a container of drawn elements, or, now and then, a
    long run of one repeated element (sizes in `limits`), something that is no
    sequence at all, or a generator that raises part-way."""
    shape = draw(st.sampled_from(["few"] * 8 + ["limit"] * bool(limits) + ["junk", "raising"]))
    if shape == "junk":
        return draw(st.sampled_from(NOT_A_SEQUENCE)), REFUSED
    if shape == "limit":
        obj, expected = draw(elements)
        if isinstance(obj, types.GeneratorType):
            obj = tuple(obj)  # a generator row can be read only once
        n = draw(st.sampled_from(limits))
        objs, exps = [obj] * n, [expected] * n
    else:
        items = draw(st.lists(elements, min_size=min_size, max_size=max_size))
        objs, exps = [o for o, _ in items], [e for _, e in items]
    if shape == "raising":
        # A generator is read whole before any element converts.
        def raising(objs=objs):
            yield from objs
            raise Boom("sequence")
        return raising(), Raises(Boom)
    failure = first_failure(*exps)
    container = _container(draw, objs, ["list", "list", "tuple", "generator", "ndarray"])
    return container, failure if failure is not None else list(exps)


# ---- names --------------------------------------------------------------------

IDENTIFIER_BYTES = frozenset(b"abcdefghijklmnopqrstuvwxyz0123456789_")


def is_identifier(raw):
    return (1 <= len(raw) <= 128 and 0x61 <= raw[0] <= 0x7A
            and all(b in IDENTIFIER_BYTES for b in raw))


def printable(raw):
    """A name as the lookup shows it in a message: well-formed UTF-8 as is,
    every other byte and NUL escaped as \\xNN."""
    return raw.decode("utf-8", "backslashreplace").replace("\x00", "\\x00")


def _one_byte_changed(name, at):
    """`name` with its character at `at` flipped in the lowest bit (one byte
    of an ASCII name), or the name itself when it is empty."""
    if not name:
        return name
    at %= len(name)
    return name[:at] + chr(ord(name[at]) ^ 1) + name[at + 1:]


def _mutations(name):
    return st.sampled_from([
        name, name.upper(), name[:1].upper() + name[1:], name + " ", " " + name, name[:-1],
        name + "_", name + "\x00", name + "\u00e9", name.replace("_", "-"), name * 2,
        name[:len(name) // 2], _one_byte_changed(name, 0), _one_byte_changed(name, -1),
        _one_byte_changed(name, len(name) // 2),
    ])


@st.composite
def names(draw, known=()):
    """A name argument (str, bytes, bytearray or a subclass of one) and its
    UTF-8 bytes, or REFUSED. Draws identifiers of every length, near-copies of
    the `known` names, any text (lone surrogates included) and any bytes."""
    source = draw(st.sampled_from(["identifier", "known", "text", "binary", "junk"]
                                  if known else ["identifier", "text", "binary", "junk"]))
    if source == "junk":
        return draw(st.sampled_from([None, 5, 1.5, ["abc"], ("abc",)])), REFUSED
    if source == "binary":
        raw = draw(st.binary(max_size=140))
        wrapper = draw(st.sampled_from([bytes, bytearray, BytesSub, BytearraySub]))
        return wrapper(raw), raw
    if source == "identifier":
        text = draw(st.one_of(
            st.from_regex(r"[a-z][a-z0-9_]{0,20}", fullmatch=True),
            st.integers(126, 130).map(lambda n: "a" * n),
            st.from_regex(r"[a-z0-9_]{0,3}[A-Z \-.][a-z]{0,3}", fullmatch=True),
        ))
    elif source == "known":
        text = draw(st.sampled_from(known).flatmap(_mutations))
    else:
        text = draw(st.text(st.characters(codec=None, exclude_categories=()), max_size=40))
    wrapper = draw(st.sampled_from([str, str, StrSub, "bytes", "bytearray"]))
    try:
        raw = text.encode("utf-8")
    except UnicodeEncodeError:  # a lone surrogate: no UTF-8 form
        return (text if wrapper in ("bytes", "bytearray") else wrapper(text)), REFUSED
    if wrapper == "bytes":
        return raw, raw
    if wrapper == "bytearray":
        return bytearray(raw), raw
    return wrapper(text), raw


# ---- validation rules -----------------------------------------------------------

def unit(v):
    return math.isfinite(v) and -1.0 <= v <= 1.0


def same_float(a, b):
    """Bit-for-bit equality of two doubles (so -0.0 differs from 0.0)."""
    return a == b and math.copysign(1.0, a) == math.copysign(1.0, b)


def same_row(offset, row):
    return all(same_float(a, b) for a, b in zip(offset.as_tuple(), row, strict=True))


def check_pattern(name, samples):
    """The error message SampledPattern's constructor gives, or None."""
    if not is_identifier(name):
        return "Invalid pattern name"
    if not 1 <= len(samples) <= 65535:
        return "A pattern requires 1..65535 samples (one per pip)"
    if not all(unit(v) for row in samples for v in row):
        return "Pattern samples must be finite and within [-1, 1]"
    return None


def pattern_dimensions(samples):
    if any(row[2] != 0.0 for row in samples):
        return 3
    return 2 if any(row[1] != 0.0 for row in samples) else 1


def check_timing(bpm, origin):
    if not (math.isfinite(bpm) and bpm > 0.0):
        return False
    per_beat = 60.0 / bpm
    return math.isfinite(per_beat) and per_beat * 0.015625 > 0.0 and math.isfinite(origin)


def check_recording(name, axes, samples, bpm, origin, start_pip):
    """The error message SampledRecording's constructor gives, or None."""
    if not is_identifier(name):
        return "Invalid identifier"
    if not check_timing(bpm, origin):
        return "A finite positive BPM and beat origin are required"
    limit = 8388608
    if (not 1 <= len(axes) <= limit or not 1 <= len(samples) <= limit // len(axes)
            or start_pip + len(samples) > INT32_MAX):
        return "Empty recording or recording resource limit exceeded"
    seen = set()
    for axis in axes:
        if not is_identifier(axis):
            return "Invalid identifier"
        if axis in seen:
            return "Duplicate axis"
        seen.add(axis)
    for row in samples:
        if len(row) != len(axes):
            return "Ragged recording"
        if not all(unit(v) for v in row):
            return "Invalid sample"
    return None
