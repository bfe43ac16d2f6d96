"""The pack table generator: its rule checks and shared primitives (no build)."""

import math
import os
import sys

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "packs"))

import generate  # noqa: E402
import invariants  # noqa: E402
import primitives  # noqa: E402
from pack import Pack  # noqa: E402

P = 256


def sine_rows(dimensions=2):
    rows = []
    for p in range(P):
        t = 2 * math.pi * p / P
        row = [round(0.5 * math.sin(t), 12), round(0.4 * math.cos(t), 12), round(0.3 * math.sin(2 * t), 12)]
        rows.append(tuple(v if v != 0 else 0.0 for v in row[:dimensions]) + (0.0,) * (3 - dimensions))
    return rows


def replaced(rows, p, axis, value):
    rows = list(rows)
    row = list(rows[p])
    row[axis] = value
    rows[p] = tuple(row)
    return rows


def rules(violations, name="probe"):
    assert all(v[0] == name for v in violations)
    return {v[1] for v in violations}


def test_a_sound_table_passes():
    assert invariants.check_table("probe", P, 2, sine_rows()) == []


@pytest.mark.parametrize("dimensions, rows, rule", [
    (2, sine_rows()[:-1], "row count"),
    (2, replaced(sine_rows(), 9, 0, math.nan), "finite"),
    (2, replaced(sine_rows(), 9, 1, 1.0000001), "range"),
    (2, replaced(sine_rows(), 9, 0, 0.1234567890123), "twelve decimals"),
    (2, replaced(sine_rows(), 9, 2, -0.0), "positive zero"),
    (1, sine_rows(), "axis use"),               # y moves in a one-axis pattern
    (2, sine_rows(3), "axis use"),              # z moves in a two-axis pattern
    (3, sine_rows(), "axis use"),               # z never moves in a three-axis pattern
    # A saw jumps from its last row back to row 0.
    (1, [(round(-0.5 + p / P, 12) or 0.0, 0.0, 0.0) for p in range(P)], "closure"),
])
def test_each_broken_rule_is_named(dimensions, rows, rule):
    assert rule in rules(invariants.check_table("probe", P, dimensions, rows))


def table_from_steps(steps):
    x = [0.0]
    for step in steps:
        x.append(x[-1] + step)
    return [(round(v, 12) or 0.0, 0.0, 0.0) for v in x]


@pytest.mark.parametrize("last_step, sound", [(0.002, True), (0.001, False)])
def test_closure_bounds_the_wrap_by_the_steps_beside_it(last_step, sound):
    # Slow steps of 0.001 beside the wrap and one fast step of 0.05 mid-loop.
    # Ending 0.001 short of row 0 closes smoothly; ending 0.002 short leaves a
    # wrap step below the fast one but twice the steps beside it.
    steps = [0.001] * 100 + [0.05] + [-0.001] * (P - 103) + [last_step]
    rows = table_from_steps(steps)
    wrap = abs(rows[-1][0] - rows[0][0])
    assert wrap == pytest.approx(0.001 if sound else 0.002)
    found = rules(invariants.check_table("probe", P, 1, rows))
    assert found == (set() if sound else {"closure"})


@pytest.mark.parametrize("name, period, dimensions, description, rule", [
    ("short", 256, 1, "x" * 43, "name"),
    ("Upper_case", 256, 1, "x" * 43, "name"),
    ("9starts_with_digit", 256, 1, "x" * 43, "name"),
    ("a" * 33, 256, 1, "x" * 43, "name"),
    ("mirel_background", 256, 1, "x" * 43, "name"),
    ("long_enough", 256, 1, "x" * 42, "description"),
    ("long_enough", 256, 1, "\u2014" * 79, "description"),  # 237 bytes
    ("long_enough", 256, 1, "x" * 43 + "\u00e9", "description"),
    ("long_enough", 240, 1, "x" * 43, "period"),
    ("long_enough", 1056, 1, "x" * 43, "period"),
    ("long_enough", 256, 4, "x" * 43, "dimensions"),
])
def test_record_rules(name, period, dimensions, description, rule):
    assert invariants.check_record("long_enough", 256, 1, "x" * 41 + "\u2013") == []
    assert rule in {v[1] for v in invariants.check_record(name, period, dimensions, description)}


def test_builtin_names_are_read_from_the_builtins_table():
    from rudiment_reference import BUILTINS

    assert invariants.BUILTIN_NAMES == set(BUILTINS)


def test_registry_build_reports_recipes_by_pattern_name():
    pack = Pack("probe")
    description = "A probe pattern used to exercise the generator's checks."

    @pack.pattern("probe_ok_tiny", 256, 1, description)
    def probe_ok_tiny(P):
        return (lambda p: -1e-13,)  # rounds to zero: stored as +0.0

    @pack.pattern("probe_jump", 256, 1, description)
    def probe_jump(P):
        return (lambda p: p / P - 0.5,)

    @pack.pattern("probe_fails", 256, 1, description)
    def probe_fails(P):
        return (lambda p: 1 / (p - 3),)

    @pack.pattern("probe_jump", 256, 2, description)
    def probe_short(P):
        return [0.0] * (P - 1), 0.5

    _, violations = generate.build(pack.patterns, [], chunks=2)
    found = {(name, rule) for name, rule, _ in violations}
    assert found == {("probe_jump", "closure"), ("probe_fails", "recipe"),
                     ("probe_jump", "unique name"), ("probe_jump", "row count")}
    table, _ = generate.build_table(pack.patterns[0])
    assert all(math.copysign(1.0, row[0]) > 0 for row in table.rows)


def test_name_index_is_bytewise_with_prefixes_first():
    names = ["meter_2_3_2_2", "meter_3_2", "meter_2_3", "meter_2_3_2", "Meter_9", "meter_2_30"]
    order = [names[i] for i in generate.name_index(names)]
    assert order == ["Meter_9", "meter_2_3", "meter_2_30", "meter_2_3_2", "meter_2_3_2_2", "meter_3_2"]


def test_summed_bumps_equal_adding_each_bump_in_turn():
    events = [(0, 0.8, 8), (254.5, -0.3, 12), (100 + 2 / 3, 0.41, 28 / 3), (101, 0.2, 16), (-0.1, 0.5, 16)]
    summed = primitives.bumps(P, *events)
    singles = [primitives.B(P, *e) for e in events]
    for p in range(P):
        total = 0.0
        for b in singles:
            total += b(p)
        assert summed(p) == total, p


def test_knot_curve_passes_through_fractional_knots_and_closes():
    values = [0.1, -0.4, 0.7, 0.2, -0.9]
    curve = primitives.knot_curve(1024, values)
    assert curve(0) == 0.1
    assert curve(1023) == pytest.approx(0.1, abs=1e-4)
    # Knot 2 lies at 409.6: the curve turns there without passing it.
    assert curve(409) < 0.7 and curve(410) < 0.7 and curve(410) == pytest.approx(0.7, abs=1e-3)


def test_keyframe_curve_dwells_between_equal_keys_and_rejoins_the_first():
    curve = primitives.KF(256, (0, -0.8), (32, 0.8), (128, 0.8), (160, -0.8))
    assert [curve(p) for p in (32, 64, 127)] == [0.8, 0.8, 0.8]
    assert curve(16) == 0.0 and curve(160) == -0.8 and curve(255) == -0.8


def test_cross_table_checks_run_over_the_built_tables():
    pack = Pack("probe")

    @pack.pattern("probe_wide", 256, 1, "A probe pattern used to exercise the generator's checks.")
    def probe_wide(P):
        return (lambda p: 0.75 * math.sin(2 * math.pi * p / P),)

    def at_most_half(extremes):
        return [(name, "reach", f"x reaches {e[0]}") for name, e in extremes.items() if e[0] > 0.5]

    sources, violations = generate.build(pack.patterns, [at_most_half], chunks=1)
    assert violations == [("probe_wide", "reach", "x reaches 0.75")]
    assert "table_probe_wide[256]" in sources[0]  # the table itself was sound


def test_beat_reach_check_names_the_motion_and_axis():
    from beats import grid, reach

    assert reach.check in generate.declared()[2]
    extremes = {grid.name(stem, motion): reach.REACH[motion]
                for stem in grid.STEMS for motion in grid.MOTIONS}
    assert reach.check(extremes) == []
    extremes["beat_disco_spring"] = (0.6703, 0.38, 0.6007)
    assert reach.check(extremes) == [
        ("beat_*_spring", "largest magnitude", "y reaches 0.38 (beat_disco_spring), not 0.372")]
    del extremes["beat_disco_spring"]  # a motion not fully built is not judged
    assert reach.check(extremes) == []


@pytest.mark.parametrize("name, extremes, violation", [
    (None, None, None),
    # Short by a gain solved to a few parts in 1e8: no record of 0.92.
    ("probe_y", (0.1, 0.91999997792, 0.1), "y reaches 0.91999997792, not 0.92"),
    ("probe_z", (0.1, 0.1, 0.920000000001), "z reaches 0.920000000001, not 0.92"),
    ("probe_x", (0.999999999999, 0.1, 0.1), "x reaches 0.999999999999, not 1.0"),
])
def test_registry_largest_magnitudes_are_checked_exactly(name, extremes, violation):
    assert invariants.check_registry_largest in generate.declared()[2]
    records = {"probe_x": (1.0, 0.1, 0.1), "probe_y": (0.1, 0.92, 0.1), "probe_z": (0.1, 0.1, 0.92),
               "probe_low": (0.3, 0.2, 0.1)}
    if name:
        records[name] = extremes
    expected = [] if violation is None else [(name, "registry largest magnitude", violation)]
    assert invariants.check_registry_largest(records) == expected


def test_reach_gains_land_exactly_on_their_figure():
    from beats import reach

    def largest(g):  # one stored record, base 0.1 plus g times a term of 0.8123456789
        return abs(primitives.round12(0.1 + g * 0.8123456789))

    g = reach.shortest_gain(largest, (0.92 - 0.1) / 0.8123456789, 0.92)
    assert largest(g) == 0.92
    assert largest(round(g, 7)) != 0.92  # seven places fall short: more were needed


@pytest.mark.parametrize("written, swing, times", [
    ("x... x... x... x...", 0, [0, 64, 128, 192]),
    ("x..x ..x. x..x xoxoxo", 0, [0, 48, 96, 128, 176,
                                  192, 192 + 32 / 3, 192 + 64 / 3, 224, 224 + 32 / 3, 224 + 64 / 3]),
    ("x.x.x.x.x.x.", 0, [256 * k / 6 for k in range(6)]),          # a bar evenly in twelve
    ("..X. ..XX .XX. ..X.", 3, [32, 96, 115, 147, 160, 224]),      # odd sixteenths come late
    ([(5, 0.5), (250.5, 1.0)], 0, [5, 250.5]),
])
def test_score_lanes_read_beat_by_beat(written, swing, times):
    from beats import notation

    events = notation.read_lane("hat", written, 256, swing)
    assert [e.time for e in events] == pytest.approx(times)


def test_score_lanes_repeat_and_refuse_unknown_marks():
    from beats import notation

    two_bars = notation.read_lane("kick", "X... .... .... ....", 512)
    assert [(e.time, e.level) for e in two_bars] == [(0.0, 1.0), (256.0, 1.0)]
    with pytest.raises(ValueError, match="unknown mark"):
        notation.read_lane("kick", "X... ..?. .... ....", 256)
    with pytest.raises(ValueError, match="do not fill"):
        notation.read_lane("kick", "X...|X...|X...", 512)


def test_pack_labels_follow_a_pattern_added_to_a_scratch_registry():
    from kinetra_tools.patterns import labelled

    def scratch(extra):
        alpha, beta = Pack("alpha"), Pack("beta")
        description = "A probe pattern used to exercise the generator's checks."
        names = ["alpha_one", "alpha_two"] + (["alpha_three"] if extra else [])
        for name in names:
            alpha.pattern(name, 256, 1, description)(lambda P: (0.0,))
        beta.pattern("beta_one", 256, 1, description)(lambda P: (0.0,))
        patterns = alpha.patterns + beta.patterns
        facts = {}
        exec(generate.emit_tools_facts(["alpha", "beta"], patterns), facts)
        entries = [{"name": n, "description": "", "period_pips": 64, "dimensions": 1}
                   for n in ["rudiment_a", "rudiment_b"] + [p.name for p in patterns]]
        return {p.name: p.pack for p in labelled(entries, facts["PACKS"])}

    for extra in (False, True):
        labels = scratch(extra)
        assert labels.pop("rudiment_a") == labels.pop("rudiment_b") == "builtin"
        assert labels == {name: name.split("_")[0] for name in labels}
