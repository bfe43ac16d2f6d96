"""Reach family: n reaches of 1024/n pips, each leaving the centre and
settling back there.

Within a reach, s runs from 0 to 1. The outward distance follows a skewed
bump s^α (1 - s)^β scaled to a peak of 1 at s = α/(α + β); the side offset
follows a second bump of its own timing. The first reach of every member
points along +x, so its x peak falls where the outward bump peaks: at
150/341⅓ of the reach for the scoop (pip 150 when n = 3) and at a third of
it for the quicker recoil (pip 114).
"""

from math import cos, sin

from continuum.shaping import columns, fit, fit_one

REACH_DESCRIPTION = ("Separate shaped reaches depart from and settle at a shared centre, "
                     "without reset jumps.")
SCOOP_PEAK = 150 * 3 / 1024
LIFT_PEAK = 0.393

# Per n: the direction (radians from +x) and length of each reach after the
# first, which points along +x at full length.
REACH_PLANS = {
    3: ((2.3, 0.86), (4.1, 0.94)),
    4: ((1.7, 0.78), (3.3, 0.96), (4.6, 0.7)),
    5: ((2.6, 0.9), (1.2, 0.72), (4.0, 0.98), (5.3, 0.8)),
    7: ((1.1, 0.75), (3.0, 0.92), (4.5, 0.84), (2.1, 0.7), (5.4, 0.95), (3.8, 0.8)),
}


def skew_bump(alpha, beta):
    """s^α (1 - s)^β scaled to peak 1 (at s = α/(α + β))."""
    m = alpha / (alpha + beta)
    top = m ** alpha * (1 - m) ** beta
    return lambda s: s ** alpha * (1 - s) ** beta / top


SCOOP_OUT = skew_bump(4.0, 4.0 * (1 - SCOOP_PEAK) / SCOOP_PEAK)
SCOOP_SIDE = skew_bump(3.0, 3.0)          # the dip beneath the line of reach
HOOK_OUT = skew_bump(3.0, 4.5)
HOOK_SIDE = skew_bump(6.0, 2.5)           # the turn comes late, on the way home
RECOIL_OUT = skew_bump(3.0, 6.0)
RECOIL_BACK = skew_bump(12.0, 3.0)        # the late kick back through the centre
RECOIL_SIDE = skew_bump(4.0, 5.0)
LIFT_UP = skew_bump(3.5, 4.0)

SHAPES = {
    # variant: (outward(s), side(s)) with the side offset's sign flipping per reach
    "scoop": (SCOOP_OUT, lambda s: -0.32 * SCOOP_SIDE(s)),
    "hook": (HOOK_OUT, lambda s: 0.55 * HOOK_SIDE(s)),
    "recoil": (lambda s: RECOIL_OUT(s) - 0.3 * RECOIL_BACK(s), lambda s: 0.2 * RECOIL_SIDE(s)),
}


def reach_xy(n, variant):
    out, side = SHAPES[variant]
    plan = ((0.0, 1.0),) + REACH_PLANS[n]

    def at(p):
        u = p * n / 1024
        r = min(int(u), n - 1)
        s = u - r
        direction, length = plan[r]
        sign = 1 if r % 2 == 0 else -1
        d = length * out(s)
        o = sign * length * side(s)
        c, sn = cos(direction), sin(direction)
        return d * c - o * sn, d * sn + o * c

    return (lambda p: at(p)[0]), (lambda p: at(p)[1])


def reach(n, variant):
    def recipe(P):
        if variant != "lift":
            return tuple(fit(columns(P, *reach_xy(n, variant))))
        x, y = fit(columns(P, *reach_xy(n, "scoop")))
        heights = (0.55, 1.0, 0.7, 0.85, 0.6, 0.95, 0.75)

        def z(p):
            u = p * n / 1024
            r = min(int(u), n - 1)
            return heights[r] * LIFT_UP(u - r)

        return x, y, fit_one(columns(P, z)[0], LIFT_PEAK)
    return recipe
