"""Property-based tests of sample tables given as arrays: whatever the dtype,
byte order, shape, strides, alignment or writability, a SampledPattern or
SampledRecording built from an array has the outcome of one built from the
nested lists that the array's tolist() gives: the same table, bit for bit, or
the same exception (and, for ValueError, the same message)."""

import pytest
from hypothesis import given
from hypothesis import strategies as st

import kinetra
from fuzz_model import FLOAT_EDGES

numpy = pytest.importorskip("numpy")
hnp = pytest.importorskip("hypothesis.extra.numpy")

pytestmark = pytest.mark.fuzz

DTYPES = ["<f8", "<f8", "<f8", ">f8", "<f4", ">f4", "f2", "i1", "<i8", ">i8", "u8", "?", "O"]
LAYOUTS = ["as_is", "fortran", "rows_reversed", "columns_reversed", "every_other_row",
           "transposed", "first_row_broadcast", "read_only", "unaligned", "column_view"]


def _narrowed(value, dtype):
    with numpy.errstate(over="ignore"):
        return numpy.array(value).astype(dtype)[()]


def _elements(dtype):
    if dtype.kind == "f":
        finite = st.floats(-1.0, 1.0, width=8 * min(dtype.itemsize, 8))
        # Edges a narrower type cannot hold become its infinities.
        return st.one_of(finite, st.sampled_from(FLOAT_EDGES).map(lambda v: _narrowed(v, dtype)))
    if dtype.kind in "iu":
        info = numpy.iinfo(dtype)
        return st.one_of(st.integers(max(info.min, -1), 1), st.sampled_from([info.min, info.max]))
    if dtype.kind == "b":
        return st.booleans()
    return st.one_of(st.sampled_from(FLOAT_EDGES), st.integers(-1, 1), st.just(None))


def _laid_out(array, layout):
    """The same values (broadcast: the first row repeated) under other strides."""
    if array.ndim != 2:
        return array
    rows, cols = array.shape
    if layout == "fortran":
        return numpy.asfortranarray(array)
    if layout == "rows_reversed":
        return array[::-1]
    if layout == "columns_reversed":
        return array[:, ::-1]
    if layout == "every_other_row":
        return numpy.repeat(array, 2, axis=0)[::2]
    if layout == "transposed":
        return numpy.ascontiguousarray(array.T).T
    if layout == "first_row_broadcast" and rows:
        return numpy.broadcast_to(array[:1], array.shape)
    if layout == "read_only":
        array = array.copy()
        array.flags.writeable = False
        return array
    if layout == "unaligned" and array.dtype != object:
        raw = b"\0" + numpy.ascontiguousarray(array).tobytes()
        return numpy.frombuffer(raw, dtype=array.dtype, offset=1).reshape(array.shape)
    if layout == "column_view":
        wide = numpy.zeros((rows, cols + 2), dtype=array.dtype)
        wide[:, 1:-1] = array
        return wide[:, 1:-1]
    return array


@st.composite
def tables(draw, limits=()):
    """An array of any of the dtypes, mostly 2-D with a few rows, now and then
    of another rank or of a size at the limits."""
    dtype = numpy.dtype(draw(st.sampled_from(DTYPES)))
    cols = draw(st.sampled_from([3, 3, 3, 0, 1, 2, 4]))
    rank = draw(st.sampled_from([2] * 8 + [0, 1, 3]))
    if rank == 2 and limits and draw(st.integers(0, 9)) == 0:
        fill = draw(_elements(dtype))
        return _laid_out(numpy.full((draw(st.sampled_from(limits)), cols), fill, dtype=dtype),
                         draw(st.sampled_from(LAYOUTS)))
    shape = {0: (), 1: (draw(st.integers(0, 4)),),
             2: (draw(st.integers(0, 6)), cols),
             3: (draw(st.integers(0, 3)), cols, 2)}[rank]
    array = draw(hnp.arrays(dtype, shape, elements=_elements(dtype)))
    return _laid_out(array, draw(st.sampled_from(LAYOUTS)))


def bits(values):
    return tuple(v.hex() if isinstance(v, float) else v for v in values)


def outcome(build):
    try:
        made = build()
    except (TypeError, ValueError) as error:
        # A TypeError repeats the argument in its text, so only its class counts.
        return type(error), str(error) if isinstance(error, ValueError) else None
    if isinstance(made, kinetra.SampledPattern):
        return "ok", [bits(made.sample(k).as_tuple()) for k in spread(made.period_pips)]
    first = made.start_pip
    return "ok", [bits(made.sample(first + k)) for k in spread(made.sample_count)]


def spread(count):
    """Every row of a small table; about 500 rows across a large one (large
    tables here repeat one value)."""
    return range(count) if count <= 1024 else [*range(0, count, count // 500), count - 1]


def plain(array):
    try:
        return array.tolist()
    except Exception:
        pytest.skip("no list form")


@given(tables(limits=(65535, 65536)))
def test_pattern_from_an_array_is_the_pattern_from_its_list(array):
    listed = plain(array)
    assert (outcome(lambda: kinetra.SampledPattern("p", "d", array))
            == outcome(lambda: kinetra.SampledPattern("p", "d", listed)))


@given(tables(), st.integers(-3, 3))
def test_recording_from_an_array_is_the_recording_from_its_list(array, start):
    listed = plain(array)
    width = array.shape[1] if array.ndim >= 2 else 1
    axes = [f"a{i}" for i in range(width)]
    assert (outcome(lambda: kinetra.SampledRecording("r", axes, array, 120.0, 0.0, start))
            == outcome(lambda: kinetra.SampledRecording("r", axes, listed, 120.0, 0.0, start)))
