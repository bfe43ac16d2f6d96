"""Property-based tests of arguments that change while they are read: a
number whose __float__ (or a pip whose __index__) empties, grows or rewrites
the very list being converted, or another argument of the same call. The
module must never crash, read freed memory or fail with SystemError; the call
either succeeds with a valid object or raises an ordinary exception."""

import pytest
from hypothesis import given
from hypothesis import strategies as st

import kinetra

pytestmark = pytest.mark.fuzz

ALLOWED = (TypeError, ValueError, IndexError, RuntimeError)


class Meddling:
    """A number that, when read, does something to a list first."""

    def __init__(self, value, action):
        self.value, self.action = value, action

    def __float__(self):
        self.action()
        return self.value

    def __index__(self):
        self.action()
        return int(self.value)


def action(draw, target):
    kind = draw(st.sampled_from(["clear", "grow", "shrink", "replace", "nothing"]))
    if kind == "clear":
        return target.clear
    if kind == "grow":
        extra = [[0.0, 0.0, 0.0]] * draw(st.integers(1, 2000))
        return lambda: target.extend(extra)
    if kind == "shrink":
        keep = draw(st.integers(0, 3))
        return lambda: target.__delitem__(slice(keep, None))
    if kind == "replace":
        return lambda: target.__setitem__(slice(None), [(0.5, 0.5, 0.5), "x", None])
    return lambda: None


@st.composite
def meddled_table(draw, width):
    """A list of rows (lists) where a few values meddle with their own row, the
    outer list or another row."""
    rows = [[draw(st.floats(-1, 1)) for _ in range(width)] for _ in range(draw(st.integers(1, 5)))]
    for _ in range(draw(st.integers(1, 3))):
        r = draw(st.integers(0, len(rows) - 1))
        c = draw(st.integers(0, width - 1))
        target = draw(st.sampled_from(["own row", "table", "other row"]))
        victim = {"own row": rows[r], "table": rows,
                  "other row": rows[draw(st.integers(0, len(rows) - 1))]}[target]
        rows[r][c] = Meddling(draw(st.floats(-1, 1)), action(draw, victim))
    if draw(st.booleans()):
        rows = [tuple(row) if draw(st.booleans()) else row for row in rows]
    return rows


def outcome(call):
    try:
        return call()
    except ALLOWED as error:
        return error


@given(meddled_table(3))
def test_pattern_rows_that_change_while_read(rows):
    made = outcome(lambda: kinetra.SampledPattern("p", "d", rows))
    if isinstance(made, kinetra.SampledPattern):
        for pip in range(made.period_pips):
            assert all(-1.0 <= v <= 1.0 for v in made.sample(pip).as_tuple())


@given(st.integers(1, 4).flatmap(meddled_table))
def test_recording_rows_that_change_while_read(rows):
    width = len(rows[0]) if rows and hasattr(rows[0], "__len__") else 1
    axes = [f"a{i}" for i in range(width)]
    made = outcome(lambda: kinetra.SampledRecording("r", axes, rows, 120.0))
    if isinstance(made, kinetra.SampledRecording):
        for k in range(made.sample_count):
            assert len(made.sample(k)) == width


@given(st.data())
def test_pips_that_change_while_read(data):
    pips = [data.draw(st.integers(-(2**31), 2**31 - 1)) for _ in range(data.draw(st.integers(1, 6)))]
    for _ in range(data.draw(st.integers(1, 3))):
        i = data.draw(st.integers(0, len(pips) - 1))
        pips[i] = Meddling(float(data.draw(st.integers(-100, 100))), action(data.draw, pips))
    made = outcome(lambda: kinetra.sample_many("helix", pips))
    if not isinstance(made, Exception):
        assert made.shape[1] == 3
        assert all(-1.0 <= v <= 1.0 for row in made.tolist() for v in row)
