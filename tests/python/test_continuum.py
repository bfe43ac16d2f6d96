"""The continuum pack: reference values and the fixed figures of each family."""

import cmath
import functools
import math

import pytest

import kinetra
from pack_checks import read_table

ENTRIES = {e["name"]: e for e in kinetra.catalogue()}
NAMES = [n for n in ENTRIES if n.split("_")[0] in {
    "ribbon", "contour", "silhouette", "spline", "tour", "scan", "reach", "surface", "braid",
    "arm", "dwell", "packet", "canon", "echo", "ladder", "necklace", "accent", "triplet",
    "dialogue", "burst"}]
SHAPES = NAMES[:192]
ZERO = (0.0, 0.0, 0.0)


@functools.cache
def rows(name):
    return read_table(ENTRIES[name])


def column(name, axis):
    return [r[axis] for r in rows(name)]


def harmonic(values, k):
    """The amplitude of harmonic k of one loop of values."""
    n = len(values)
    return abs(sum(v * cmath.exp(-2j * math.pi * k * p / n) for p, v in enumerate(values))) * 2 / n


def test_the_pack_holds_twenty_families_of_sixteen():
    assert len(NAMES) == 320
    families = {}
    for n in NAMES:
        families.setdefault(ENTRIES[n]["description"], []).append(n)
    assert sorted(len(v) for v in families.values()) == [16] * 20


@pytest.mark.parametrize("name, pip, expected", [
    ("ladder_2_3_4_6", 0, (-0.31, -0.12, 0.0)),
    ("ladder_2_3_4_6", 64, (0.1972, -0.102, 0.0)),
    ("ladder_2_3_4_6", 128, (0.29, -0.15, 0.0)),
    ("ladder_2_3_4_6", 256, (0.08, 0.05, 0.32)),
    ("ladder_2_3_4_6", 384, (0.06, -0.32, 0.12)),
    ("ladder_7_3_5_2", 0, (-0.31, -0.12, 0.0)),
    ("echo_regular_6", 64, (-0.213559, -0.082668, 0.0)),
    ("burst_3_5_2", 496, (-0.032, 0.24, -0.072)),
    ("necklace_01", 19, ZERO),
    ("canon_01_close", 0, (-0.246, -0.284, 0.066)),  # 0.9 left + 0.55 drop
    ("canon_01_close", 64, (-0.279, -0.108, 0.0)),
    ("canon_01_close", 256, (0.048, 0.03, 0.192)),
    ("canon_01_close", 448, (0.033, -0.176, 0.066)),
    ("dialogue_4_3_2", 0, (-0.31, -0.12, 0.0)),
    ("dialogue_4_3_2", 288, (-0.31, -0.12, 0.0)),  # period 288: pip 288 is pip 0
    ("dialogue_4_3_2", 128, (0.29, -0.15, 0.0)),
    ("dialogue_4_3_2", 272, (-0.018, 0.135, -0.0405)),  # the pickup before the wrap
    ("accent_walk_5_1", 0, (-0.2561, -0.09, 0.1536)),  # 0.95 left + 0.48 depth
    ("triplet_01_answer", 0, (-0.2945, -0.114, 0.0)),
    ("dwell_phrase_01", 0, (-0.761428571429, 0.292857142857, 0.0)),
    ("dwell_phrase_09", 0, (-0.66625, 0.25625, 0.0)),
])
def test_reference_values(name, pip, expected):
    assert kinetra.sample(name, pip).as_tuple() == expected


def test_fractional_events_fall_between_rows():
    # The answer at 21⅓ pips: row 21 is close to 0.7 × right but not equal.
    x21 = kinetra.sample("canon_01_close", 21).x
    assert 0.19 < x21 < 0.7 * 0.29
    # shrinking echo, n = 6: call pulses at 0, 32, 58⅔, 80, 96, 106⅔
    assert kinetra.sample("echo_shrinking_6", 80).as_tuple() == (
        round(0.83 ** 3 * 0.29, 12), round(0.83 ** 3 * -0.15, 12), 0.0)


@pytest.mark.parametrize("prefix, expected", [("tour_", (0.82, 0.0, 0.0)), ("reach_", ZERO)])
def test_tours_and_reaches_start_at_their_design_values(prefix, expected):
    for name in (n for n in NAMES if n.startswith(prefix)):
        assert rows(name)[0] == expected, name


def test_shapes_peak_at_082():
    for name in SHAPES:
        assert abs(max(abs(v) for r in rows(name) for v in r) - 0.82) <= 0.0005, name


@pytest.mark.parametrize("prefix, parities", [
    ("ribbon_", (1, -1, -1)), ("surface_", (1, -1, -1)), ("braid_", (None, -1, None)),
    ("silhouette_", (None, None, 1)), ("contour_shaped_1", (None, None, 1)),
])
def test_symmetry_in_time(prefix, parities):
    for name in (n for n in SHAPES if n.startswith(prefix)):
        t = rows(name)
        P = len(t)
        for axis, sign in enumerate(parities):
            if sign is not None:
                assert all(abs(t[p][axis] - sign * t[-p][axis]) < 1e-11 for p in range(P)), name


def test_ribbon_and_surface_start_at_their_x_peak():
    for name in (n for n in SHAPES if n.startswith(("ribbon_", "surface_"))):
        assert column(name, 0)[0] == 0.82 == max(column(name, 0)), name


def test_contour_depth_has_even_harmonics_only():
    for i in range(9, 17):
        z = column(f"contour_shaped_{i:02d}", 2)
        assert all(abs(z[p] - z[p + 512]) < 1e-12 for p in range(512))
        assert z.index(min(z)) == 256 and min(z) >= -0.15 and max(z) <= 0.10


@pytest.mark.parametrize("member, pqr, ab", [("01", (1, 2, 3), (0.20, 0.16)),
                                             ("12", (3, 7, 10), (0.26, 0.16))])
def test_silhouette_spectrum(member, pqr, ab):
    name = f"silhouette_harmonic_{member}"
    x, y, z = (column(name, a) for a in range(3))
    p, q, r = pqr
    a, b = ab
    unit = harmonic(x, p)
    assert [round(harmonic(x, k) / unit, 6) for k in (p, q, r)] == [1, a, b]
    assert [round(harmonic(y, k) / unit, 6) for k in (p, q, r)] == [0.65, b, a]
    assert [round(harmonic(z, k) / unit, 6) for k in (p + q - 1, p + q + 1)] == [0.06, 0.06]
    others = [harmonic(x, k) for k in range(0, 16) if k not in pqr]
    assert max(others) < 1e-9 and max(map(abs, z)) <= 0.081


def test_ribbon_depth_has_two_equal_lines():
    for a, b in ((1, 2), (3, 5)):
        z = column(f"ribbon_{a}_{b}_deep", 2)
        lines = [harmonic(z, k) for k in range(12)]
        low, high = lines[b + 1 - a], lines[b + 1 + a]
        assert abs(low - high) < 1e-9
        assert sorted(range(12), key=lines.__getitem__)[-2:] in ([b + 1 - a, b + 1 + a],
                                                                 [b + 1 + a, b + 1 - a])


@pytest.mark.parametrize("shared, source, axes", [
    ("spline_rising_kite", "spline_kite", (0, 1)),
    ("spline_twisted_bow", "spline_bow", (0, 1)),
    ("spline_folded_crown", "spline_crown", (0, 1)),
    ("scan_depth_4", "scan_flat_4", (0, 1)),
    ("reach_lift_5", "reach_scoop_5", (0, 1)),
    ("packet_depth_3", "packet_alternating_3", (0, 1)),
    ("packet_crossing_3", "packet_alternating_3", (0,)),
])
def test_shared_columns(shared, source, axes):
    for axis in axes:
        assert column(shared, axis) == column(source, axis)
    assert any(column(shared, 2)) or len(axes) == 1


def test_tour_heights():
    z = column("tour_14_3", 2)
    rests = [p for p in range(1024) if rows("tour_14_3")[p] == rows("tour_14_3")[p - 1]]
    assert sorted({z[p] for p in rests}) == [-0.188, -0.151, -0.084, 0.0, 0.084, 0.151, 0.188]
    assert all(max(map(abs, column(n, 2))) <= 0.191 for n in NAMES if n.startswith("tour_"))
    assert all(min(column(n, 0)) >= -0.625 and max(map(abs, column(n, 1))) <= 0.525
               for n in NAMES if n.startswith("tour_"))


@pytest.mark.parametrize("n, outer", [(3, 683), (4, 745), (5, 788), (6, 819)])
def test_scan_waypoints(n, outer):
    t = rows(f"scan_flat_{n}")
    assert all(abs(a - b) < 0.001 for a, b in zip(t[outer], (0.8036, 0.82, 0.0)))
    assert max(column(f"scan_flat_{n}", 1)) == 0.82
    unit = 1024 / (2 * n + 3)
    assert all(abs(a - b) < 0.001 for a, b in zip(t[round(unit)], (0.574, -0.574, 0.0)))
    assert t[0] == (-0.574, -0.574, 0.0)
    assert rows(f"scan_bowed_{n}")[0] == (-0.67, -0.656, 0.0)
    assert rows(f"scan_tilted_{n}")[0] == (-0.746, -0.459, 0.0)
    z = column(f"scan_depth_{n}", 2)
    assert z[0] == min(z) == -0.121 and 0.287 <= max(z) <= 0.310


def test_reaches_settle_at_the_centre():
    for name in (n for n in NAMES if n.startswith("reach_")):
        count = int(name[-1])
        for r in range(1, count):
            assert max(map(abs, rows(name)[round(1024 * r / count)])) <= 0.001, name
    for name, peak in (("reach_scoop_3", 150), ("reach_recoil_3", 114)):
        x = column(name, 0)[:341]
        assert x.index(max(x)) == peak
    assert max(column("reach_lift_7", 2)) == 0.393


def test_arm_hangs_within_its_reach():
    for name in (n for n in NAMES if n.startswith("arm_")):
        t = rows(name)
        reach = [math.hypot(*r) for r in t]
        y = column(name, 1)
        assert 0.765 <= min(reach) and max(reach) < 0.845, name
        assert -0.818 <= y[0] <= -0.809 and min(y) == -0.82 and max(y) <= 0.18, name
        assert 0.555 <= max(map(abs, column(name, 0))) <= 0.82, name
        assert max(map(abs, column(name, 2))) <= 0.177, name


def test_dwell_holds_are_exact():
    t = rows("dwell_phrase_01")
    home, a, b = t[0], (-0.351428571429, -0.761428571429, 0.234285714286), (
        0.82, 0.117142857143, -0.175714285714)
    assert set(t[103:205]) == {a} and t[102] != a and t[205] != a
    assert set(t[410:615]) == {b} and t[409] != b and t[615] != b
    assert set(t[922:]) == {home} and t[921] != home
    far = rows("dwell_phrase_09")
    assert (-0.3075, -0.66625, 0.205) in far and (0.76875, -0.3075, -0.46125) in far


@pytest.mark.parametrize("n", [2, 5])
def test_packets(n):
    slot = 512 / n
    for variant in ("alternating", "cascading"):
        x = column(f"packet_{variant}_{n}", 0)
        for k in range(n):
            part = [v for v in x[math.ceil(k * slot):math.ceil((k + 1) * slot)] if abs(v) > 1e-9]
            changes = sum(1 for u, v in zip(part, part[1:]) if u * v < 0)
            assert changes == (2, 4, 6)[k % 3]
            peak = 0.82 * (0.85 ** k if variant == "cascading" else 1)
            assert abs(max(map(abs, part)) - peak) < 0.0005


@pytest.mark.parametrize("n", [2, 3, 4, 5])
@pytest.mark.parametrize("variant", ["alternating", "cascading", "crossing", "depth"])
def test_packets_are_active_on_79_percent_and_rest_near_the_centre(variant, n):
    t = rows(f"packet_{variant}_{n}")
    slot = 512 / n
    far = [max(map(abs, r)) > 0.001 for r in t]
    for k in range(n):
        part = far[math.ceil(k * slot):math.ceil((k + 1) * slot)]
        first, last = part.index(True), len(part) - 1 - part[::-1].index(True)
        assert all(part[first:last + 1]), k  # one unbroken packet, rests either side
        assert round(100 * sum(part) / slot) == 79, k
    # The rest across the wrap: near the centre, but not on it.
    assert t[-1] == t[0] != ZERO and not far[0]


@pytest.mark.parametrize("name, rests", [
    ("necklace_05", [32 * s + 19 for s in range(16)]),
    ("ladder_2_5_3_7", [384 + round(128 * (j + 0.5) / 7) for j in range(7)]),
    ("burst_4_7_2", list(range(130, 150)) + list(range(440, 480))),
    ("dialogue_3_2_4_5", [48, 50, 52, 54, 72, 73, 74, 75]),  # eighths, then eighth and pickup
])
def test_rhythms_rest_exactly_between_pulses(name, rests):
    assert all(rows(name)[p] == ZERO for p in rests)
