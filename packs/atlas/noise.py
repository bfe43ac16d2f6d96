"""Noise paths: period 1024, control points fixed by SHA-256 digests.

Every control value is sha256_unit(text), a number in [-1, 1) read from the
first eight bytes of the SHA-256 digest of an ASCII text (see primitives).
The text names the pattern, the control point and the coordinate:

    "<pattern name>:<j>:<coordinate>"      e.g. "noise_drift_5:3:y"

with j = 0 … N−1 and the coordinate x, y, z, angle or radius. The ripple
paths put a salt after the name, "<pattern name>#<salt>:<j>:<coordinate>",
the salt listed in RIPPLE_SALTS. Nothing random is consulted at any time.

- drift (x, y) and depth (x, y, z): N control points at pips 1024·j/N, each
  coordinate the control value; every axis eases from point to point with the
  keyframe ease and closes on point 0; the table is normalised to 0.82.
- orbit: the angle runs 2πt + δ(t) and the radius r(t), where δ and r ease
  through N control points at pips 1024·j/N: δ_j = (1.5/N)·value (δ_0 = 0, so
  the loop starts on the positive x axis) and r_j = 0.66 + 0.2·value. So the
  angle stays within 1.5/N ≤ 0.25 radian of 2πt and never turns back, and the
  radius stays within 0.46 … 0.86. Not rescaled.
- ripple: x eases through N control values 0.82·value at pips 1024·j/N and y
  through N others at the pips half-way between, so one axis is always on
  the move and the path ripples through the centre region instead of
  resting at corners. Not rescaled: x and y stay within ±0.82. The salt of
  each ripple is the smallest one for which the rows' distance from the
  centre runs from 0.005 to 1.1 (both rounded): the path grazes the centre
  and reaches out towards a corner.
"""

from primitives import TAU, cos, sha256_unit, sin

from atlas.common import PEAK, keyframed, normalised, phase

DRIFT = [5, 7, 9, 11]
ORBIT = [6, 8, 10, 12]
RIPPLE = [5, 7, 9, 11]
DEPTH = [6, 8, 10, 12]

RIPPLE_SALTS = {5: 3553, 7: 5090, 9: 578, 11: 3642}

ORBIT_RADIUS = (0.66, 0.2)  # centre and swing of the radius
ORBIT_TURN = 1.5            # the angle offset swings by up to ORBIT_TURN/N


def control(name, j, coordinate):
    return sha256_unit(f"{name}:{j}:{coordinate}")


def eased(P, values, offset=0.0):
    """The values at pips offset + P·j/N, eased from one to the next round the loop."""
    n = len(values)
    keys = [(P * j / n, v) for j, v in enumerate(values)] + [(P, values[0])]
    curve = keyframed(P, keys)
    if not offset:
        return curve
    return lambda p: curve((p - offset) % P)


def drift(name, n, coordinates):
    def recipe(P):
        return normalised(P, *[eased(P, [control(name, j, c) for j in range(n)])
                               for c in coordinates])
    return recipe


def orbit(name, n):
    def recipe(P):
        swing = ORBIT_TURN / n
        centre, spread = ORBIT_RADIUS
        delta = eased(P, [0.0] + [swing * control(name, j, "angle") for j in range(1, n)])
        radius = eased(P, [centre + spread * control(name, j, "radius") for j in range(n)])

        def x(p):
            return radius(p) * cos(TAU * phase(p, P) + delta(p))

        def y(p):
            return radius(p) * sin(TAU * phase(p, P) + delta(p))

        return x, y
    return recipe


def ripple(name, n, salt=None):
    if salt is None:
        salt = RIPPLE_SALTS[n]
    key = f"{name}#{salt}"

    def recipe(P):
        x = eased(P, [PEAK * control(key, j, "x") for j in range(n)])
        y = eased(P, [PEAK * control(key, j, "y") for j in range(n)], offset=P / (2 * n))
        return x, y
    return recipe


def register(pattern):
    tail = " control points in a closed {} path. No mutable random state."
    groups = [("drift", DRIFT, 2, lambda name, n: drift(name, n, "xy")),
              ("orbit", ORBIT, 2, orbit),
              ("ripple", RIPPLE, 2, ripple),
              ("depth", DEPTH, 3, lambda name, n: drift(name, n, "xyz"))]
    for kind, counts, dimensions, make in groups:
        for n in counts:
            name = f"noise_{kind}_{n}"
            pattern(name, 1024, dimensions,
                    "Indexed SHA-256" + tail.format(kind))(make(name, n))
