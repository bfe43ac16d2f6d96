import decimal
import math

import pytest

import kinetra
from stand_ins import Index, IntOnly, value_error

ABOVE_ONE = math.nextafter(1.0, 2.0)
SIZE = "Empty recording or recording resource limit exceeded"
TEMPO = "A finite positive BPM and beat origin are required"
MAX_VALUES = 8388608


def axes(count):
    return [f"a{i}" for i in range(count)]


def test_properties_read_back():
    r = kinetra.SampledRecording(b"take_1", ["x", bytearray(b"y"), "tilt"],
                                 [(0.5, -0.5, 1), [-1.0, 1.0, 0]], 120)
    assert r.name == "take_1"
    assert r.dimensions == ["x", "y", "tilt"]
    assert r.sample_count == 2
    assert r.bpm == 120.0 and type(r.bpm) is float
    assert r.beat_zero_seconds == 0.0 and type(r.beat_zero_seconds) is float
    assert r.start_pip == 0
    assert r.sample(1) == [-1.0, 1.0, 0.0]
    # Every read is a new list: changing it changes nothing.
    r.dimensions.append("w")
    r.sample(0)[0] = 9.0
    assert r.dimensions == ["x", "y", "tilt"] and r.sample(0) == [0.5, -0.5, 1.0]
    for attribute in ("name", "dimensions", "sample_count", "bpm", "beat_zero_seconds", "start_pip"):
        with pytest.raises(AttributeError):
            setattr(r, attribute, None)


def test_keywords_and_convertible_numbers():
    r = kinetra.SampledRecording(name="k", dimensions=("x",), samples=[[Index(1)]],
                                 bpm=Index(90), beat_zero_seconds=-2, start_pip=decimal.Decimal("7.9"))
    assert (r.bpm, r.beat_zero_seconds, r.start_pip) == (90.0, -2.0, 7)
    assert r.sample(7) == [1.0]


def test_negative_start_pip_and_no_wrapping():
    rows = [[i / 64] for i in range(64)]
    r = kinetra.SampledRecording("neg", ["x"], rows, 100.0, 1.5, -64)
    assert r.sample(-64) == [0.0]
    assert r.sample(-1) == [63 / 64]
    for outside in (0, -65, 2**31 - 1, -(2**31)):
        with pytest.raises(IndexError, match="^Pip outside non-looping recording$"):
            r.sample(outside)


def test_last_pip_of_the_pip_range():
    r = kinetra.SampledRecording("edge", ["x"], [[0.25]], 120.0, start_pip=2**31 - 2)
    assert r.sample(2**31 - 2) == [0.25]
    with pytest.raises(IndexError):
        r.sample(2**31 - 1)
    for start, rows in ((2**31 - 2, 2), (2**31 - 1, 1)):
        with value_error(SIZE):
            kinetra.SampledRecording("edge", ["x"], [[0.25]] * rows, 120.0, start_pip=start)


@pytest.mark.parametrize(
    "axis_count, rows",
    [
        (2048, 4096),  # exactly 8,388,608 values
        (3000, MAX_VALUES // 3000),  # the row limit rounds down
    ],
)
def test_value_limit_is_reached_exactly(axis_count, rows):
    row = (0.5,) * axis_count
    names = axes(axis_count)
    r = kinetra.SampledRecording("big", names, [row] * rows, 120.0)
    assert r.sample_count == rows and r.sample(rows - 1)[-1] == 0.5
    del r
    with value_error(SIZE):
        kinetra.SampledRecording("big", names, [row] * (rows + 1), 120.0)


@pytest.mark.parametrize("dimensions, samples", [([], [[]]), ([], []), (["x"], [])])
def test_no_axes_or_no_rows(dimensions, samples):
    with value_error(SIZE):
        kinetra.SampledRecording("empty", dimensions, samples, 120.0)


@pytest.mark.parametrize(
    "bpm, beat_zero",
    [
        (0.0, 0.0), (-0.0, 0.0), (-120.0, 0.0), (math.nan, 0.0), (math.inf, 0.0), (-math.inf, 0.0),
        (5e-324, 0.0),  # positive, but 60 / bpm overflows
        (120.0, math.nan), (120.0, math.inf), (120.0, -math.inf),
    ],
)
def test_tempo_and_origin_must_be_finite(bpm, beat_zero):
    with value_error(TEMPO):
        kinetra.SampledRecording("t", ["x"], [[0.0]], bpm, beat_zero)


@pytest.mark.parametrize("bpm, beat_zero", [(1e-300, -1e300), (1.7976931348623157e308, 0.0), (120, -0.0)])
def test_extreme_but_valid_tempo(bpm, beat_zero):
    r = kinetra.SampledRecording("t", ["x"], [[0.0]], bpm, beat_zero)
    assert (r.bpm, r.beat_zero_seconds) == (bpm, beat_zero)


@pytest.mark.parametrize(
    "rows, message",
    [
        ([[0.0, 0.0, 0.0]], "Ragged recording"),
        ([[0.0, 0.0], [0.0]], "Ragged recording"),
        ([[0.0, 0.0], [0.0, 0.0, 0.0]], "Ragged recording"),
        ([[0.0, 1.5]], "Invalid sample"),
        ([[0.0, 0.0], [-ABOVE_ONE, 0.0]], "Invalid sample"),
        ([[0.0, math.nan]], "Invalid sample"),
        ([[0.0, 0.0], [0.0, -math.inf]], "Invalid sample"),
        ([[math.inf, 0.0]], "Invalid sample"),
        ([[0.0, 2.0], [0.0]], "Invalid sample"),  # rows are read in order
        ([[0.0], [0.0, 2.0]], "Ragged recording"),
    ],
)
def test_rows(rows, message):
    with value_error(message):
        kinetra.SampledRecording("t", ["x", "y"], rows, 120.0)
    kinetra.SampledRecording("t", ["x", "y"], [[1.0, -1.0], [-0.0, 0.0]], 120.0)


@pytest.mark.parametrize(
    "args, message",
    [
        (("Bad", ["x"], [[0.0]], math.nan), "Invalid identifier"),
        (("t", ["x"], [], -1.0), TEMPO),
        (("t", ["X"], [], 120.0), SIZE),
        (("t", ["x", "x"], [[0.0, 0.0]] * 2, 120.0, 0.0, 2**31 - 2), SIZE),
        (("t", ["X", "x"], [[0.0]], 120.0), "Invalid identifier"),
        (("t", ["x", "x", "X"], [[0.0]], 120.0), "Duplicate axis"),
        (("t", ["x", "y", "x"], [[0.0]], 120.0), "Duplicate axis"),
        (("t", ["x", "y"], [[2.0, 0.0]], 120.0), "Invalid sample"),
    ],
)
def test_first_failing_check_wins(args, message):
    with value_error(message):
        kinetra.SampledRecording(*args)


@pytest.mark.parametrize(
    "args",
    [
        ("t", "xyz", [[0.0, 0.0, 0.0]], 120.0),  # a str is not a list of names
        ("t", ["x"], ["a"], 120.0),  # nor a row
        ("t", ["x"], [0.5], 120.0),
        ("t", ["x"], [[0.5]], "120"),
        ("t", ["x"], [[0.5]], None),
        ("t", ["x"], [[1j]], 120.0),
        ("t", ["x"], [[0.5]], 120.0, 0.0, 1.0),
        ("t", ["x"], [[0.5]], 120.0, 0.0, 2**31),
        ("t", [None], [[0.5]], 120.0),
        ("t", ["x"], {0: [0.5]}, 120.0),
        ("t", ["x"], [[10**400]], 120.0),
    ],
)
def test_arguments_that_do_not_convert_raise_type_error(args):
    with pytest.raises(TypeError):
        kinetra.SampledRecording(*args)


def test_iterables_are_consumed():
    r = kinetra.SampledRecording("gen", (d for d in "xy"), ((i / 4, 0.0) for i in range(4)), 60.0)
    assert r.dimensions == ["x", "y"] and r.sample(3) == [0.75, 0.0]
    r = kinetra.SampledRecording("zipped", {"x": 0}.keys(), zip([0.5, -0.5]), 60.0)
    assert r.sample(1) == [-0.5]


@pytest.mark.parametrize("pip, row", [(True, 1), (Index(1), 1), (0, 0)])
def test_sample_pip_accepts_integers_proper(pip, row):
    r = kinetra.SampledRecording("t", ["x"], [[0.0], [0.5]], 120.0)
    assert r.sample(pip) == [[0.0], [0.5]][row]
    assert r.sample(pip=pip) == [[0.0], [0.5]][row]


@pytest.mark.parametrize("pip", [1.0, IntOnly(0), decimal.Decimal(1), "1", None, 2**31])
def test_sample_pip_takes_no_conversion(pip):
    r = kinetra.SampledRecording("t", ["x"], [[0.0], [0.5]], 120.0)
    with pytest.raises(TypeError):
        r.sample(pip)
