"""Property-based tests of the lookups: the module-level sample, the fifteen
rudiment functions and PatternLibrary.sample, over any name and any pip, and
the batch lookups (sample_many of both) over any name, pips and out."""

import math

import pytest
from hypothesis import given
from hypothesis import strategies as st

import kinetra
from fuzz_model import (REFUSED, assert_fails, check_batch, first_failure, names, pip_batches,
                        pips, printable, rewriting, row_outs, same_row, wrap)

pytestmark = pytest.mark.fuzz

DEFAULTS = kinetra.catalogue()
DEFAULT_NAMES = [e["name"] for e in DEFAULTS]
BUILTINS = DEFAULT_NAMES[:15]
PERIODS = {e["name"].encode(): e["period_pips"] for e in DEFAULTS}

USER_ROWS = {
    b"user_loop": [(0.5, 0.0, 0.0), (0.0, -0.5, 0.0), (0.0, 0.0, 1.0)],
    b"bounce_twin": [(0.125, -0.0, 0.25)],
}
LIBRARY = kinetra.PatternLibrary(
    [kinetra.SampledPattern(name, "user", rows) for name, rows in USER_ROWS.items()])


def assert_default(result, raw, pip):
    """`result` is the default pattern `raw` at `pip`: it loops with the
    catalogue's period and stays within the unit cube."""
    name = raw.decode()
    period = PERIODS[raw]
    assert same_row(result, kinetra.sample(name, wrap(pip, period)).as_tuple())
    assert all(math.isfinite(v) and -1.0 <= v <= 1.0 for v in result.as_tuple())
    if name in BUILTINS:
        assert same_row(result, getattr(kinetra, name)(pip).as_tuple())


@given(names(known=DEFAULT_NAMES), pips(), st.data())
def test_sample_any_name_any_pip(name, pip, data):
    (name_obj, raw) = name
    pip_obj, value = rewriting(data.draw, name_obj, pip)
    call = lambda: kinetra.sample(name_obj, pip_obj)  # noqa: E731
    failure = first_failure(raw, value)
    if failure is not None:
        assert_fails(call, failure)
    elif raw not in PERIODS:
        assert_fails(call, ValueError, "Unknown kinetra: " + printable(raw))
    else:
        assert_default(call(), raw, value)


@given(st.sampled_from(BUILTINS), pips())
def test_rudiments_any_pip(name, pip):
    pip_obj, value = pip
    call = lambda: getattr(kinetra, name)(pip_obj)  # noqa: E731
    if value is REFUSED:
        assert_fails(call, REFUSED)
    else:
        assert_default(call(), name.encode(), value)


@given(names(known=DEFAULT_NAMES + [n.decode() for n in USER_ROWS]), pips(convert=False),
       st.data())
def test_library_sample_any_name_any_pip(name, pip, data):
    (name_obj, raw) = name
    pip_obj, value = rewriting(data.draw, name_obj, pip)
    call = lambda: LIBRARY.sample(name_obj, pip_obj)  # noqa: E731
    failure = first_failure(raw, value)
    if failure is not None:
        assert_fails(call, failure)
    elif raw in USER_ROWS:
        rows = USER_ROWS[raw]
        assert same_row(call(), rows[wrap(value, len(rows))])
    elif raw not in PERIODS:
        assert_fails(call, ValueError, "Unknown kinetra: " + printable(raw))
    else:
        assert_default(call(), raw, value)


# ---- batches ----------------------------------------------------------------------

def default_rows(raw):
    if raw not in PERIODS:
        return None
    name = raw.decode()
    return lambda pip: kinetra.sample(name, pip).as_tuple()


@given(names(known=DEFAULT_NAMES), pip_batches(), st.data())
def test_sample_many_any_name_any_pips_any_out(name, batch, data):
    (name_obj, raw) = name
    count = len(batch[1]) if isinstance(batch[1], list) else 2
    check_batch(kinetra.sample_many, name_obj, raw, batch, data.draw(row_outs(count)), data,
                default_rows)


def library_rows(raw):
    if raw in USER_ROWS:
        rows = USER_ROWS[raw]
        return lambda pip: rows[wrap(pip, len(rows))]
    return default_rows(raw)


@given(names(known=DEFAULT_NAMES + [n.decode() for n in USER_ROWS]), pip_batches(convert=False),
       st.data())
def test_library_sample_many_any_name_any_pips_any_out(name, batch, data):
    (name_obj, raw) = name
    count = len(batch[1]) if isinstance(batch[1], list) else 2
    check_batch(LIBRARY.sample_many, name_obj, raw, batch, data.draw(row_outs(count)), data,
                library_rows)
