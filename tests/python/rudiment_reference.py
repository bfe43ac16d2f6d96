"""An independent, plain-Python evaluation of the fifteen built-in rudiments.

Python floats are IEEE doubles and CPython never fuses multiply-add, so this
evaluation, written in the same operation order, must agree bit for bit.
"""
import math

PI = 3.141592653589793
TWO_PI = 6.283185307179586
FOUR_PI = 12.566370614359172
HALF_PI = 1.5707963267948966


def wrap(pip, period):
    return pip % period  # Python's floor modulo is already the non-negative wrap


def smooth(u):
    return (3.0 - (u + u)) * (u * u)


def bounce(p):
    p = wrap(p, 64)
    return (1.0 - 4.0 * abs(p * 0.015625 - 0.5), 0.0, 0.0)


def sway(p):
    p = wrap(p, 128)
    return (math.sin((p * 0.0078125) * TWO_PI), 0.0, 0.0)


def circle(p):
    p = wrap(p, 64)
    a = ((p * 0.015625) * TWO_PI) - HALF_PI
    return (math.cos(a), math.sin(a), 0.0)


def figure_eight(p):
    p = wrap(p, 128)
    a = (p * 0.0078125) * TWO_PI
    return (math.sin(a), math.sin(a + a), 0.0)


def step_touch(p):
    p = wrap(p, 128)
    start, end = (-1.0, 0.0, 1.0, 0.0), (0.0, 1.0, 0.0, -1.0)
    s, u = p // 32, (p % 32) * 0.03125
    h = smooth(u)
    return (h * (end[s] - start[s]) + start[s], -(math.sin(u * PI) * 0.35), 0.0)


def box_step(p):
    p = wrap(p, 256)
    corners = ((-1.0, -1.0), (1.0, -1.0), (1.0, 1.0), (-1.0, 1.0))
    s = p // 64
    a, b = corners[s], corners[(s + 1) % 4]
    h = smooth((p % 64) * 0.015625)
    return ((b[0] - a[0]) * h + a[0], (b[1] - a[1]) * h + a[1], 0.0)


def helix(p):
    u = wrap(p, 256) * 0.00390625
    return (math.cos(u * FOUR_PI), math.sin(u * FOUR_PI), math.sin(u * TWO_PI))


KEYFRAMES = [
    (0, 0.0, 0.0), (23, 2 / 14, -0.1), (33, 13 / 14, -0.8), (49, 5 / 14, -0.4),
    (87, -3 / 14, 0.2), (100, -14 / 14, 0.9), (118, -5 / 14, 0.5), (154, 1 / 14, 0.0),
    (169, 12 / 14, 1.0), (187, 4 / 14, 0.5), (215, -2 / 14, -0.2), (228, -10 / 14, -0.9),
    (243, -3 / 14, -0.3), (256, 0.0, 0.0),
]


def _background_row(i):
    k = next(k for k in range(13) if i <= KEYFRAMES[k + 1][0])
    (pa, xa, ya), (pb, xb, yb) = KEYFRAMES[k], KEYFRAMES[k + 1]
    h = smooth(float(i - pa) / float(pb - pa))
    return ((xb - xa) * h + xa, (yb - ya) * h + ya, 0.0)


BACKGROUND = [_background_row(i) for i in range(256)]


def mirel_background(p):
    return BACKGROUND[wrap(p, 256)]


R, L = 1, -1
STROKES = {
    "single_stroke_roll": (64, [(s, h, 0.92, 8) for s, h in zip(range(0, 64, 8), [R, L] * 4)]),
    "double_stroke_roll": (64, [(s, h, a, 8) for s, h, a in
                                zip(range(0, 64, 8), [R, R, L, L] * 2, [0.88, 0.72] * 4)]),
    "multiple_bounce_roll": (64, [(b + 6 * i, h, a, 6) for b, h in ((0, R), (32, L))
                                  for i, a in enumerate((0.92, 0.68, 0.48, 0.32))]),
    "single_paradiddle": (128, [(o + 8 * i, h, a, 8) for o in (0, 64) for i, (h, a) in enumerate(
        [(R, 1.0), (L, 0.72), (R, 0.72), (R, 0.72), (L, 1.0), (R, 0.72), (L, 0.72), (L, 0.72)])]),
    "flam": (64, [(0, L, 0.34, 10), (5, R, 0.9, 14), (32, R, 0.34, 10), (37, L, 0.9, 14)]),
    "drag": (64, [(0, L, 0.28, 8), (5, L, 0.32, 8), (10, R, 0.88, 14),
                  (32, R, 0.28, 8), (37, R, 0.32, 8), (42, L, 0.88, 14)]),
    "five_stroke_roll": (128, [(0, R, 0.72, 9), (8, R, 0.62, 9), (16, L, 0.72, 9), (24, L, 0.62, 9),
                               (36, R, 1.0, 14), (64, L, 0.72, 9), (72, L, 0.62, 9), (80, R, 0.72, 9),
                               (88, R, 0.62, 9), (100, L, 1.0, 14)]),
}


def _stroke_rudiment(name):
    period, strokes = STROKES[name]

    def evaluate(pip):
        sx = sy = 0.0
        for start, hand, amplitude, length in strokes:
            local = wrap(wrap(pip, period) - start, period)
            if local < length:
                s = math.sin((float(local) / float(length)) * PI)
                e = (amplitude * s) * s
                sy = sy - 0.72 * e
                sx = e * hand + sx
        return (min(max(sx, -1.0), 1.0), min(max(sy, -1.0), 1.0), 0.0)

    return evaluate


for _name in STROKES:
    globals()[_name] = _stroke_rudiment(_name)

# name -> (period, dimensions, description, reference function), catalogue order
BUILTINS = {
    "bounce": (64, 1, "One-beat vertical bounce"),
    "sway": (128, 1, "Two-beat side-to-side sway"),
    "circle": (64, 2, "One-beat circular orbit"),
    "figure_eight": (128, 2, "Two-beat figure eight"),
    "step_touch": (128, 2, "Two-beat side step with a small lift"),
    "box_step": (256, 2, "Four-beat softened square path"),
    "helix": (256, 3, "Four-beat double-turn helix"),
    "mirel_background": (256, 2, "Mirel/Quasa four-beat accented background drift"),
    "single_stroke_roll": (64, 2, "Alternating R/L strokes with smooth attack and decay"),
    "double_stroke_roll": (64, 2, "RRLL strokes with a softer second motion"),
    "multiple_bounce_roll": (64, 2, "Decaying same-hand bounce clusters"),
    "single_paradiddle": (128, 2, "RLRR LRLL with accented lead strokes"),
    "flam": (64, 2, "Grace motion flowing into an opposite-hand primary motion"),
    "drag": (64, 2, "Two grace motions flowing into an opposite-hand primary motion"),
    "five_stroke_roll": (128, 2, "Two diddles resolving to an accented fifth motion"),
}
BUILTINS = {name: (*info, globals()[name]) for name, info in BUILTINS.items()}
