import pytest

import kinetra
from stand_ins import Index, IntOnly, value_error

ROW = (0.5, 0.0, 0.0)
ZERO = (0.0, 0.0, 0.0)


def pattern(name, count=1, row=ROW, description="d"):
    return kinetra.SampledPattern(name, description, [row] * count)


def bounce_rows():
    return [kinetra.bounce(p).as_tuple() for p in range(64)]


def bounce_copy(rows=None, description="One-beat vertical bounce"):
    return kinetra.SampledPattern("bounce", description, bounce_rows() if rows is None else rows)


@pytest.fixture(scope="module")
def full_input():
    """1,024 patterns of 1,024 samples: both limits reached exactly."""
    rows = [ROW] * 1024
    return [kinetra.SampledPattern(f"p{i}", "d", rows) for i in range(1024)]


def test_empty_library_is_the_defaults():
    defaults = kinetra.catalogue()
    for library in (kinetra.PatternLibrary(), kinetra.PatternLibrary([]),
                    kinetra.PatternLibrary(patterns=())):
        assert library.catalogue() == defaults
        for entry in (defaults[0], defaults[14], defaults[-1]):
            for pip in (0, -1, 1000):
                assert (library.sample(entry["name"], pip).as_tuple()
                        == kinetra.sample(entry["name"], pip).as_tuple())


def test_catalogue_lists_defaults_then_user_patterns_in_input_order():
    user = [
        pattern("moves_x", 3, (0.5, 0.0, -0.0)),
        kinetra.SampledPattern("moves_y", "", [ZERO, (0.9, -0.1, 0.0)]),
        kinetra.SampledPattern("z_then_y", "zy", [(0.0, 0.0, 0.1), (0.0, 0.7, 0.0)]),
        kinetra.SampledPattern("y_then_z", "yz", [(0.0, 0.7, 0.0), (0.0, 0.0, -1.0)]),
        kinetra.SampledPattern("all_zero", "0", [ZERO] * 5),
        kinetra.SampledPattern("negative_zero", "-0", [(0.0, -0.0, -0.0)]),
    ]
    library = kinetra.PatternLibrary(user)
    entries = library.catalogue()
    defaults = kinetra.catalogue()
    assert entries[: len(defaults)] == defaults
    assert entries[len(defaults):] == [
        {"name": "moves_x", "description": "d", "period_pips": 3, "dimensions": 1},
        {"name": "moves_y", "description": "", "period_pips": 2, "dimensions": 2},
        {"name": "z_then_y", "description": "zy", "period_pips": 2, "dimensions": 3},
        {"name": "y_then_z", "description": "yz", "period_pips": 2, "dimensions": 3},
        {"name": "all_zero", "description": "0", "period_pips": 5, "dimensions": 1},
        {"name": "negative_zero", "description": "-0", "period_pips": 1, "dimensions": 1},
    ]
    assert [list(e) for e in entries[-6:]] == [["name", "description", "period_pips", "dimensions"]] * 6
    assert library.catalogue() is not entries and library.catalogue() == entries


def test_sample_finds_own_patterns_first_and_wraps_in_their_period():
    rows = [(0.1, 0, 0), (0.2, 0, 0), (0.3, 0, 0)]
    library = kinetra.PatternLibrary([kinetra.SampledPattern("three", "d", rows)])
    assert library.sample("three", -1).as_tuple() == (0.3, 0.0, 0.0)
    assert library.sample(b"three", 4).as_tuple() == (0.2, 0.0, 0.0)
    assert library.sample(name=bytearray(b"three"), pip_count=Index(2)).as_tuple() == (0.3, 0.0, 0.0)
    assert library.sample("circle", 16).as_tuple() == kinetra.circle(16).as_tuple()
    for unknown in ("nope", "thre", "three ", "Three", ""):
        with value_error(f"Unknown kinetra: {unknown}"):
            library.sample(unknown, 0)


# Names a hash index must keep apart: prefixes of one another, one byte
# apart, the shortest and the longest allowed, and names that extend or cut
# short a default's name.
CLOSE_NAMES = ["a", "b", "ab", "abc", "abd", "abc_", "abc_d", "a" * 127, "a" * 128,
               "lfo_breath", "lfo_breathe_", "bounc", "bounce_", "show_cue_0001", "show_cue_0010",
               "show_cue_1000", "show_cue_0000"]


def test_close_names_each_find_their_own_pattern():
    rows = {name: (i / 32, 0.0, 0.0) for i, name in enumerate(CLOSE_NAMES)}
    library = kinetra.PatternLibrary([pattern(name, 1, row) for name, row in rows.items()])
    for name, row in rows.items():
        for given in (name, name.encode(), bytearray(name.encode())):
            assert library.sample(given, 5).as_tuple() == row
    for near in ("", "c", "aa", "ab_", "abe", "a" * 126, "a" * 129, "show_cue_0100", "abc\0"):
        with value_error(f"Unknown kinetra: {near}".replace("\0", r"\x00")):
            library.sample(near, 0)
    # The defaults beside them are untouched.
    assert library.sample("lfo_breathe", 64).as_tuple() == (0.8, 0.0, 0.0)
    assert library.sample("bounce", 5).as_tuple() == kinetra.bounce(5).as_tuple()


@pytest.mark.parametrize("pip", [1.0, IntOnly(2), None, 2**31])
def test_sample_pip_takes_no_conversion(pip):
    library = kinetra.PatternLibrary([pattern("one")])
    with pytest.raises(TypeError):
        library.sample("one", pip)


def test_patterns_are_copied_in():
    mine = pattern("mine", 2)
    given = [mine]
    library = kinetra.PatternLibrary(given)
    given.clear()
    del mine
    assert library.sample("mine", 1).as_tuple() == ROW
    # The caller's objects stay whole and usable, also for a second library.
    again = pattern("again", 2)
    first = kinetra.PatternLibrary([again])
    second = kinetra.PatternLibrary((p for p in [again]))
    assert again.period_pips == 2 and again.sample(1).as_tuple() == ROW
    assert first.catalogue() == second.catalogue()


@pytest.mark.parametrize("patterns", [[pattern("p"), "q"], [ROW], "abc", pattern("p"), [None]])
def test_elements_that_are_not_patterns_raise_type_error(patterns):
    with pytest.raises(TypeError):
        kinetra.PatternLibrary(patterns)


def test_size_limits_are_reached_exactly(full_input):
    library = kinetra.PatternLibrary(full_input)
    assert library.catalogue()[-1]["name"] == "p1023"
    for name in ("p0", "p511", "p1023"):
        assert library.sample(name, -1).as_tuple() == ROW
    with value_error("Unknown kinetra: p1024"):
        library.sample("p1024", 0)


def test_too_many_patterns_is_refused_before_any_is_examined():
    # Duplicates and an override would fail later rules; the count wins.
    with value_error("Too many patterns"):
        kinetra.PatternLibrary([bounce_copy([ROW])] + [pattern("same")] * 1024)


LIMIT = 1024 * 1024


@pytest.mark.parametrize(
    "crossing_name, tail",
    [
        ("crossing", []),
        # The total is checked before the name is compared with the defaults,
        ("bounce", []),
        # and the crossing pattern fails first, whatever follows it.
        ("crossing", [pattern("p0"), bounce_copy([ROW])]),
    ],
)
def test_total_sample_limit_fails_at_the_crossing_pattern(full_input, crossing_name, tail):
    head = full_input[: 1023 - len(tail)]
    crossing = pattern(crossing_name, LIMIT + 1 - 1024 * len(head))
    with value_error("Pattern pack is too large"):
        kinetra.PatternLibrary(head + [crossing] + tail)


def test_dropped_copies_of_defaults_count_towards_the_total(full_input):
    head = [bounce_copy()] + full_input[:1022]
    rest = LIMIT - 64 - 1022 * 1024
    library = kinetra.PatternLibrary(head + [pattern("rest", rest)])
    assert len(library.catalogue()) == len(kinetra.catalogue()) + 1023
    with value_error("Pattern pack is too large"):
        kinetra.PatternLibrary(head + [pattern("rest", rest + 1)])


@pytest.mark.parametrize(
    "patterns, name",
    [
        ([pattern("wave"), pattern("other"), pattern("wave", 2)], "wave"),
        # Reported even when both are exact copies of a default and the first was dropped.
        ([bounce_copy(), bounce_copy()], "bounce"),
        ([pattern("wave"), bounce_copy(), pattern("wave")], "wave"),
    ],
)
def test_duplicate_names_are_refused(patterns, name):
    with value_error(f"Duplicate pattern name: {name}"):
        kinetra.PatternLibrary(patterns)


def test_duplicate_is_reported_before_the_total():
    big = [ROW] * 65535
    patterns = [kinetra.SampledPattern(f"b{i}", "d", big) for i in range(16)]
    with value_error("Duplicate pattern name: b0"):
        kinetra.PatternLibrary(patterns + [pattern("b0", 17)])
    with value_error("Pattern pack is too large"):
        kinetra.PatternLibrary(patterns + [pattern("b16", 17)])


def test_an_exact_copy_of_a_default_is_accepted_and_left_out():
    rows = [(x, -0.0, -0.0) for x, _, _ in bounce_rows()]  # -0.0 equals 0.0
    after = (0.0, 0.25, 0.0)
    library = kinetra.PatternLibrary(
        [pattern("before"), bounce_copy(rows), pattern("after", 2, after)])
    entries = library.catalogue()
    defaults = kinetra.catalogue()
    assert entries[: len(defaults)] == defaults
    assert [e["name"] for e in entries[len(defaults):]] == ["before", "after"]
    assert [e["name"] for e in entries].count("bounce") == 1
    assert library.sample("bounce", 70).as_tuple() == kinetra.bounce(70).as_tuple()
    # The patterns after the dropped copy moved up a place; each is still found.
    assert library.sample("before", 0).as_tuple() == ROW
    assert library.sample("after", 3).as_tuple() == after


def one_sample_changed():
    rows = bounce_rows()
    x, y, z = rows[63]
    rows[63] = (x, y, 0.5)
    return rows


@pytest.mark.parametrize(
    "impostor",
    [
        lambda: bounce_copy(one_sample_changed()),
        lambda: bounce_copy(description="One-beat vertical bounce "),
        lambda: bounce_copy(bounce_rows() * 2),  # the loop twice: period mismatch
        lambda: bounce_copy(bounce_rows()[:63]),
        lambda: bounce_copy([ROW]),
    ],
)
def test_anything_but_an_exact_copy_cannot_override_a_default(impostor):
    with value_error("Cannot override default pattern: bounce"):
        kinetra.PatternLibrary([pattern("mine"), impostor()])


def test_pack_names_are_defaults_too():
    last = kinetra.catalogue()[-1]
    with value_error(f"Cannot override default pattern: {last['name']}"):
        kinetra.PatternLibrary([pattern(last["name"], last["period_pips"], ZERO)])
