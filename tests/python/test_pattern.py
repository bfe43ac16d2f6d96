import math

import pytest

import kinetra
from stand_ins import FloatOnly, Index, IntOnly, value_error

ABOVE_ONE = math.nextafter(1.0, 2.0)  # 1.0000000000000002
ZERO = (0.0, 0.0, 0.0)


# The identifier rule is shared by pattern names, recording names and axis names.
IDENTIFIERS = [
    ("a", True),
    ("a1_b2_c3", True),
    ("trailing_", True),
    ("z" * 128, True),
    (b"from_bytes", True),
    (bytearray(b"from_bytearray"), True),
    ("", False),
    ("z" * 129, False),
    ("1abc", False),
    ("_abc", False),
    ("Abc", False),
    ("abC", False),
    ("a-b", False),
    ("a b", False),
    ("a.b", False),
    ("café", False),
    (b"ab\xff", False),
]


@pytest.mark.parametrize("name, valid", IDENTIFIERS)
def test_identifier_rule(name, valid):
    uses = [
        (lambda: kinetra.SampledPattern(name, "d", [ZERO]), "Invalid pattern name"),
        (lambda: kinetra.SampledRecording(name, ["x"], [[0.0]], 120.0), "Invalid identifier"),
        (lambda: kinetra.SampledRecording("take", [name], [[0.0]], 120.0), "Invalid identifier"),
    ]
    for build, message in uses:
        if valid:
            build()
        else:
            with value_error(message):
                build()


def test_construction_reads_back():
    p = kinetra.SampledPattern(b"wave", bytearray(b"up and down"), [(0, 0.5, -1), ZERO])
    assert (p.name, p.description, p.period_pips) == ("wave", "up and down", 2)
    assert p.sample(0).as_tuple() == (0.0, 0.5, -1.0)
    q = kinetra.SampledPattern(name="still", description="", samples=[ZERO])
    assert (q.name, q.description, q.period_pips) == ("still", "", 1)
    for attribute in ("name", "description", "period_pips"):
        with pytest.raises(AttributeError):
            setattr(p, attribute, None)
    # Python sees dimensions only through a library's catalogue.
    assert not hasattr(p, "dimensions") and not hasattr(p, "info")


def test_description_is_free_text_but_read_back_as_utf8():
    p = kinetra.SampledPattern("raw", b"\xff not utf-8", [ZERO])
    with pytest.raises(UnicodeDecodeError):
        p.description
    assert p.name == "raw"


def test_sample_count_limits():
    row = (0.5, 0.0, 0.0)
    assert kinetra.SampledPattern("longest", "d", [row] * 65535).period_pips == 65535
    for rows in ([], [row] * 65536):
        with value_error("A pattern requires 1..65535 samples (one per pip)"):
            kinetra.SampledPattern("p", "d", rows)


@pytest.mark.parametrize("value", [1.0, -1.0, 0.0, -0.0])
def test_values_at_the_bounds_are_accepted(value):
    kinetra.SampledPattern("p", "d", [(value, value, value)] * 3)


@pytest.mark.parametrize("bad", [ABOVE_ONE, -ABOVE_ONE, math.nan, math.inf, -math.inf])
@pytest.mark.parametrize("where", ["first x", "first y", "last z"])
def test_values_out_of_range_or_not_finite_are_refused(bad, where):
    rows = [(0.5, 0.5, 0.5)] * 5
    if where == "last z":
        rows = rows[:-1] + [(1.0, -1.0, bad)]
    else:
        rows = [(bad, 0.0, 0.0) if where == "first x" else (0.0, bad, 0.0)] + rows
    with value_error("Pattern samples must be finite and within [-1, 1]"):
        kinetra.SampledPattern("p", "d", rows)


@pytest.mark.parametrize(
    "name, rows, message",
    [
        ("Bad", [], "Invalid pattern name"),
        ("Bad", [(math.nan, 0, 0)], "Invalid pattern name"),
        ("ok", [(math.nan, 0, 0)] * 65536, "A pattern requires 1..65535 samples (one per pip)"),
    ],
)
def test_first_failing_check_wins(name, rows, message):
    with value_error(message):
        kinetra.SampledPattern(name, "d", rows)


S = [(0.1, 0.0, 0.0), (0.2, 0.0, 0.0), (0.3, 0.0, 0.0), (0.4, 0.0, 0.0)]


@pytest.mark.parametrize(
    "pip, index",
    [(0, 0), (3, 3), (4, 0), (-1, 3), (-4, 0), (-5, 3), (2**31 - 1, 3), (-(2**31), 0)],
)
def test_sample_wraps_into_the_loop(pip, index):
    p = kinetra.SampledPattern("four", "d", S)
    assert p.sample(pip).as_tuple() == S[index]
    assert p.sample(pip_count=pip).as_tuple() == S[index]


@pytest.mark.parametrize("pip, index", [(True, 1), (Index(6), 2)])
def test_sample_accepts_integers_proper(pip, index):
    assert kinetra.SampledPattern("four", "d", S).sample(pip).as_tuple() == S[index]


@pytest.mark.parametrize("pip", [1.0, IntOnly(1), "1", None, 2**31, -(2**31) - 1])
def test_sample_refuses_anything_else(pip):
    with pytest.raises(TypeError):
        kinetra.SampledPattern("four", "d", S).sample(pip)


def test_rows_convert_from_any_sequence_of_three_numbers():
    rows = (r for r in [[1, 0, 0], (Index(0), FloatOnly(0.25), 0.5), kinetra.bounce(3).as_tuple()])
    p = kinetra.SampledPattern("mixed", "d", rows)
    assert p.period_pips == 3
    assert p.sample(1).as_tuple() == (0.0, 0.25, 0.5)
    assert p.sample(2).as_tuple() == kinetra.bounce(3).as_tuple()


@pytest.mark.parametrize(
    "samples",
    [
        [(0.0, 0.0)],
        [(0.0, 0.0, 0.0, 0.0)],
        [kinetra.bounce(0)],  # an Offset3 is not a row
        [ZERO, "abc"],
        "abc",
        [("0", 0.0, 0.0)],
        [(None, 0.0, 0.0)],
        [(1j, 0.0, 0.0)],
        ZERO,
        iter([ZERO]),  # a plain iterator is not a sequence
    ],
)
def test_rows_that_do_not_convert_raise_type_error(samples):
    with pytest.raises(TypeError):
        kinetra.SampledPattern("p", "d", samples)


@pytest.mark.parametrize("name", [None, 5, ["p"], "\ud800"])
def test_names_that_do_not_convert_raise_type_error(name):
    with pytest.raises(TypeError):
        kinetra.SampledPattern(name, "d", [ZERO])
