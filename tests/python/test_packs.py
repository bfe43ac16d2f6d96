"""The packs through kinetra.sample and kinetra.catalogue: registry runs and the rules of every
table, reference values of the initial and expansion packs, and figures that span packs."""

from collections import Counter

import pytest

import kinetra
from pack_checks import club_kicks, read_table, record_faults, table_faults
from rudiment_reference import BUILTINS

BUILTIN_COUNT = len(BUILTINS)
PACKS = {  # name: (first pattern, last pattern, size, periods, dimensions)
    "initial": ("lfo_breathe", "groove_b_grid", 28,
                {256: 22, 512: 6}, {1: 12, 2: 16}),
    "expansion": ("lfo_twin_swell", "rhythm_three_four_five", 24,
                  {256: 3, 448: 1, 512: 17, 1024: 3}, {1: 1, 2: 20, 3: 3}),
    "atlas": ("wave_pinched", "gesture_diamond_depth", 256,
              {160: 3, 224: 5, 288: 4, 320: 3, 352: 5, 384: 2, 416: 4, 448: 1, 480: 1, 512: 144,
               544: 1, 608: 1, 640: 1, 768: 1, 1024: 80}, {1: 16, 2: 168, 3: 72}),
    "continuum": ("ribbon_1_2_slim", "burst_5_6_2", 320,
                  {288: 1, 320: 1, 352: 1, 384: 2, 416: 2, 448: 4, 480: 4, 512: 129, 1024: 176},
                  {2: 68, 3: 252}),
    "club": ("beat_four_floor_bounce", "beat_amapiano_glide", 144,
             {256: 4, 512: 124, 768: 4, 1024: 12}, {2: 45, 3: 99}),
    "dancefloor": ("beat_four_floor_surge", "beat_dembow_push_ricochet", 944,
                   {256: 12, 512: 884, 768: 12, 1024: 36}, {2: 4, 3: 940}),
}


def pack_entries():
    return kinetra.catalogue()[BUILTIN_COUNT:]


def column(name, axis=0):
    entry = next(e for e in kinetra.catalogue() if e["name"] == name)
    return [row[axis] for row in read_table(entry)]


def test_packs_stand_in_registry_order_with_their_shapes():
    entries = pack_entries()
    start = 0
    for first, last, size, periods, dimensions in PACKS.values():
        run = entries[start:start + size]
        assert (run[0]["name"], run[-1]["name"]) == (first, last)
        assert Counter(e["period_pips"] for e in run) == periods
        assert Counter(e["dimensions"] for e in run) == dimensions
        start += size
    assert start == len(entries)


def test_groove_descriptions_carry_the_en_dash():
    grooves = {e["name"]: e["description"] for e in pack_entries() if e["name"].startswith("groove_")}
    assert grooves["groove_a_played"] == (
        "Two-bar funk excerpt A (4\u201312 source beats), performed microtiming.")
    assert grooves["groove_b_grid"] == (
        "Two-bar funk excerpt B (36\u201344 source beats), same hits quantised to sixteenths.")


@pytest.mark.parametrize("entry", pack_entries(), ids=lambda e: e["name"])
def test_every_pack_pattern_meets_the_table_rules(entry):
    assert record_faults(entry) == []
    assert table_faults(entry, read_table(entry)) == []


@pytest.mark.parametrize("name, pip, expected", [
    ("lfo_breathe", 64, (0.8, 0.0, 0.0)),
    ("lfo_breathe", 192, (-0.8, 0.0, 0.0)),
    ("lfo_breathe", -64, (-0.8, 0.0, 0.0)),
    ("lfo_breathe", 1, (0.019632982818, 0.0, 0.0)),
    # Fractional bump centres never reach their peak on a whole pip...
    ("rhythm_euclid_5_12", 107, (0.798477879237, -0.299429204714, 0.0)),
    ("rhythm_euclid_5_12", 106, (0.793923101205, -0.297721162952, 0.0)),
    # ...whole-pip centres do.
    ("rhythm_euclid_5_12", 64, (-0.8, -0.3, 0.0)),
    ("ease_elastic", 106, (0.8, 0.0, 0.0)),
    ("ease_elastic", 128, (0.0, 0.0, 0.0)),
    ("path_rose_5", 256, (0.0, 0.0, 0.0)),  # a tiny value rounded to +0.0
    ("lfo_seeded_drift", 0, (0.073681248811, 0.071011606311, 0.0)),
    ("rhythm_group_223", 448, (0.74, -0.4, 0.0)),
    ("rhythm_euclid_7_16", 256, (-0.76, -0.3, 0.0)),  # the second bar starts on the left
    ("rhythm_three_four_five", 0, (0.7, -0.7, 0.55)),
])
def test_reference_values(name, pip, expected):
    assert kinetra.sample(name, pip).as_tuple() == expected


@pytest.mark.parametrize("name, extreme, value, pip", [
    ("ease_anticipate", min, -0.779996614616, 54),
    ("ease_overshoot", max, 0.779996614616, 74),
    ("akwf_round_saw", min, -0.85, 232),
    ("akwf_round_saw", max, 0.588114864372, 48),
    ("akwf_quick_return", max, 0.85, 15),
    ("akwf_multi_lobe", max, 0.85, 11),
    ("akwf_plateau", max, 0.85, 174),
    ("groove_a_grid", max, 0.648818897638, 320),
])
def test_extremes_fall_at_their_design_pips(name, extreme, value, pip):
    x = column(name)
    assert extreme(x) == value
    assert x.index(value) == pip


@pytest.mark.parametrize("name", ["akwf_round_saw", "akwf_quick_return", "akwf_multi_lobe",
                                  "akwf_plateau"])
def test_waveforms_have_zero_mean_and_peak_magnitude_085(name):
    x = column(name)
    assert abs(sum(x)) < 1e-9
    assert max(abs(v) for v in x) == 0.85


def test_excerpt_b_tables_scale_to_a_largest_x_of_one():
    played, grid = column("groove_b_played"), column("groove_b_grid")
    assert max(played) == max(grid) == 1.0
    assert played != grid  # performed timing is not the grid


def test_ratchet_bump_at_zero_spills_over_the_wrap():
    moving = {p for p, row in enumerate(read_table({"name": "lfo_ratchet", "period_pips": 256}))
              if row != (0.0, 0.0, 0.0)}
    assert set(range(249, 256)) | set(range(0, 8)) <= moving
    assert moving.isdisjoint(range(56, 249))


def test_71_pack_tables_start_at_the_origin():
    starts = [e["name"] for e in pack_entries()
              if kinetra.sample(e["name"], 0).as_tuple() == (0.0, 0.0, 0.0)]
    assert len(starts) == 71, starts


def test_double_pump_moves_y_alone():
    y = column("lfo_double_pump", 1)
    assert all(x == 0.0 for x in column("lfo_double_pump", 0))
    assert min(y) == -0.85 and y.index(-0.85) == 32


# --- figures across the packs --------------------------------------------------------

def contour_faults():
    """Every contour_shaped_NN: x reaches 0.82 (the peak may fall between rows), y stays
    within +-0.60 and is 0 at pip 0."""
    faults = []
    for i in range(1, 17):
        name = f"contour_shaped_{i:02d}"
        x, y = column(name, 0), column(name, 1)
        if abs(max(x) - 0.82) > 0.0005:
            faults.append(f"{name}: largest x {max(x)}")
        if max(map(abs, y)) > 0.605 or y[0] != 0.0:
            faults.append(f"{name}: y from {min(y)} to {max(y)}, {y[0]} at pip 0")
    return faults


def house_classic_faults():
    """beat_house_classic_bounce is the kick-clap-offbeat hat score and nothing more: kicks
    lift y by 0.55, claps on 2 and 4 give side accents of +-0.243, every offbeat hat dips y by
    0.02 to 0.03, and nothing else lifts y above what the kicks give."""
    x, y = column("beat_house_classic_bounce", 0), column("beat_house_classic_bounce", 1)
    faults = [f"kick at {p}: y {y[p]}" for p in (0, 128, 256, 384) if y[p] != 0.55]
    faults += [f"clap at {p}: x {x[p]}" for p, side in zip((64, 192, 320, 448), (1, -1, 1, -1))
               if x[p] != side * 0.243]
    faults += [f"hat at {p}: y {y[p]}" for p in range(32, 512, 64) if not -0.03 <= y[p] <= -0.02]
    faults += [f"lift at {p}: y {y[p]}" for p in range(512)
               if y[p] > 0.55 * club_kicks(p, 512) + 1e-12]
    return faults


def registry_faults():
    """The largest magnitudes in the whole registry, as stored: 1.0 on x, 0.92 on y and z."""
    largest = [0.0, 0.0, 0.0]
    for entry in pack_entries():
        for row in read_table(entry):
            largest = [max(m, abs(v)) for m, v in zip(largest, row)]
    return [f"largest |{axis}| {m!r}, not {target}"
            for axis, m, target in zip("xyz", largest, (1.0, 0.92, 0.92)) if m != target]


@pytest.mark.parametrize("faults", [contour_faults, house_classic_faults, registry_faults],
                         ids=["contour_x_reaches_082", "house_classic_score", "registry_range"])
def test_figures_across_packs_hold(faults):
    assert faults() == []
