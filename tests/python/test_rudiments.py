import math
import struct

import pytest

import kinetra
from rudiment_reference import BACKGROUND, BUILTINS

NAMES = list(BUILTINS)


def bits(values):
    return struct.pack("<3d", *values)


@pytest.mark.parametrize("name", NAMES)
def test_builtin_matches_independent_evaluation_over_a_whole_period(name):
    period, _, _, reference = BUILTINS[name]
    function = getattr(kinetra, name)
    for pip in range(period):
        assert bits(function(pip).as_tuple()) == bits(reference(pip)), (name, pip)


@pytest.mark.parametrize("name", NAMES)
def test_builtin_loops_at_its_period_for_any_pip(name):
    period, _, _, _ = BUILTINS[name]
    function = getattr(kinetra, name)
    low, high = -(2**31), 2**31 - 1
    for pip in [0, 1, 17, period - 1, -1, -period, -5 * period - 3, 123456789,
                low, low + 1, high, high - 1]:
        expected = bits(function(pip).as_tuple())
        for other in (pip + period, pip - period):
            if low <= other <= high:
                assert bits(function(other).as_tuple()) == expected, (name, pip, other)


@pytest.mark.parametrize("name", NAMES)
def test_unused_axes_are_positive_zero(name):
    period, dimensions, _, _ = BUILTINS[name]
    function = getattr(kinetra, name)
    for pip in range(period):
        unused = function(pip).as_tuple()[dimensions:]
        assert all(math.copysign(1.0, v) == 1.0 and v == 0.0 for v in unused), (name, pip)


@pytest.mark.parametrize(
    "name, pip, expected",
    [
        ("bounce", 0, (-1.0, 0.0, 0.0)),
        ("bounce", 16, (0.0, 0.0, 0.0)),
        ("bounce", 32, (1.0, 0.0, 0.0)),
        ("bounce", -32, (1.0, 0.0, 0.0)),
        ("bounce", 63, (-0.9375, 0.0, 0.0)),
        ("circle", 16, (1.0, 0.0, 0.0)),
        ("helix", 0, (1.0, 0.0, 0.0)),
        ("step_touch", 16, (-0.5, -0.35, 0.0)),
        ("box_step", 0, (-1.0, -1.0, 0.0)),
        ("box_step", 32, (0.0, -1.0, 0.0)),
        ("box_step", 64, (1.0, -1.0, 0.0)),
        ("mirel_background", 0, (0.0, 0.0, 0.0)),
        ("mirel_background", 256, (0.0, 0.0, 0.0)),
        ("mirel_background", 23, (2 / 14, -0.1, 0.0)),
        ("mirel_background", 100, (-1.0, 0.8999999999999999, 0.0)),
        ("single_stroke_roll", 0, (0.0, 0.0, 0.0)),
        ("single_stroke_roll", 4, (0.92, -(0.72 * 0.92), 0.0)),
    ],
)
def test_reference_values(name, pip, expected):
    assert bits(getattr(kinetra, name)(pip).as_tuple()) == bits(expected)


def test_reference_values_that_are_not_round_numbers():
    x, y, _ = kinetra.circle(0).as_tuple()
    assert y == -1.0 and 0.0 < x < 1e-16  # cos(-pi/2) in doubles, not 0
    assert kinetra.helix(64).z == 1.0
    x, y, _ = kinetra.step_touch(32).as_tuple()
    assert x == 0.0 and y == 0.0 and math.copysign(1.0, y) == -1.0
    assert kinetra.single_stroke_roll(12).x == -0.92
    flam = kinetra.flam(7)
    grace = 0.34 * math.sin(0.7 * math.pi) ** 2
    primary = 0.9 * math.sin(2 / 14 * math.pi) ** 2
    assert flam.x == pytest.approx(primary - grace, abs=1e-15)
    assert flam.y == pytest.approx(-0.72 * (primary + grace), abs=1e-15)


def test_background_path_closes_and_stays_in_range():
    assert BACKGROUND[0] == (0.0, 0.0, 0.0)
    for pip in range(-256, 512):
        assert kinetra.mirel_background(pip).as_tuple() == BACKGROUND[pip % 256]


def test_stroke_rudiments_stay_within_the_clamp_without_touching_it():
    for name in NAMES[8:]:
        period = BUILTINS[name][0]
        xs = [getattr(kinetra, name)(p).x for p in range(period)]
        ys = [getattr(kinetra, name)(p).y for p in range(period)]
        assert max(abs(v) for v in xs) <= 1.0 and min(ys) >= -0.72
