"""Sample tables given as arrays: a 2-D buffer of doubles is read directly and
must behave exactly as the nested lists its tolist() gives; any other array
goes the way of any sequence, with the same outcome as those lists too."""
import ctypes
import math
import struct
import warnings

import pytest

import kinetra

numpy = pytest.importorskip("numpy")

ABOVE_ONE = math.nextafter(1.0, 2.0)
SIZE = "Empty recording or recording resource limit exceeded"
PATTERN_COUNT = "A pattern requires 1..65535 samples (one per pip)"


def ramp(rows, cols, dtype="float64"):
    return (numpy.arange(rows * cols, dtype="float64").reshape(rows, cols)
            / max(rows * cols, 1) * 2 - 1).astype(dtype)


def matrix(array):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", PendingDeprecationWarning)
        return numpy.asmatrix(array)


def with_value(array, where, value):
    array = array.copy()
    array[where] = value
    return array


# Odd inputs for both classes; each is compared with its own tolist().
ARRAYS = {
    "C order": lambda: ramp(64, 3),
    "Fortran order": lambda: numpy.asfortranarray(ramp(64, 3)),
    "every other row": lambda: ramp(128, 3)[::2],
    "rows reversed": lambda: ramp(64, 3)[::-1],
    "columns reversed": lambda: ramp(64, 3)[:, ::-1],
    "transposed": lambda: ramp(3, 64).T,
    "one row broadcast": lambda: numpy.broadcast_to(numpy.array([0.5, -0.5, 0.25]), (10, 3)),
    "column view of a wider table": lambda: ramp(16, 5)[:, 1:4],
    "unaligned field of a packed record": lambda: numpy.zeros(
        (8, 3), dtype=[("pad", "u1"), ("v", "f8")])["v"] + 0.5,
    "read-only": lambda: numpy.frombuffer(bytes(ramp(8, 3)), dtype="float64").reshape(8, 3),
    "packed at an odd address": lambda: numpy.frombuffer(
        b"\0" + bytes(ramp(8, 3)), dtype="float64", offset=1).reshape(8, 3),
    "negative zeros": lambda: numpy.full((4, 3), -0.0),
    "bounds": lambda: numpy.array([[1.0, -1.0, 0.0], [-1.0, 1.0, -0.0]]),
    "NaN in the last z": lambda: with_value(ramp(9, 3), (-1, 2), math.nan),
    "inf in the first x": lambda: with_value(ramp(9, 3), (0, 0), math.inf),
    "just above one": lambda: with_value(ramp(9, 3), (4, 1), ABOVE_ONE),
    "no rows": lambda: numpy.zeros((0, 3)),
    "one row": lambda: numpy.array([[0.0, 0.0, 0.5]]),
    "longest pattern": lambda: numpy.zeros((65535, 3)),
    "one row too many": lambda: numpy.zeros((65536, 3)),
    "two columns": lambda: ramp(4, 2),
    "four columns": lambda: ramp(4, 4),
    "no columns": lambda: numpy.zeros((4, 0)),
    "one column": lambda: ramp(5, 1),
    "float32": lambda: ramp(8, 3, "float32"),
    "big-endian float64": lambda: ramp(8, 3, ">f8"),
    "int64": lambda: numpy.zeros((4, 3), dtype="int64"),
    "object": lambda: ramp(4, 3).astype(object),
    "one dimension": lambda: ramp(1, 3)[0],
    "three dimensions": lambda: ramp(2, 3).reshape(2, 3, 1),
    "matrix of rows": lambda: matrix(ramp(4, 3)),
}


def outcome(build):
    try:
        return ("ok", build())
    except (TypeError, ValueError) as e:
        # A TypeError's text repeats the argument, so only its class counts.
        return (type(e), str(e) if isinstance(e, ValueError) else None)


def bits(values):
    return [struct.pack("<d", v) for v in values]


def pattern_outcome(samples, name="p"):
    result = outcome(lambda: kinetra.SampledPattern(name, "d", samples))
    if result[0] == "ok":
        p = result[1]
        return ("ok", p.period_pips, bits(v for pip in range(p.period_pips) for v in p.sample(pip).as_tuple()))
    return result


def recording_outcome(samples, dimensions=("x", "y", "z"), name="r"):
    result = outcome(lambda: kinetra.SampledRecording(name, list(dimensions), samples, 120.0))
    if result[0] == "ok":
        r = result[1]
        return ("ok", r.sample_count, bits(v for pip in range(r.sample_count) for v in r.sample(pip)))
    return result


def equivalent_lists(array):
    return numpy.asarray(array).tolist()


@pytest.mark.parametrize("case", list(ARRAYS))
def test_pattern_from_an_array_is_the_pattern_from_its_lists(case):
    array = ARRAYS[case]()
    assert pattern_outcome(array) == pattern_outcome(equivalent_lists(array))


@pytest.mark.parametrize("case", list(ARRAYS))
def test_recording_from_an_array_is_the_recording_from_its_lists(case):
    array = ARRAYS[case]()
    width = array.shape[1] if array.ndim == 2 else 3
    axes = [f"a{i}" for i in range(max(width, 1))]
    assert recording_outcome(array, axes) == recording_outcome(equivalent_lists(array), axes)


def test_other_buffer_exporters_of_doubles():
    rows = [[0.5, -0.25, 0.0], [1.0, -1.0, -0.0]]
    two_d = memoryview(numpy.array(rows)).cast("B").cast("d", (2, 3))
    c_rows = ((ctypes.c_double * 3) * 2)(*[(ctypes.c_double * 3)(*r) for r in rows])
    assert memoryview(c_rows).format == "<d"
    for source in (two_d, c_rows):
        assert pattern_outcome(source) == pattern_outcome(rows)
        assert recording_outcome(source) == recording_outcome(rows)


@pytest.mark.parametrize(
    "shape, axes, message",
    [
        ((2**31, 1), ["x"], SIZE),
        ((8388609, 1), ["x"], SIZE),
        ((2796203, 3), ["x", "y", "z"], SIZE),
        ((2**40, 3), ["x", "y"], SIZE),
        ((3, 2**40), ["x"], "Ragged recording"),  # few rows: the width is what is wrong
    ],
)
def test_huge_arrays_are_refused_on_their_size_without_reading_them(shape, axes, message):
    huge = numpy.broadcast_to(numpy.float64(0.5), shape)
    with pytest.raises(ValueError, match=f"^{message}$"):
        kinetra.SampledRecording("take", axes, huge, 120.0)
    with pytest.raises(ValueError, match="^Invalid identifier$"):
        kinetra.SampledRecording("Take", axes, huge, 120.0)


def test_huge_pattern_array_is_refused_on_its_length():
    huge = numpy.broadcast_to(numpy.float64(0.5), (2**40, 3))
    with pytest.raises(ValueError, match=r"^A pattern requires 1\.\.65535 samples \(one per pip\)$"):
        kinetra.SampledPattern("p", "d", huge)
    with pytest.raises(ValueError, match="^Invalid pattern name$"):
        kinetra.SampledPattern("P", "d", huge)


def test_array_rows_of_the_wrong_width_are_ragged_after_the_axis_checks():
    rows = numpy.zeros((4, 2))
    for axes, message in ((["x"], "Ragged recording"), (["x", "x", "y"], "Duplicate axis"),
                          (["x", "y", "z"], "Ragged recording")):
        with pytest.raises(ValueError, match=f"^{message}$"):
            kinetra.SampledRecording("t", axes, rows, 120.0)
    bad = with_value(numpy.zeros((4, 2)), (2, 1), 2.0)
    with pytest.raises(ValueError, match="^Invalid sample$"):
        kinetra.SampledRecording("t", ["x", "y"], bad, 120.0)


def test_the_array_is_copied_not_kept():
    array = ramp(4, 3)
    pattern = kinetra.SampledPattern("p", "d", array)
    recording = kinetra.SampledRecording("r", ["x", "y", "z"], array, 60.0)
    before = (pattern.sample(1).as_tuple(), recording.sample(1))
    array[:] = 0.0
    del array
    assert (pattern.sample(1).as_tuple(), recording.sample(1)) == before


def test_library_of_patterns_from_arrays():
    arrays = [numpy.full((1024, 3), (i / 1024, -0.25, 0.0)) for i in range(1024)]
    library = kinetra.PatternLibrary(
        [kinetra.SampledPattern(f"user_{i}", "d", a) for i, a in enumerate(arrays)])
    assert library.sample("user_1023", -1).as_tuple() == (1023 / 1024, -0.25, 0.0)
    assert library.catalogue()[-1]["dimensions"] == 2
