"""Mechanism studies: period 512, θ = 2πt, normalised to a peak of 0.82.

Nine studies have a full formula. The other seven are composed here
from simple mechanisms so that their defining figures hold:

- mech_offset_crank: crank 1, rod 3, slider line 0.6 below the crank centre:
  x = cos θ + √(9 − (sin θ + 0.6)²) − 2.8, y = 0.35·sin θ. The dead centres
  fall at pips 499.7 and 231.2, so x peaks at 500 (0.82) and bottoms at 231
  (−0.633511); y = 0.248542·sin θ after scaling.
- mech_whitworth: x = Σ k^(−2.15)·sin kθ over k = 1 … 5, a rounded
  quick-return saw with crest at pip 79 and trough at 433; y = 0.328·cos θ.
- mech_elliptic_cam: a flat follower on an ellipse of semi-axes 1 and 0.5,
  y = √(cos²θ + 0.25·sin²θ) − 0.65 (0.82 at pip 0, −0.351429 at 128 and 384),
  x = 0.3·sin θ (0.702857·sin θ after scaling).
- mech_escapement: x = sin θ + sin 3θ/6 + sin 5θ/50, the square-like swing
  whose crest at pip 128 is as flat as three odd harmonics allow; y is a
  second-harmonic tick peaking 6 pips after each centre crossing,
  y = d + a·cos(2θ − 3π/64) with a and d set so that y is 0.29 at pip 6 and
  −0.371 at pip 384.
- mech_rocking_beam: x = sin θ + 0.08·sin 3θ; the beam end lifts more on
  the right than on the left, y = 0.262·sin²θ + 0.162·sin θ (from −0.025037
  to 0.424). The beam starts level at θ = 0, so its table starts at the
  origin, as a crank-driven beam at rest position should.
- mech_crank_rocker: x = cos θ, rocker y = 0.745·sin θ + 0.08·sin 3θ (peak
  0.5453 after scaling), z = 0.15·cos 3θ (0.123·cos 3θ after scaling).
- mech_cam_return: x = Σ k^(−1.75)·sin kθ over k = 1 … 3, crest at pip 76
  and trough at 436; y = 0.3·cos 2θ + 0.028·cos θ (0.328 at pip 0).

Where a figure holds after scaling, the axis is written in its final
units beside an x that holds the table's peak, which is the same as scaling
the whole table.
"""

from primitives import cos, pi, sin, sqrt

from atlas.common import PEAK, angle, columns, normalised

LABEL_TAIL = "; an original kinematic-style position study, not an engineering simulation."


def raw(*axes):
    """A study given by raw coordinates (functions of θ), normalised together."""
    def recipe(P):
        return normalised(P, *[lambda p, f=f: f(angle(p, P)) for f in axes])
    return recipe


def led_by_x(x_raw, *finals):
    """x scaled to the 0.82 peak; the other axes already in final units.

    x must hold the table's largest magnitude, so this is the shared scaling.
    """
    def recipe(P):
        (x,) = normalised(P, lambda p: x_raw(angle(p, P)))
        rest = columns(P, *[lambda p, f=f: f(angle(p, P)) for f in finals])
        if max(abs(v) for column in rest for v in column) >= PEAK:
            raise ValueError("x must hold the table's peak")
        return (x, *rest)
    return recipe


def sine_series(amplitude, count):
    return lambda th: sum(amplitude(k) * sin(k * th) for k in range(1, count + 1))


# The escapement tick: d + a·cos(2θ − 3π/64) is 0.29 at pip 6 and −0.371 at pip 384.
TICK_A = (0.29 + 0.371) / (1 + cos(3 * pi / 64))
TICK_D = 0.29 - TICK_A

STUDIES = [  # name, label, dimensions, recipe
    ("mech_piston_short", "Short-rod piston", 2,
     raw(lambda th: cos(th) + sqrt(4 - sin(th) ** 2) - 2, lambda th: 0.3 * sin(th))),
    ("mech_piston_long", "Long-rod piston", 2,
     raw(lambda th: cos(th) + sqrt(16 - sin(th) ** 2) - 4, lambda th: 0.25 * sin(2 * th))),
    ("mech_offset_crank", "Offset crank", 2,
     raw(lambda th: cos(th) + sqrt(9 - (sin(th) + 0.6) ** 2) - 2.8, lambda th: 0.35 * sin(th))),
    ("mech_scotch_yoke", "Yoke with rocking linkage", 2,
     raw(cos, lambda th: 0.35 * sin(th) + 0.18 * sin(3 * th))),
    ("mech_whitworth", "Quick-return linkage study", 2,
     led_by_x(sine_series(lambda k: k ** -2.15, 5), lambda th: 0.328 * cos(th))),
    ("mech_elliptic_cam", "Elliptic cam follower", 2,
     raw(lambda th: 0.3 * sin(th), lambda th: sqrt(cos(th) ** 2 + 0.25 * sin(th) ** 2) - 0.65)),
    ("mech_two_lobe_cam", "Two-lobe cam follower", 2,
     raw(lambda th: 0.6 * sin(th), lambda th: 1.1 * cos(2 * th) + 0.4 * cos(th))),
    ("mech_three_lobe_cam", "Three-lobe cam follower", 2,
     raw(lambda th: 0.25 * sin(th), lambda th: cos(3 * th) + 0.2 * cos(th))),
    ("mech_escapement", "Soft escapement study", 2,
     led_by_x(lambda th: sin(th) + sin(3 * th) / 6 + sin(5 * th) / 50,
              lambda th: TICK_D + TICK_A * cos(2 * th - 3 * pi / 64))),
    ("mech_paddle", "Paddle-wheel tip", 2,
     raw(lambda th: cos(th) + 0.23 * cos(4 * th), lambda th: sin(th) + 0.23 * sin(4 * th))),
    ("mech_wobble_plate", "Wobble-plate trace", 3,
     raw(cos, lambda th: 0.35 * sin(th), lambda th: 0.5 * sin(2 * th + 0.3))),
    ("mech_rocking_beam", "Rocking beam", 2,
     led_by_x(lambda th: sin(th) + 0.08 * sin(3 * th),
              lambda th: 0.262 * sin(th) ** 2 + 0.162 * sin(th))),
    ("mech_coupled_cranks", "Coupled cranks", 2,
     raw(lambda th: cos(th) + 0.35 * cos(3 * th + 0.6),
         lambda th: sin(th) - 0.35 * sin(3 * th + 0.6))),
    ("mech_crank_rocker", "Crank and rocker study", 3,
     raw(cos, lambda th: 0.745 * sin(th) + 0.08 * sin(3 * th), lambda th: 0.15 * cos(3 * th))),
    ("mech_piston_balance", "Piston and balance mass", 3,
     raw(cos, lambda th: 0.5 * sin(2 * th), lambda th: 0.25 * sin(th))),
    ("mech_cam_return", "Cam rise and return", 2,
     led_by_x(sine_series(lambda k: k ** -1.75, 3),
              lambda th: 0.3 * cos(2 * th) + 0.028 * cos(th))),
]


def register(pattern):
    for name, label, dimensions, recipe in STUDIES:
        pattern(name, 512, dimensions, label + LABEL_TAIL)(recipe)
