"""Batch sampling: sample_many of the module, of SampledPattern and of
PatternLibrary. Row i is the per-call sample at pips[i], bit for bit, from any
integer buffer or sequence of pips; every check comes before the first row is
written, so a failing call leaves `out` as it was."""
import array
import ctypes
import decimal
import gc
import random
import struct
import sys

import pytest

import kinetra
import rudiment_reference
from stand_ins import FloatSub, Index, IntOnly, IntSub, value_error

INT32_MIN, INT32_MAX = -(2**31), 2**31 - 1
CATALOGUE = kinetra.catalogue()
BUILTINS = list(rudiment_reference.BUILTINS)
PACK_NAMES = sorted(e["name"] for e in CATALOGUE[15:])
LAST_PACK = CATALOGUE[-1]["name"]
# A loop holding negative zeros: a sign lost on the way shows in the bytes.
LOOP = [(-0.0, 0.5, -0.0), (0.25, -0.0, -1.0), (1.0, -1.0, 0.0)]
PATTERN = kinetra.SampledPattern("user_loop", "d", LOOP)
LIBRARY = kinetra.PatternLibrary([PATTERN])

# Each entry point as (batch call, per-call sample). The methods take their
# pips without implicit conversion, as their per-call sample does.
ENTRY_POINTS = {
    "module, built-in": (lambda pips, out=None: kinetra.sample_many("circle", pips, out),
                         lambda pip: kinetra.sample("circle", pip)),
    "module, pack": (lambda pips, out=None: kinetra.sample_many(LAST_PACK, pips, out=out),
                     lambda pip: kinetra.sample(LAST_PACK, pip)),
    "pattern": (PATTERN.sample_many, PATTERN.sample),
    "library, own": (lambda pips, out=None: LIBRARY.sample_many("user_loop", pips, out),
                     lambda pip: LIBRARY.sample("user_loop", pip)),
    "library, default": (lambda pips, out=None: LIBRARY.sample_many(b"helix", pips, out),
                         lambda pip: LIBRARY.sample("helix", pip)),
}
METHODS = {"pattern", "library, own", "library, default"}


def rows_bytes(sample, pips):
    return b"".join(struct.pack("=3d", *sample(pip).as_tuple()) for pip in pips)


def random_pips(count, seed):
    rng = random.Random(seed)
    edges = [INT32_MIN, INT32_MIN + 1, -65536, -1, 0, 1, 63, 64, 65535, INT32_MAX - 1, INT32_MAX]
    return edges + [rng.randint(INT32_MIN, INT32_MAX) for _ in range(count)]


def double_rows(count, fill=0.0):
    """A writable (count, 3) buffer of doubles without NumPy, and its bytes."""
    raw = bytearray(struct.pack("=d", fill) * (3 * count))
    return memoryview(raw).cast("B").cast("d", (count, 3)), raw


@pytest.mark.parametrize("name", BUILTINS + PACK_NAMES[:1] + PACK_NAMES[-1:] + [LAST_PACK])
def test_rows_are_the_per_call_samples_bit_for_bit(name):
    pips = random_pips(300, name)
    rows = kinetra.sample_many(name, pips)
    assert (rows.format, rows.shape, rows.readonly) == ("d", (len(pips), 3), False)
    assert bytes(rows) == rows_bytes(lambda pip: kinetra.sample(name, pip), pips)


@pytest.mark.parametrize("entry", ENTRY_POINTS)
def test_every_entry_point_agrees_with_its_sample_and_fills_out(entry):
    batch, sample = ENTRY_POINTS[entry]
    pips = random_pips(200, entry)
    expected = rows_bytes(sample, pips)
    assert bytes(batch(pips)) == expected
    out, raw = double_rows(len(pips), fill=7.0)
    rows = batch(pips, out=out)
    assert bytes(raw) == expected
    raw[:8] = struct.pack("=d", 0.5)  # the result views out's own memory
    assert rows[0, 0] == 0.5


def test_library_samples_its_own_pattern_then_the_defaults():
    twin = kinetra.SampledPattern("mine", "d", [(0.5, 0.0, 0.0)] * 64)
    library = kinetra.PatternLibrary([twin])
    assert bytes(library.sample_many("mine", [0, -1])) == rows_bytes(twin.sample, [0, -1])
    assert bytes(library.sample_many("bounce", [5])) == rows_bytes(kinetra.bounce, [5])
    with value_error("Unknown kinetra: user_loop"):
        library.sample_many("user_loop", [0])


PIPS = [INT32_MIN, -129, -1, 0, 1, 126, 127, 40000, INT32_MAX]


def fitting(typecode):
    """The values of PIPS that an array of this type can hold."""
    size, signed = array.array(typecode).itemsize, typecode.islower()
    low, high = (-(2 ** (8 * size - 1)), 2 ** (8 * size - 1) - 1) if signed else (0, 2 ** (8 * size) - 1)
    return [p for p in PIPS if low <= p <= high]


def big_endian(values):
    return (ctypes.c_int32.__ctype_be__ * len(values))(*values)


def unaligned(values):
    raw = bytearray(1 + 4 * len(values))
    view = memoryview(raw)[1:].cast("i")
    view[:] = array.array("i", values)
    return view


# Pip containers, each with the plain list of values it stands for.
CONTAINERS = {
    "list": lambda: (PIPS, PIPS),
    "tuple": lambda: (tuple(PIPS), PIPS),
    "range": lambda: (range(-300, 300, 7), list(range(-300, 300, 7))),
    "generator": lambda: ((p for p in PIPS), PIPS),
    "int subclasses and __index__": lambda: ([IntSub(5), Index(-6), True], [5, -6, 1]),
    **{f"array {t}": (lambda t=t: (array.array(t, fitting(t)), fitting(t))) for t in "bBhHiIlLqQ"},
    "array backwards": lambda: (memoryview(array.array("q", PIPS))[::-2], PIPS[::-2]),
    "bytes": lambda: (b"\x00\x7f\xff", [0, 127, 255]),
    "bytearray": lambda: (bytearray(b"\x05\x80"), [5, 128]),
    "big-endian int32": lambda: (big_endian(PIPS), PIPS),
    "unaligned int32": lambda: (unaligned(PIPS), PIPS),
    "empty": lambda: ([], []),
}


@pytest.mark.parametrize("container", CONTAINERS)
def test_pips_from_any_integer_buffer_or_sequence(container):
    for entry in ("module, pack", "pattern"):
        batch, sample = ENTRY_POINTS[entry]
        pips, values = CONTAINERS[container]()
        if container == "generator" and entry in METHODS:
            # As pybind11 takes a list without conversion: no generator.
            with pytest.raises(TypeError):
                batch(pips)
            continue
        rows = batch(pips)
        assert rows.shape == (len(values), 3)
        assert bytes(rows) == rows_bytes(sample, values)


# Pip values that one per-call sample may refuse: the batch takes or refuses
# each exactly as the per-call sample of its entry point does.
ODD_PIPS = [INT32_MAX + 1, INT32_MIN - 1, 2**64, 1.0, FloatSub(2.0), "1", None, b"1",
            IntOnly(3), decimal.Decimal("3.7"), Index(2**31), Index(-7), IntSub(9), False]


@pytest.mark.parametrize("entry", ENTRY_POINTS)
@pytest.mark.parametrize("odd", ODD_PIPS, ids=repr)
def test_each_pip_is_taken_or_refused_as_sample_takes_it(entry, odd):
    batch, sample = ENTRY_POINTS[entry]
    try:
        expected = rows_bytes(sample, [0, odd])
    except TypeError:
        with pytest.raises(TypeError):
            batch([0, odd])
    else:
        assert bytes(batch([0, odd])) == expected


REFUSED_PIPS = {
    "int64 past the pip range": lambda: array.array("q", [0, INT32_MAX + 1]),
    "int64 below the pip range": lambda: array.array("q", [INT32_MIN - 1, 0]),
    "uint32 past the pip range": lambda: array.array("I", [0, 2**31]),
    "uint64 at its maximum": lambda: array.array("Q", [2**64 - 1]),
    "doubles": lambda: array.array("d", [1.0]),
    "two-dimensional ints": lambda: memoryview(array.array("i", [0, 1, 2, 3])).cast("B").cast("i", (2, 2)),
    "str": lambda: "0123",
    "a number": lambda: 5,
    "None": lambda: None,
    "dict": lambda: {0: 0},
}


@pytest.mark.parametrize("case", REFUSED_PIPS)
def test_pips_that_are_no_pips_are_refused(case):
    for batch, _ in ENTRY_POINTS.values():
        with pytest.raises(TypeError):
            batch(REFUSED_PIPS[case]())


def with_bad_out(make_out):
    """A call into a malformed `out` of the given factory (count: 3 pips)."""
    return lambda: kinetra.sample_many("circle", [0, 1, 2], out=make_out())


def readonly_rows(count):
    return memoryview(bytes(24 * count)).cast("d", (count, 3))


# Failing calls, each with the out it was given: (call with out, error, message).
FAILURES = {
    "unknown name": (lambda out: kinetra.sample_many("nope", [0, 1, 2], out),
                     ValueError, "Unknown kinetra: nope"),
    "library, unknown name": (lambda out: LIBRARY.sample_many("nope", [0, 1, 2], out),
                              ValueError, "Unknown kinetra: nope"),
    "last pip too large": (lambda out: kinetra.sample_many("circle", [0, 1, 2**31], out),
                           TypeError, None),
    "last pip a float": (lambda out: PATTERN.sample_many([0, 1, 2.0], out), TypeError, None),
    "last int64 too large": (lambda out: LIBRARY.sample_many(
        "user_loop", array.array("q", [0, 1, 2**40]), out), TypeError, None),
    "generator raising": (lambda out: kinetra.sample_many("circle", (1 // p for p in [1, 1, 0]), out),
                          ZeroDivisionError, None),
}


@pytest.mark.parametrize("case", FAILURES)
def test_a_failing_call_leaves_out_untouched(case):
    call, error, message = FAILURES[case]
    out, raw = double_rows(3, fill=7.0)
    before = bytes(raw)
    with pytest.raises(error) as info:
        call(out)
    if message is not None:
        assert str(info.value) == message
    assert bytes(raw) == before


# Malformed `out` arguments (for three pips): (factory, error).
BAD_OUTS = {
    "more rows": (lambda: double_rows(4)[0], ValueError),
    "fewer rows": (lambda: double_rows(2)[0], ValueError),
    "four columns": (lambda: memoryview(bytearray(96)).cast("d", (3, 4)), ValueError),
    "flat": (lambda: memoryview(bytearray(72)).cast("d"), ValueError),
    "bytes of the right size": (lambda: bytearray(72), TypeError),
    "floats": (lambda: memoryview(bytearray(36)).cast("f", (3, 3)), TypeError),
    "int64": (lambda: memoryview(bytearray(72)).cast("q", (3, 3)), TypeError),
    "read-only": (lambda: readonly_rows(3), TypeError),
    "a list of rows": (lambda: [[0.0] * 3] * 3, TypeError),
    "a number": (lambda: 0.0, TypeError),
}


@pytest.mark.parametrize("case", BAD_OUTS)
def test_malformed_out_is_refused_before_any_row(case):
    make_out, error = BAD_OUTS[case]
    out = make_out()
    before = bytes(out) if isinstance(out, (memoryview, bytearray)) else None
    for batch, _ in ENTRY_POINTS.values():
        with pytest.raises(error):
            batch([0, 1, 2], out=out)
    if before is not None:
        assert bytes(out) == before


def test_out_in_little_endian_double_format_gives_a_plain_d_view():
    out = (ctypes.c_double * 3 * 2)()  # exported as "<d"
    rows = kinetra.sample_many("helix", [7, -7], out=out)
    assert rows.format == "d" and rows.shape == (2, 3)
    assert bytes(out) == rows_bytes(kinetra.helix, [7, -7])


def test_pips_sharing_memory_with_out_are_read_before_rows_are_written():
    count = 40
    out, raw = double_rows(count)
    pips = memoryview(raw).cast("i")[:count]  # the first count pips lie under the first rows
    values = random_pips(count - 11, 1)
    pips[:] = array.array("i", values)
    kinetra.sample_many(LAST_PACK, pips, out=out)
    assert bytes(raw) == rows_bytes(lambda pip: kinetra.sample(LAST_PACK, pip), values)


def test_the_result_keeps_its_memory_alive():
    rows = kinetra.sample_many("bounce", range(64), out=double_rows(64)[0])
    fresh = kinetra.sample_many("bounce", range(64))
    gc.collect()
    assert bytes(rows) == bytes(fresh) == rows_bytes(kinetra.bounce, range(64))
    assert type(rows.obj) is type(fresh.obj)  # noqa: E721  (one owner type, not in the module)
    with pytest.raises(TypeError):
        type(rows.obj)()


def test_no_pips_give_no_rows_but_the_name_is_still_checked():
    rows = kinetra.sample_many("circle", [])
    assert (rows.shape, bytes(rows)) == ((0, 3), b"")
    with value_error("Unknown kinetra: "):
        kinetra.sample_many("", [])


def test_uninitialised_pattern_is_refused():
    empty = kinetra.SampledPattern.__new__(kinetra.SampledPattern)
    with pytest.raises(TypeError):
        empty.sample_many([0])


# ---- with NumPy -------------------------------------------------------------

@pytest.fixture(scope="module")
def numpy():
    return pytest.importorskip("numpy")


INT_DTYPES = ["i1", "u1", "<i2", ">i2", "<u2", ">u2", "<i4", ">i4", "<u4", ">u4",
              "<i8", ">i8", "<u8", ">u8"]


@pytest.mark.parametrize("dtype", INT_DTYPES)
def test_numpy_pips_of_every_integer_type_and_byte_order(numpy, dtype):
    info = numpy.iinfo(dtype)
    values = [p for p in random_pips(500, dtype) if info.min <= p <= info.max]
    strided = numpy.repeat(numpy.array(values, dtype=dtype), 2)[::2]
    for pips in (numpy.array(values, dtype=dtype), strided, strided[::-1]):
        expected = rows_bytes(lambda pip: kinetra.sample(LAST_PACK, pip), pips.tolist())
        out = numpy.full((len(values), 3), 7.0)
        rows = kinetra.sample_many(LAST_PACK, pips, out)
        assert out.tobytes() == bytes(rows) == expected
        assert numpy.shares_memory(numpy.asarray(rows), out)


def test_numpy_views_the_result_without_a_copy(numpy):
    rows = PATTERN.sample_many(numpy.arange(-3, 3, dtype=numpy.int16))
    table = numpy.asarray(rows)
    assert table.shape == (6, 3) and table.dtype == numpy.float64
    table[0, 0] = 0.125
    assert rows[0, 0] == 0.125


@pytest.mark.parametrize("make_out, error", [
    (lambda n: n.zeros((3, 3), order="F"), ValueError),
    (lambda n: n.zeros((6, 3))[::2], ValueError),
    (lambda n: n.zeros((3, 3), dtype=">f8"), TypeError),
    (lambda n: n.zeros((3, 3), dtype="f4"), TypeError),
    (lambda n: n.broadcast_to(n.zeros(3), (3, 3)), TypeError),
    (lambda n: n.zeros((3, 3, 1)), ValueError),
], ids=["fortran", "every other row", "big-endian", "float32", "read-only", "three dimensions"])
def test_numpy_out_must_be_writable_c_contiguous_float64(numpy, make_out, error):
    out = make_out(numpy)
    before = out.tobytes()
    with pytest.raises(error):
        kinetra.sample_many("circle", numpy.arange(3), out)
    assert out.tobytes() == before


def test_numpy_pips_in_outs_own_memory(numpy):
    out = numpy.zeros((50, 3))
    pips = out.view(numpy.int64).reshape(-1)[10:60][::-1]  # under rows 3 to 19, backwards
    pips[:] = random_pips(39, 2)
    values = pips.tolist()
    kinetra.sample_many("five_stroke_roll", pips, out)
    assert out.tobytes() == rows_bytes(kinetra.five_stroke_roll, values)


def test_numpy_empty_out(numpy):
    out = numpy.empty((0, 3))
    assert kinetra.sample_many("circle", numpy.empty(0, dtype=numpy.int32), out).shape == (0, 3)


@pytest.mark.skipif(sys.byteorder != "little", reason="the little-endian case is the native one")
def test_native_order_marks_are_read_as_native():
    pips = (ctypes.c_int64.__ctype_le__ * 3)(-1, 0, INT32_MAX)  # exported as "<q"
    assert bytes(kinetra.sample_many("sway", pips)) == rows_bytes(kinetra.sway, [-1, 0, INT32_MAX])
