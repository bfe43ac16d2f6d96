"""Property-based tests of the lookups: the module-level sample, the built-in
rudiment functions and PatternLibrary.sample, over any name and any pip, and
the batch lookups (sample_many of both) over any name, pips and out."""

import math

import pytest
from hypothesis import given
from hypothesis import strategies as st

import kinetra
import rudiment_reference
from fuzz_model import (REFUSED, assert_fails, check_batch, first_failure, names, pip_batches,
                        pips, printable, rewriting, row_outs, same_row, wrap)

pytestmark = pytest.mark.fuzz

DEFAULTS = kinetra.catalogue()
DEFAULT_NAMES = [e["name"] for e in DEFAULTS]
BUILTINS = list(rudiment_reference.BUILTINS)
PERIODS = {e["name"].encode(): e["period_pips"] for e in DEFAULTS}

USER_ROWS = {
    b"user_loop": [(0.5, 0.0, 0.0), (0.0, -0.5, 0.0), (0.0, 0.0, 1.0)],
    b"bounce_twin": [(0.125, -0.0, 0.25)],
}
# Names the library's index must keep apart from each other and from the
# defaults: prefixes of one another, one byte apart, the shortest and longest
# allowed, cut-short and extended default names, and a run of names alike but
# for a few digits, enough to crowd the index.
CLOSE_NAMES = [b"a", b"b", b"a" * 127, b"a" * 128, b"cue", b"cue_1", b"cue_12", b"cue_13",
               b"cue_123", b"lfo_breath", b"lfo_breathe_", b"meter_2_3_2_2_2", b"flam_",
               b"beat_four_floor_bounc"] + [b"show_cue_%04d" % i for i in range(300)]
USER_ROWS.update((name, [(i / 512, 0.25, -0.5), (0.0, i / 512, 0.0)])
                 for i, name in enumerate(CLOSE_NAMES))
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


def default_rows(raw):
    """The row of the default pattern `raw` at a pip, or None for no default."""
    if raw not in PERIODS:
        return None
    name, period = raw.decode(), PERIODS[raw]
    return lambda pip: kinetra.sample(name, wrap(pip, period)).as_tuple()


def library_rows(raw):
    if raw in USER_ROWS:
        rows = USER_ROWS[raw]
        return lambda pip: rows[wrap(pip, len(rows))]
    return default_rows(raw)


# The two lookups by name: (per-call sample, batch sample, the names worth
# drawing near-copies of, whether the pip converts, the rows of a name).
LOOKUPS = {
    "module": (kinetra.sample, kinetra.sample_many, DEFAULT_NAMES, True, default_rows),
    "library": (LIBRARY.sample, LIBRARY.sample_many,
                DEFAULT_NAMES + [n.decode() for n in USER_ROWS], False, library_rows),
}


@pytest.mark.parametrize("lookup", LOOKUPS)
@given(data=st.data())
def test_sample_any_name_any_pip(lookup, data):
    sample, _, known, convert, rows_of = LOOKUPS[lookup]
    name_obj, raw = data.draw(names(known=known), label="name")
    pip_obj, value = rewriting(data.draw, name_obj, data.draw(pips(convert), label="pip"))
    call = lambda: sample(name_obj, pip_obj)  # noqa: E731
    failure = first_failure(raw, value)
    if failure is not None:
        assert_fails(call, failure)
    elif rows_of(raw) is None:
        assert_fails(call, ValueError, "Unknown kinetra: " + printable(raw))
    elif raw in USER_ROWS and lookup == "library":
        assert same_row(call(), rows_of(raw)(value))
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


@pytest.mark.parametrize("lookup", LOOKUPS)
@given(data=st.data())
def test_sample_many_any_name_any_pips_any_out(lookup, data):
    _, sample_many, known, convert, rows_of = LOOKUPS[lookup]
    name_obj, raw = data.draw(names(known=known), label="name")
    batch = data.draw(pip_batches(convert), label="pips")
    count = len(batch[1]) if isinstance(batch[1], list) else 2
    check_batch(sample_many, name_obj, raw, batch, data.draw(row_outs(count), label="out"), data,
                rows_of)
