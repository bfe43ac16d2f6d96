"""Property-based tests of the user classes: SampledPattern, PatternLibrary and
SampledRecording built from any arguments, then read back and sampled."""

import math

import pytest
from hypothesis import given
from hypothesis import strategies as st

import kinetra
from fuzz_model import (INT32_MIN, REFUSED, assert_fails, check_batch, check_pattern,
                        check_recording, first_failure, names, numbers, pattern_dimensions,
                        pip_batches, pips, row_outs, rows, same_float, same_row, sequence_of,
                        wrap)

pytestmark = pytest.mark.fuzz

DEFAULTS = kinetra.catalogue()
DEFAULT_BY_NAME = {e["name"]: e for e in DEFAULTS}

# Rows of a SampledPattern: exactly three numbers; anything else is refused.
NOT_A_ROW = [(None, REFUSED), (0.5, REFUSED), ("abc", REFUSED), (b"abc", REFUSED),
             (kinetra.bounce(0), REFUSED), (bytearray(b"\x00\x01\x00"), (0.0, 1.0, 0.0))]
pattern_rows = st.one_of(
    st.sampled_from([3] * 6 + [0, 1, 2, 4]).flatmap(lambda width: rows(width, exact=3)),
    st.sampled_from(NOT_A_ROW),
)


def decoded(raw):
    """The str a stored name or description reads back as, or the error."""
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return UnicodeDecodeError


def read(call):
    try:
        return call()
    except UnicodeDecodeError:
        return UnicodeDecodeError


@given(names(), names(), sequence_of(pattern_rows, limits=(65535, 65536)), pips(convert=False),
       st.data())
def test_sampled_pattern_from_any_arguments(name, description, samples, pip, data):
    (name_obj, name_raw), (text_obj, text_raw), (rows_obj, rows_in), (pip_obj, pip_value) = (
        name, description, samples, pip)
    call = lambda: kinetra.SampledPattern(name_obj, text_obj, rows_obj)  # noqa: E731
    failure = first_failure(name_raw, text_raw, rows_in)
    if failure is not None:
        assert_fails(call, failure)
        return
    message = check_pattern(name_raw, rows_in)
    if message is not None:
        assert_fails(call, ValueError, message)
        return
    pattern = call()
    period = len(rows_in)
    assert pattern.name == name_raw.decode("ascii")
    assert read(lambda: pattern.description) == decoded(text_raw)
    assert pattern.period_pips == period
    assert same_row(pattern.sample(0), rows_in[0])
    assert same_row(pattern.sample(-1), rows_in[-1])
    if pip_value is REFUSED:
        assert_fails(lambda: pattern.sample(pip_obj), REFUSED)
    else:
        assert same_row(pattern.sample(pip_obj), rows_in[wrap(pip_value, period)])
    batch = data.draw(pip_batches(convert=False), label="pips")
    out = data.draw(row_outs(len(batch[1]) if isinstance(batch[1], list) else 2), label="out")
    check_batch(lambda _, pips_obj, out_obj: pattern.sample_many(pips_obj, out_obj), None,
                name_raw, batch, out, data, lambda _: lambda p: rows_in[wrap(p, period)])
    if pattern.name not in DEFAULT_BY_NAME:
        entries = read(lambda: kinetra.PatternLibrary([pattern]).catalogue()[len(DEFAULTS):])
        if entries is not UnicodeDecodeError:
            assert entries == [{"name": pattern.name, "description": decoded(text_raw),
                                "period_pips": period,
                                "dimensions": pattern_dimensions(rows_in)}]
        else:
            assert decoded(text_raw) is UnicodeDecodeError


# ---- PatternLibrary -------------------------------------------------------------

class PatternSub(kinetra.SampledPattern):
    pass


def _default_rows(name):
    period = DEFAULT_BY_NAME[name]["period_pips"]
    return [kinetra.sample(name, pip).as_tuple() for pip in range(period)]


@st.composite
def library_members(draw):
    """One element of a PatternLibrary's input and what it stands for:
    (name, description, rows) of a valid pattern, or REFUSED."""
    kind = draw(st.sampled_from(["fresh"] * 4 + ["copy", "near_copy", "subclass", "junk"]))
    if kind == "junk":
        junk = draw(st.sampled_from(["none", "str", "offset", "uninitialised", "row"]))
        obj = {"none": None, "str": "user", "offset": kinetra.bounce(0), "row": (0.0, 0.0, 0.0),
               "uninitialised": kinetra.SampledPattern.__new__(kinetra.SampledPattern)}[junk]
        return obj, REFUSED
    if kind in ("copy", "near_copy"):
        name = draw(st.sampled_from(list(DEFAULT_BY_NAME)[:15] + list(DEFAULT_BY_NAME)[-3:]))
        description = DEFAULT_BY_NAME[name]["description"]
        samples = _default_rows(name)
        if kind == "near_copy":
            change = draw(st.sampled_from(["nudge", "description", "twice", "shorter"]))
            if change == "nudge":
                i = draw(st.integers(0, len(samples) - 1))
                x, y, z = samples[i]
                samples[i] = (math.nextafter(x, -x if x else 1.0), y, z)
            elif change == "description":
                description += draw(st.sampled_from([" ", ".", "\x00"]))
            elif change == "twice":
                samples = samples * 2
            elif len(samples) > 1:
                samples = samples[:-1]
            else:
                description = ""
        return kinetra.SampledPattern(name, description, samples), (name, description, samples)
    name = draw(st.sampled_from(["a", "b", "c", "d", "e", "f"]))
    samples = draw(st.lists(st.tuples(*[st.floats(-1, 1)] * 3), min_size=1, max_size=5))
    cls = PatternSub if kind == "subclass" else kinetra.SampledPattern
    return cls(name, "user", samples), (name, "user", samples)


_many = {}


def many_patterns(kind):
    """Cached inputs at the limits: 1,024 or 1,025 patterns, or 16 patterns
    of 65,535 samples followed by one that reaches or crosses 1,048,576."""
    if kind not in _many:
        if kind in (1024, 1025):
            members = [(f"p{i}", "d", [(0.5, 0.0, 0.0)]) for i in range(kind)]
        else:
            long_rows = [(0.25, 0.0, 0.0)] * 65535
            members = [(f"long{i}", "d", long_rows) for i in range(16)]
            members.append(("tail", "d", [(0.0, 0.5, 0.0)] * (kind - 16 * 65535)))
        _many[kind] = [(kinetra.SampledPattern(*m), m) for m in members]
    return _many[kind]


def library_outcome(members):
    """The patterns a library keeps, or the constructor's error message."""
    if len(members) > 1024:
        return "Too many patterns"
    seen, total, kept = set(), 0, []
    for name, description, samples in members:
        if name in seen:
            return f"Duplicate pattern name: {name}"
        seen.add(name)
        total += len(samples)
        if total > 1048576:
            return "Pattern pack is too large"
        default = DEFAULT_BY_NAME.get(name)
        if default is None:
            kept.append((name, description, samples))
            continue
        exact = (description == default["description"]
                 and len(samples) == default["period_pips"]
                 and all(tuple(row) == kinetra.sample(name, pip).as_tuple()
                         for pip, row in enumerate(samples)))
        if not exact:
            return f"Cannot override default pattern: {name}"
    return kept


@given(st.one_of(st.lists(library_members(), max_size=6),
                 st.sampled_from([1024, 1025, 1048576, 1048577]).map(many_patterns)),
       st.sampled_from(["list", "tuple", "generator"]), st.data())
def test_pattern_library_from_any_patterns(drawn, container, data):
    objs = [obj for obj, _ in drawn]
    members = [member for _, member in drawn]
    patterns = {"list": list, "tuple": tuple, "generator": lambda o: (p for p in o)}[container](objs)
    call = lambda: kinetra.PatternLibrary(patterns)  # noqa: E731
    if REFUSED in members:
        assert_fails(call, REFUSED)
        return
    outcome = library_outcome(members)
    if isinstance(outcome, str):
        assert_fails(call, ValueError, outcome)
        return
    library = call()
    entries = library.catalogue()
    assert entries[:len(DEFAULTS)] == DEFAULTS
    assert entries[len(DEFAULTS):] == [
        {"name": name, "description": description, "period_pips": len(samples),
         "dimensions": pattern_dimensions(samples)}
        for name, description, samples in outcome]
    pip = data.draw(st.integers(INT32_MIN, 2**31 - 1))
    for name, _, samples in outcome[:8]:
        assert same_row(library.sample(name, pip), samples[wrap(pip, len(samples))])
    for name, _, _ in members[:8]:
        if name in DEFAULT_BY_NAME:
            assert same_row(library.sample(name, pip), kinetra.sample(name, pip).as_tuple())


# ---- SampledRecording ---------------------------------------------------------------

axis_names = st.one_of(names(), st.sampled_from(["x", "y", "z", "w"]).map(lambda s: (s, s.encode())))


@given(names(), sequence_of(axis_names, max_size=4), numbers(), numbers(), pips(), st.data())
def test_sampled_recording_from_any_arguments(name, axes, bpm, origin, start, data):
    (name_obj, name_raw), (axes_obj, axes_in), (bpm_obj, bpm_in) = name, axes, bpm
    (origin_obj, origin_in), (start_obj, start_in) = origin, start
    width = len(axes_in) if isinstance(axes_in, list) else 2
    row_width = st.sampled_from([width] * 6 + [0, 1, width + 1])
    samples_obj, samples_in = data.draw(sequence_of(row_width.flatmap(rows)), label="samples")
    keywords = data.draw(st.sampled_from(["all", "positional", "defaults"]), label="form")
    if keywords == "defaults":
        call = lambda: kinetra.SampledRecording(  # noqa: E731
            name_obj, axes_obj, samples_obj, bpm_obj)
        origin_in, start_in = 0.0, 0
    elif keywords == "positional":
        call = lambda: kinetra.SampledRecording(  # noqa: E731
            name_obj, axes_obj, samples_obj, bpm_obj, origin_obj, start_obj)
    else:
        call = lambda: kinetra.SampledRecording(  # noqa: E731
            start_pip=start_obj, beat_zero_seconds=origin_obj, bpm=bpm_obj,
            samples=samples_obj, dimensions=axes_obj, name=name_obj)
    failure = first_failure(name_raw, axes_in, samples_in, bpm_in, origin_in, start_in)
    if failure is not None:
        assert_fails(call, failure)
        return
    message = check_recording(name_raw, axes_in, samples_in, bpm_in, origin_in, start_in)
    if message is not None:
        assert_fails(call, ValueError, message)
        return
    recording = call()
    assert recording.name == name_raw.decode("ascii")
    assert recording.dimensions == [axis.decode("ascii") for axis in axes_in]
    assert recording.sample_count == len(samples_in)
    assert same_float(recording.bpm, bpm_in)
    assert same_float(recording.beat_zero_seconds, origin_in)
    assert recording.start_pip == start_in
    last = start_in + len(samples_in) - 1
    pip_obj, pip = data.draw(st.one_of(
        pips(convert=False),
        st.sampled_from([start_in, last, start_in - 1, last + 1]).filter(
            lambda p: INT32_MIN <= p <= 2**31 - 1).map(lambda p: (p, p))), label="pip")
    if pip is REFUSED:
        assert_fails(lambda: recording.sample(pip_obj), REFUSED)
    elif start_in <= pip <= last:
        values = recording.sample(pip_obj)
        assert type(values) is list
        assert all(same_float(a, b) for a, b in zip(values, samples_in[pip - start_in], strict=True))
    else:
        assert_fails(lambda: recording.sample(pip_obj), IndexError,
                     "Pip outside non-looping recording")
