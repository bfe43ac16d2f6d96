"""Arm family: the tip of two links hinged at the origin, hanging downward.

The shoulder angle (from straight down, positive towards +x) is a swing
S sin(t + φ) with a little second harmonic (zero at pip 0); the elbow folds by
B (1 - cos 2(t + φ))/2, most at the ends of the swing, so the chain is
straight at the bottom and only slightly bent at the top of a swing.
Some members fold the elbow the other way. The
phase φ is set so that the tip at pip 0 sits just off the bottom
(y = -0.8135 after scaling). Members 09 to 16 turn the whole chain about
the vertical axis by G sin(ct + ψ), which moves the tip out of the plane.
The tip is scaled so that its lowest point is y = -0.82.
"""

from math import cos, sin

from continuum.shaping import PEAK, angle, bisect

ARM_DESCRIPTION = ("Tip position of two kinematically driven links; not a dynamics simulation "
                   "or anatomical model.")
Y_AT_ZERO = -0.8135

# Per member: upper link share, swing S, second-harmonic swing and its phase,
# elbow fold B (negative: the elbow folds the other way), and for 09-16 the
# turn (G, c, ψ).
ARM = (
    (0.55, 0.72, 0.10, 0.4, 0.50, None),
    (0.48, 0.95, -0.14, 1.3, -0.42, None),
    (0.60, 1.20, 0.08, 2.2, 0.60, None),
    (0.52, 0.82, 0.18, 0.9, 0.36, None),
    (0.45, 1.45, -0.06, 0.2, 0.55, None),
    (0.58, 1.05, 0.16, 2.8, -0.48, None),
    (0.50, 0.66, -0.12, 1.7, 0.62, None),
    (0.62, 1.32, 0.12, 0.6, 0.40, None),
    (0.54, 0.90, 0.14, 1.1, 0.46, (0.22, 2, 0.3)),
    (0.47, 1.25, -0.10, 2.5, -0.52, (0.18, 3, 1.2)),
    (0.59, 0.75, 0.20, 0.3, 0.58, (0.26, 1, 2.0)),
    (0.51, 1.40, -0.08, 1.9, 0.38, (0.15, 2, 0.8)),
    (0.56, 1.10, 0.10, 2.9, 0.50, (0.2, 3, 2.6)),
    (0.49, 0.70, -0.16, 0.7, -0.64, (0.28, 1, 1.5)),
    (0.61, 1.30, 0.06, 1.4, 0.44, (0.2, 2, 2.3)),
    (0.53, 0.98, -0.18, 2.2, 0.56, (0.2, 4, 0.5)),
)


def arm(upper, swing, swing2, phase2, fold, turn):
    lower = 1 - upper

    def tip(ts, phi):
        rows = []
        for t in ts:
            a1 = swing * sin(t + phi) + swing2 * (sin(2 * t + phase2) - sin(phase2))
            a2 = a1 + fold * (1 - cos(2 * (t + phi))) / 2
            x = upper * sin(a1) + lower * sin(a2)
            y = -upper * cos(a1) - lower * cos(a2)
            z = 0.0
            if turn:
                G, c, psi = turn
                g = G * sin(c * t + psi)
                x, z = x * cos(g), x * sin(g)
            rows.append((x, y, z))
        return rows

    def recipe(P):
        ts = angle(P)

        coarse = ts[::4]

        def y0(phi):
            rows = tip(coarse, phi)
            k = PEAK / max(-r[1] for r in rows)
            return k * rows[0][1]

        # y(0) rises (towards 0) as the phase moves the tip off the bottom;
        # the phase is found on every fourth pip, which is close enough.
        phi = bisect(y0, 0.0, 0.6, Y_AT_ZERO, steps=40)
        rows = tip(ts, phi)
        k = PEAK / max(-r[1] for r in rows)
        cols = [[k * r[d] for r in rows] for d in range(3)]
        return tuple(cols if turn else cols[:2])

    return recipe
