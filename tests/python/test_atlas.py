"""The atlas pack: reference values and figures that pin down each family's rule.

The table rules (twelve decimals, axis use, closure, range) are swept over
every pack pattern in test_packs.py; these tests catch a wrong rule instead:
a sign, an onset rule, an ordering, a scaling.
"""

import hashlib
import math
from functools import cache

import pytest

import kinetra
from pack_checks import read_table
from rudiment_reference import BUILTINS

# After the built-ins and the initial (28) and expansion (24) packs.
ATLAS = {e["name"]: e for e in kinetra.catalogue()[len(BUILTINS) + 28 + 24:][:256]}


@cache
def rows(name):
    return read_table(ATLAS[name])


def column(name, axis=0):
    return [row[axis] for row in rows(name)]


def peak(name):
    return max(abs(v) for row in rows(name) for v in row)


def family(*prefixes):
    return [name for name in ATLAS if name.startswith(prefixes)]


def test_atlas_runs_from_waves_to_gestures_at_catalogue_positions_67_to_322():
    catalogue = kinetra.catalogue()
    assert catalogue[67]["name"] == "wave_pinched"
    assert catalogue[322]["name"] == "gesture_diamond_depth"
    assert list(ATLAS)[:2] == ["wave_pinched", "wave_shouldered"]


@pytest.mark.parametrize("name, pip, expected", [
    ("euclid_2_5", 0, (0.75, -0.32, 0.0)),             # the phrase accent
    ("euclid_2_5", 96, (-0.5625, -0.24, 0.0)),         # onset 1 on step 3, on the left
    ("euclid_2_5", 24, (0.0, 0.0, 0.0)),               # a bump's edge is exactly zero
    ("euclid_7_12", 208, (0.0, -0.12, 0.0)),           # onsets on steps 6 and 7 overlap and add
    ("poly_2_5", 0, (0.0, -0.52, 0.22)),               # both lane accents
    ("poly_2_5", 256, (-0.403, -0.169, 0.0)),
    ("meter_2_3", 32, (0.0, -0.1134, 0.0504)),         # a subdivision
    ("meter_2_3", 64, (-0.72, -0.33, 0.0)),            # group 1 leans left
    ("meter_2_3", 224, (-0.72, -0.33, 0.0)),           # one period on: pip 64 + 160
    ("swing_push_3_4", 48, (0.075, -0.15, 0.09)),
    ("swing_skip_3_4", 128, (0.0, 0.0, 0.0)),
    ("swing_skip_3_4", 384, (0.0, 0.0, 0.0)),
    ("swing_shuffle_2_3", 192, (-0.4225, -0.156, 0.0)),  # beat 3 leans left
    ("swing_shuffle_3_4", 216, (0.0525, -0.105, 0.063)),  # pickup half-way to beat 3's offbeat
    ("swing_shuffle_3_4", 240, (0.325, -0.12, 0.0)),      # beat 3's offbeat leans right
    ("swing_answer_3_4", 112, (0.0, 0.0, 0.0)),           # no offbeats before beat 4
    ("swing_answer_3_4", 368, (0.325, -0.12, 0.0)),
    ("stick_study_01", 0, (0.74, -0.34, 0.0)),
    ("stick_study_01", 256, (-0.74, -0.34, 0.0)),       # the hand-swapped answer
    ("stick_study_01", 96, (0.407, -0.187, 0.0)),      # stroke 3: R, a tap
    ("stick_study_01", 352, (-0.407, -0.187, 0.0)),
    ("polar_rose_3", 0, (0.82, 0.0, 0.0)),
    ("polar_rose_3", 512, (0.0, 0.0, 0.0)),            # through the centre
    ("space_torus_3_5", 0, (0.82, 0.0, 0.0)),          # raw peak 0.78 scaled to 0.82
    ("env_lift_hold_drop", 64, (0.0, -0.8, 0.0)),
    ("env_anticipation", 64, (0.0, 0.35, 0.0)),
    ("seq_pendulum_even", 64, (0.82, 0.202939646201, 0.0)),
    ("seq_pendulum_lilt", 128, (0.0, 0.287, 0.0)),      # second pair starts at 2·512/8
    ("gesture_diamond_depth", 0, (0.0, -0.82, 0.0)),
    ("gesture_diamond_depth", 256, (0.0, 0.82, 0.0)),  # pose at unit 3 of 6
    ("gesture_box_return", 0, (-0.82, 0.683333333333, 0.0)),
    ("mech_elliptic_cam", 0, (0.0, 0.82, 0.0)),
    ("mech_escapement", 384, (-0.82, -0.371, 0.0)),
])
def test_reference_values(name, pip, expected):
    assert kinetra.sample(name, pip).as_tuple() == expected


@pytest.mark.parametrize("name, steps", [
    ("euclid_2_5", {0, 3}),
    ("euclid_5_13", {0, 3, 6, 8, 11}),
    ("euclid_7_12", {0, 2, 4, 6, 7, 9, 11}),
])
def test_euclidean_onsets_fall_on_their_steps(name, steps):
    y = column(name, 1)
    assert {p // 32 for p in range(0, len(y), 32) if y[p] in (-0.32, -0.24)} == steps


@pytest.mark.parametrize("prefixes, value", [
    (("wave_", "orbit_harmonic_", "weave_", "spiro_", "space_torus_", "mech_", "noise_drift_",
      "noise_depth_"), 0.82),
    (("euclid_",), 0.75), (("poly_",), 0.52), (("meter_",), 0.72), (("swing_",), 0.585),
    (("stick_study_",), 0.74),
])
def test_family_peaks(prefixes, value):
    assert {name: peak(name) for name in family(*prefixes)} == dict.fromkeys(family(*prefixes), value)


def test_envelope_peaks_holds_and_rests():
    special = {"env_plateau_scoop": 0.7, "env_suspended": 0.75, "env_anticipation": 0.82,
               "env_valley_peaks": 0.82}
    for name in family("env_"):
        assert peak(name) == special.get(name, 0.8), name
        assert column(name, 0) == [0.0] * 512, name
        assert rows(name)[0] == (0.0, 0.0, 0.0), name
    y = column("env_lift_hold_drop", 1)
    assert set(y[64:193]) == {-0.8} and set(y[320:]) == {0.0}


def test_weaves_store_their_largest_x_exactly_at_082():
    assert {max(column(name)) for name in family("weave_")} == {0.82}


def test_scallops_keep_off_the_centre_and_roses_cross_it():
    for name in family("polar_scallop_"):
        radii = [math.hypot(x, y) for x, y, _ in rows(name)]
        assert 0.34 - 1e-12 <= min(radii) and max(radii) <= 0.82 + 1e-12, name
    for name in family("polar_rose_"):
        assert min(math.hypot(x, y) for x, y, _ in rows(name)) < 0.01, name


def extremes(name, axis=0):
    v = column(name, axis)
    return v.index(max(v)), v.index(min(v))


@pytest.mark.parametrize("name, crest, trough", [
    ("wave_unequal_peaks", 59, 406),
    ("wave_soft_rectifier", 128, 0),
    ("wave_scoop_warp", 128, 384),
    ("wave_shelf_wave", 191, 447),
    ("wave_soft_teeth", 61, 317),
    ("wave_warped_fold", 33, 289),
    ("mech_offset_crank", 500, 231),
    ("mech_whitworth", 79, 433),
    ("mech_escapement", 128, 384),
    ("mech_cam_return", 76, 436),
])
def test_crests_and_troughs_fall_on_their_design_pips(name, crest, trough):
    assert extremes(name) == (crest, trough)


def test_composed_waves_keep_their_figures_and_harmonic_content():
    rectifier = column("wave_soft_rectifier")
    assert rectifier[128] == rectifier[384] == 0.82
    assert round(rectifier[0], 3) == round(rectifier[256], 3) == -0.767
    assert round(sum(rectifier) / 512, 3) == 0.126
    assert all(abs(rectifier[p] - rectifier[p + 256]) < 1e-11 for p in range(256))  # even only
    assert round(column("wave_scoop_warp")[0], 3) == 0.588
    assert round(max(column("wave_unequal_peaks")), 4) == 0.5985
    for name in ("wave_shelf_wave", "wave_soft_teeth", "wave_warped_fold"):  # odd only
        x = column(name)
        assert all(abs(x[p] + x[p + 256]) < 1e-11 for p in range(256)), name


def test_composed_mechanisms_keep_their_figures():
    assert round(min(column("mech_offset_crank")), 3) == -0.634
    assert round(max(column("mech_offset_crank", 1)), 4) == 0.2485
    assert rows("mech_whitworth")[0][1] == rows("mech_cam_return")[0][1] == 0.328
    cam = rows("mech_elliptic_cam")
    assert round(cam[128][1], 3) == round(cam[384][1], 3) == -0.351
    assert round(max(column("mech_elliptic_cam")), 3) == 0.703
    assert round(rows("mech_escapement")[6][1], 2) == 0.29
    beam = column("mech_rocking_beam", 1)
    assert (round(min(beam), 3), round(max(beam), 3)) == (-0.025, 0.424)
    assert round(max(column("mech_crank_rocker", 1)), 3) == 0.545
    assert rows("mech_crank_rocker")[0][2] == 0.123


def test_noise_orbits_stay_near_the_uniform_angle_and_in_their_ring():
    for name in family("noise_orbit_"):
        table = rows(name)
        assert table[0][1] == 0.0 and table[0][0] > 0, name
        for p, (x, y, _) in enumerate(table):
            assert 0.455 <= math.hypot(x, y) < 0.865, (name, p)
            lag = math.remainder(math.atan2(y, x) - 2 * math.pi * p / 1024, 2 * math.pi)
            assert abs(lag) <= 0.3, (name, p)


def test_noise_ripples_graze_the_centre_and_reach_out():
    for name in family("noise_ripple_"):
        radii = [math.hypot(x, y) for x, y, _ in rows(name)]
        assert (round(min(radii), 3), round(max(radii), 1)) == (0.005, 1.1), name
        assert peak(name) <= 0.82, name


def sha256_unit(text):
    n = int.from_bytes(hashlib.sha256(text.encode()).digest()[:8], "big")
    return n / 2**63 - 1


@pytest.mark.parametrize("name", ["noise_drift_5", "noise_depth_12"])
def test_noise_control_points_come_from_indexed_digests(name):
    # Row 0 is control point 0, scaled with the rest of the table.
    row = rows(name)[0]
    point = [sha256_unit(f"{name}:0:{axis}") for axis in "xyz"[:ATLAS[name]["dimensions"]]]
    scale = row[0] / point[0]
    assert scale > 0
    assert all(abs(v - scale * c) < 1e-11 for v, c in zip(row, point))
