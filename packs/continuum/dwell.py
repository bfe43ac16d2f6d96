"""Dwell family: home, two hold poses A and B, and exact holds.

The loop is m equal units. In order: move home -> A, hold A, transfer
A -> B, hold B, return B -> home, hold home for the last unit. Each move
eases along the straight line between its poses (quintic, at rest at both
ends) and bows aside by its own arc vector, 64 (s(1-s))^3 of it at time
share s, which vanishes with its slope and curvature at the poses. Holds
store the pose itself, so every row of a hold is the same.

Members 01-08 scale their poses by 0.82/1.4 (B has x = 1.4). Members 09-16
share the factor 0.5125 = 0.82/1.6: their transfer overshoots B to x = 1.6
before settling, which sets the largest coordinate of every path.
"""

from primitives import S5
from continuum.shaping import bisect

DWELL_DESCRIPTION = ("Two unequal lift-and-hold gestures, a transfer and a settling return; "
                     "holds have finite musical duration.")
HOME = (-1.3, 0.5, 0.0)
A = (-0.6, -1.3, 0.4)
B_NEAR = (1.4, 0.2, -0.3)
B_FAR = (1.5, -0.6, -0.9)
SCALE_NEAR = 0.82 / 1.4
SCALE_FAR = 0.5125
OVERSHOOT_X = 1.6

# Per member: m, units of (move to A, hold A, transfer, hold B, return), and
# the arc vectors of the three moves (raw units).
DWELL = (
    (10, (1, 1, 2, 2, 3), ((0.15, 0.1, 0.35), (0.0, 0.55, 0.2), (-0.1, -0.3, 0.25))),
    (11, (2, 2, 2, 1, 3), ((-0.05, 0.2, -0.3), (0.1, -0.25, 0.4), (0.0, 0.45, -0.2))),
    (12, (1, 3, 2, 2, 3), ((0.2, -0.05, 0.25), (-0.1, 0.4, -0.35), (0.05, -0.2, 0.4))),
    (13, (2, 1, 3, 3, 3), ((0.0, 0.3, 0.4), (0.05, 0.35, 0.3), (-0.15, 0.25, -0.3))),
    (14, (2, 3, 2, 2, 4), ((0.1, 0.15, -0.25), (0.0, -0.4, -0.3), (0.1, 0.35, 0.35))),
    (15, (2, 2, 3, 4, 3), ((-0.1, 0.0, 0.45), (0.1, 0.6, -0.1), (0.0, -0.35, -0.25))),
    (11, (1, 2, 3, 1, 3), ((0.15, 0.25, -0.2), (-0.05, -0.2, 0.45), (0.05, 0.5, 0.1))),
    (13, (2, 2, 2, 3, 3), ((0.05, -0.1, 0.3), (0.0, 0.3, 0.35), (-0.1, -0.4, 0.2))),
    (10, (1, 2, 2, 1, 3), ((0.1, 0.2, 0.3), (0.0, 0.5, 0.3), (0.0, -0.2, 0.35))),
    (12, (2, 1, 2, 3, 3), ((-0.1, 0.1, -0.3), (0.0, -0.3, 0.5), (0.05, 0.4, 0.2))),
    (14, (1, 3, 3, 2, 4), ((0.2, 0.0, 0.4), (0.0, 0.45, -0.2), (-0.05, -0.3, 0.3))),
    (15, (3, 2, 2, 3, 4), ((0.0, 0.3, -0.35), (0.0, -0.35, 0.45), (0.1, 0.25, 0.35))),
    (11, (2, 1, 2, 2, 3), ((0.1, -0.15, 0.35), (0.0, 0.6, 0.0), (-0.1, 0.3, -0.3))),
    (13, (1, 2, 3, 3, 3), ((-0.05, 0.25, 0.25), (0.0, 0.2, 0.55), (0.0, -0.45, 0.15))),
    (12, (2, 2, 2, 1, 4), ((0.15, 0.1, -0.4), (0.0, -0.5, 0.2), (0.05, 0.2, 0.45))),
    (14, (2, 1, 4, 2, 4), ((0.0, 0.35, 0.3), (0.0, 0.3, -0.4), (-0.1, -0.25, -0.35))),
)


def arc(s):
    return 64 * (s * (1 - s)) ** 3


def late(s):
    """A bump peaking late in a move (at s = 0.7), for the overshoot."""
    return s ** 7 * (1 - s) ** 3 / (0.7 ** 7 * 0.3 ** 3)


def move(a, b, bend, overshoot=0.0):
    def at(s):
        e = S5(s)
        point = [a[d] + (b[d] - a[d]) * e + bend[d] * arc(s) for d in range(3)]
        point[0] += overshoot * late(s)
        return point
    return at


def transfer_overshoot(bend):
    """The size of the late bump that carries the transfer A -> B to x = 1.6.

    The peak of x over the move is found on a coarse grid and refined by a
    golden-section search around it; the size by bisection.
    """
    def peak(c):
        at = move(A, B_FAR, bend, c)
        coarse = max(range(201), key=lambda i: at(i / 200)[0])
        lo, hi = max(0, coarse - 1) / 200, min(200, coarse + 1) / 200
        g = 0.6180339887498949
        for _ in range(40):
            a, b = hi - g * (hi - lo), lo + g * (hi - lo)
            if at(a)[0] < at(b)[0]:
                lo = a
            else:
                hi = b
        return at((lo + hi) / 2)[0]

    return bisect(peak, 0.0, 1.0, OVERSHOOT_X, steps=50)


def dwell(m, units, arcs, far):
    B = B_FAR if far else B_NEAR
    scale = SCALE_FAR if far else SCALE_NEAR
    to_a, hold_a, transfer, hold_b, back = units

    def recipe(P):
        overshoot = transfer_overshoot(arcs[1]) if far else 0.0
        U = P / m
        plan = [(to_a, move(HOME, A, arcs[0])), (hold_a, A),
                (transfer, move(A, B, arcs[1], overshoot)), (hold_b, B),
                (back, move(B, HOME, arcs[2])), (1, HOME)]
        cols = [[0.0] * P for _ in range(3)]
        for p in range(P):
            start = 0
            for length, part in plan:
                if p < (start + length) * U:
                    break
                start += length
            if isinstance(part, tuple):
                point = part
            else:
                point = part((p - start * U) / (length * U))
            for d in range(3):
                cols[d][p] = scale * point[d]
        return tuple(cols)

    return recipe
