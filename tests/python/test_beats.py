"""The club and dancefloor beat packs: the grid, the bare-pulse responses,
the reference values of other stems and the reach of every motion."""

import math
from collections import Counter

import pytest

import kinetra
from pack_checks import club_kicks, read_table

BASIC = ("bounce", "step", "orbit", "glide")
FURTHER = ("surge", "recoil", "flutter", "dive", "pendulum", "figure8", "box", "corkscrew",
           "spiral", "slalom", "spring", "ricochet")
CLUB_STEMS = (
    "four_floor house_classic house_shuffle house_jack techno_drive techno_toms techno_broken "
    "techno_polymeter ukg_two_step ukg_skip ukg_four_four speed_garage bassline grime_sparse "
    "grime_syncopated grime_half drill_tresillo drill_displaced drill_rolls amen_four_bar "
    "amen_no_ghosts jungle_chops jungle_ghosts jungle_switch dnb_two_step dnb_rolling dnb_half "
    "dubstep_half dubstep_skip trap_trills electro trance rave_breaks dembow disco amapiano").split()
FURTHER_STEMS = (
    "jersey_five jersey_call footwork_triplet footwork_sparse funky_toms funky_syncopated "
    "broken_push broken_shuffle afro_bell afro_cross gqom_space gqom_exchange baile_toms "
    "baile_response reggae_one_drop reggae_steppers reggae_rockers son_clave_32 son_clave_23 "
    "psy_rolling psy_offbeat hard_reverse italo_machine electro_robot acid_percussion "
    "techno_rumble ukg_rim_shuffle dnb_push jungle_switchback amapiano_answer dancehall_space "
    "dembow_push").split()
XY_STEMS = set(
    "four_floor house_classic house_shuffle house_jack techno_drive techno_toms techno_broken "
    "techno_polymeter ukg_two_step ukg_skip ukg_four_four grime_sparse grime_syncopated "
    "jungle_chops jungle_ghosts jungle_switch dnb_two_step dnb_rolling electro rave_breaks dembow "
    "disco jersey_five baile_toms".split())
PERIODS = {"four_floor": 256, "techno_polymeter": 768, "amen_four_bar": 1024,
           "amen_no_ghosts": 1024, "jungle_switch": 1024}
DASH = "\u2014"

# Largest |x|, |y|, |z| of each motion over all 68 stems, to four decimals.
REACH = {
    "bounce": (0.2975, 0.6825, 0.068), "step": (0.7464, 0.3611, 0.1813),
    "orbit": (0.6198, 0.614, 0.216), "glide": (0.7, 0.4929, 0.4848),
    "surge": (0.2124, 0.3618, 0.6795), "recoil": (0.641, 0.3121, 0.2631),
    "flutter": (0.5413, 0.3497, 0.2938), "dive": (0.4884, 0.1867, 0.92),
    "pendulum": (0.5564, 0.2, 0.2636), "figure8": (0.6448, 0.4398, 0.204),
    "box": (0.52, 0.5013, 0.2905), "corkscrew": (0.5964, 0.5804, 0.6019),
    "spiral": (0.6842, 0.6409, 0.3366), "slalom": (0.6564, 0.41, 0.4031),
    "spring": (0.6703, 0.372, 0.6007), "ricochet": (0.8559, 0.92, 0.4772),
}


def beat_entries():
    return [e for e in kinetra.catalogue() if e["name"].startswith("beat_")]


def table(name):
    entry = next(e for e in kinetra.catalogue() if e["name"] == name)
    return read_table(entry)


def at(name, pip):
    return kinetra.sample(name, pip).as_tuple()


# --- the grid ---------------------------------------------------------------------------

def test_grid_order_periods_and_dimensions():
    entries = beat_entries()
    expected = ([(s, m) for s in CLUB_STEMS for m in BASIC]
                + [(s, m) for s in CLUB_STEMS for m in FURTHER]
                + [(s, m) for s in FURTHER_STEMS for m in BASIC + FURTHER])
    assert [e["name"] for e in entries] == [f"beat_{s}_{m}" for s, m in expected]
    names = [e["name"] for e in kinetra.catalogue()]
    first = names.index("beat_four_floor_bounce")
    assert names[first:first + len(expected)] == [e["name"] for e in entries]  # one run
    for e, (stem, motion) in zip(entries, expected):
        assert e["period_pips"] == PERIODS.get(stem, 512), e["name"]
        flat = (motion in ("bounce", "step") and stem in XY_STEMS
                or (stem, motion) == ("four_floor", "orbit"))
        assert e["dimensions"] == (2 if flat else 3), e["name"]


def test_description_rules():
    entries = beat_entries()
    club, dancefloor = entries[:144], entries[144:]
    described = {e["name"]: e["description"] for e in entries}
    assert described["beat_house_classic_bounce"] == f"House / kick-clap-offbeat hat {DASH} Kick-led bounce. "
    assert len(described["beat_house_classic_bounce"]) == 49
    assert described["beat_four_floor_surge"] == (
        f"Four to the floor / bare pulse {DASH} Forward surge. Kick thrust through depth with "
        "contrasting snare lift and hat detail.")
    assert described["beat_jersey_five_glide"] == (
        f"Jersey / five-kick foundation {DASH} Bass / phrase glide. Original Club 05 continuous "
        "phrase path with bass excursions.")
    assert described["beat_house_classic_surge"].endswith("hat detail.")
    assert described["beat_four_floor_bounce"] == (
        f"Four to the floor / bare pulse {DASH} Kick-led bounce. Equal quarter-note kicks only. "
        "This shared foundation is not itself a complete genre.")
    assert described["beat_drill_displaced_step"] == (
        f"UK drill / moving second-bar snare {DASH} Snare side-step. Snare: beat 3 in bar one, "
        "beat 4 in bar two. This is one common design, not a rule for all drill.")
    assert described["beat_amen_four_bar_glide"].startswith(
        f"Amen / four-bar structural study {DASH} Bass-and-phrase glide. Quorvandel")
    assert sum(e["description"].endswith(". ") for e in club) == 72
    assert not any(e["description"].endswith(" ") for e in dancefloor)
    assert all(e["description"].count(f" {DASH} ") == 1 for e in entries)
    heads = Counter(e["description"].split(f" {DASH} ")[0] for e in entries)
    assert len(heads) == 68 and set(heads.values()) == {16}


# --- four to the floor --------------------------------------------------------------------

def rounded(row):
    return tuple(0.0 if round(v, 12) == 0 else round(v, 12) for v in row)


def test_four_floor_bounce_step_and_orbit_exactly():
    K = [club_kicks(p) for p in range(256)]
    assert table("beat_four_floor_bounce") == [rounded((0.0, 0.55 * k, 0.0)) for k in K]
    side = [1, -1, 1, -1]
    step = [rounded((0.42 * side[((p + 7) % 256) // 64] * k, -0.22 * k, 0.0))
            for p, k in zip(range(256), K)]
    assert table("beat_four_floor_step") == step
    w = [0.3 + k for k in K]
    partial = [0.0]
    for v in w:  # plain left-to-right sums
        partial.append(partial[-1] + v)
    orbit = []
    for p in range(256):
        phi = partial[p] / partial[256]
        R = 0.43 + 0.15 * K[p]
        orbit.append(rounded((R * math.cos(2 * math.pi * phi), R * math.sin(2 * math.pi * phi), 0.0)))
    assert table("beat_four_floor_orbit") == orbit
    assert all(at("beat_four_floor_bounce", p) == (0.0, 0.0, 0.0) for p in range(30, 58))


@pytest.mark.parametrize("motion, pip, expected", [
    ("bounce", 64, (0.0, 0.55, 0.0)),
    ("step", 0, (0.42, -0.22, 0.0)),
    ("step", 64, (-0.42, -0.22, 0.0)),
    ("surge", 0, (0.153, -0.1535, 0.506)),
    ("surge", 64, (-0.153, -0.1535, 0.506)),
    ("recoil", 0, (0.143, 0.257, -0.072)),
    ("recoil", 64, (-0.143, 0.257, -0.072)),
    ("dive", 0, (0.341, -0.126, 0.066)),
    ("dive", 64, (-0.341, -0.126, 0.24)),
    ("spring", 0, (0.0, 0.0, 0.0)),
    ("spring", 64, (0.0, 0.0, 0.0)),
    ("spring", 5, (0.0, 0.061170371497, 0.324078663995)),
    ("spring", 69, (0.365895265801, -0.061170371497, 0.0)),
    ("spring", 133, (0.0, 0.061170371497, -0.324078663995)),
    ("spring", 197, (-0.365895265801, -0.061170371497, 0.0)),
    ("ricochet", 0, (0.54, -0.12, 0.126)),
    ("ricochet", 64, (0.0, 0.34, -0.03)),
    ("ricochet", 128, (-0.54, -0.12, 0.126)),
    ("ricochet", 192, (0.0, -0.58, -0.03)),
])
def test_four_floor_rows(motion, pip, expected):
    assert at(f"beat_four_floor_{motion}", pip) == expected


@pytest.mark.parametrize("motion, axis, pips, values", [
    ("flutter", 1, (0, 64, 128, 192), (0.203,) * 4),
    ("pendulum", 2, (0, 64, 128, 192), (0.192, -0.06, 0.192, -0.06)),
    ("figure8", 0, (64, 192), (0.63, -0.63)),
    ("figure8", 2, (0, 64, 128, 192), (0.064, -0.16, 0.064, -0.16)),
    ("box", 2, (0, 64, 128, 192), (0.138, 0.066, 0.138, 0.066)),
    ("slalom", 2, (0, 64, 128, 192), (0.346, -0.346, 0.346, -0.346)),
    ("glide", 1, (17, 81, 145, 209), (0.26, -0.26, 0.26, -0.26)),
])
def test_four_floor_values_at_the_kicks(motion, axis, pips, values):
    got = [at(f"beat_four_floor_{motion}", p)[axis] for p in pips]
    assert got == pytest.approx(values, abs=5e-5)


@pytest.mark.parametrize("motion, ranges", [  # (low, high) per axis, by design
    ("glide", ((-0.53, 0.392), (-0.26, 0.26), (-0.4, 0.264))),
    ("flutter", ((-0.359, 0.254), (0.0, 0.203), (-0.158, 0.195))),
    ("dive", ((-0.341, 0.341), (-0.126, 0.0), (-0.108, 0.24))),
    ("pendulum", ((-0.549, 0.434), (-0.193, 0.048), (-0.06, 0.192))),
    ("figure8", ((-0.63, 0.63), (-0.397, 0.397), (-0.16, 0.064))),
    ("box", ((-0.502, 0.502), (-0.48, 0.4), (0.0, 0.138))),
    ("corkscrew", ((-0.53, 0.53), (-0.473, 0.473), (-0.411, 0.436))),
    ("spiral", ((-0.67, 0.506), (-0.582, 0.5695), (-0.186, 0.295))),
    ("slalom", ((-0.636, 0.567), (-0.374, 0.26), (-0.346, 0.346))),
])
def test_four_floor_ranges(motion, ranges):
    rows = table(f"beat_four_floor_{motion}")
    for axis, (low, high) in enumerate(ranges):
        column = [r[axis] for r in rows]
        assert (min(column), max(column)) == pytest.approx((low, high), abs=5e-5), "xyz"[axis]


def test_glide_peaks_at_its_design_pip():
    y = [r[1] for r in table("beat_four_floor_glide")]
    halves = (range(128), range(128, 256))
    assert [max(h, key=y.__getitem__) for h in halves] == [17, 145]
    assert [min(h, key=y.__getitem__) for h in halves] == [81, 209]


def test_recoil_echoes_draw_back():
    x = [r[0] for r in table("beat_four_floor_recoil")]
    dip = min(x[1:57])  # before the next kick's rise
    assert round(dip, 4) == -0.0845 and x.index(dip) == 28
    assert x[86] > x[87] < x[88] and round(x[87], 4) == -0.1077  # 23 pips after the kick


def test_spring_rings_from_rest_and_settles():
    x = [r[0] for r in table("beat_four_floor_spring")][64:128]
    assert x[0] == 0.0 and max(x) == x[5] == 0.365895265801
    assert all(v == 0.0 for v in x[58:])
    crossings = [d for d in range(1, 57) if (x[d] > 0) != (x[d + 1] > 0)]
    assert crossings == [14, 28, 43]
    lobes = [min(x[15:29]), max(x[29:44]), min(x[44:58])]
    assert lobes == pytest.approx([-0.0709, 0.0102, -0.00067], abs=2e-4)


# --- reference values of other stems -----------------------------------------------------------

@pytest.mark.parametrize("name, axis, pips, values", [
    ("beat_house_classic_bounce", 0, (64, 192, 320, 448), (0.243, -0.243, 0.243, -0.243)),
    ("beat_ukg_two_step_bounce", 0, (64, 192, 320, 448), (0.243, -0.243, 0.243, -0.243)),
    ("beat_ukg_two_step_bounce", 1, (64, 192, 320, 448), (-0.198,) * 4),
    ("beat_drill_displaced_bounce", 0, (128, 448), (0.23, -0.23)),
    ("beat_son_clave_32_bounce", 0, (0, 96, 192, 320, 384), (0.068, -0.068, 0.068, -0.068, 0.068)),
    ("beat_son_clave_32_bounce", 2, (96, 224, 352, 480), (0.038, -0.038, 0.038, -0.038)),
    ("beat_ukg_two_step_step", 0, (0, 160, 256, 416), (0.42, -0.42, 0.42, -0.42)),
    ("beat_ukg_two_step_step", 0, (64, 192, 320, 448), (-0.288, 0.288, -0.288, 0.288)),
    ("beat_ukg_two_step_step", 1, (64, 192, 320, 448), (-0.126,) * 4),
    ("beat_ukg_two_step_step", 1, (32, 96, 288, 352), (0.04,) * 4),
    ("beat_ukg_two_step_step", 0, (115, 147, 371, 403), (0.025, -0.025, 0.025, -0.025)),
])
def test_stem_reference_values(name, axis, pips, values):
    assert tuple(at(name, p)[axis] for p in pips) == values


@pytest.mark.parametrize("stem, kicks", [  # every other hat shares its pip with a kick
    ("house_classic", ()), ("ukg_two_step", (160, 416)),
])
def test_offbeat_hats_dip_in_bounce(stem, kicks):
    y = [r[1] for r in table(f"beat_{stem}_bounce")]
    dips = {p: y[p] for p in range(32, 512, 64) if p not in kicks}
    assert all(-0.03 <= v <= -0.02 for v in dips.values()), dips


@pytest.mark.parametrize("stem, kicks", [
    ("house_classic", range(0, 512, 64)),
    ("ukg_two_step", (0, 160, 256, 416)),
    ("son_clave_32", range(0, 512, 64)),
    ("drill_displaced", (0, 224, 256, 368, 480)),
])
def test_bounce_lifts_at_its_kicks_only(stem, kicks):
    # Claps, snares and hats pull y down and bass lifts it by less than 0.1:
    # y rises above 0.3 once per kick, and each kick of the stem is above it.
    y = [r[1] for r in table(f"beat_{stem}_bounce")]
    assert all(y[p] > 0.3 for p in kicks)
    assert len([p for p in range(512) if y[p - 1] <= 0.3 < y[p]]) == len(kicks)


# --- reach -------------------------------------------------------------------------------------

@pytest.mark.parametrize("motion", list(REACH))
def test_largest_magnitudes(motion):
    largest = [0.0, 0.0, 0.0]
    for stem in CLUB_STEMS + FURTHER_STEMS:
        for row in table(f"beat_{stem}_{motion}"):
            largest = [max(m, abs(v)) for m, v in zip(largest, row)]
    assert tuple(round(m, 4) for m in largest) == REACH[motion]
