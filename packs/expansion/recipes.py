"""The expansion pack: longer low-frequency shapes, closed geometric paths
and metric rhythm studies.

Notation: P is the period, p the pip (0 <= p < P), u = p/P, θ = 2πp/P.
"""

from pack import Pack
from primitives import KF, bumps, cos, knot_curve, pi, sin, sqrt, tanh, theta

pack = Pack("expansion")
pattern = pack.pattern


def alternating(peak, count):
    """peak, -peak, peak, ... (count values)."""
    return [peak if k % 2 == 0 else -peak for k in range(count)]


# --- low-frequency shapes -------------------------------------------------------------

@pattern("lfo_twin_swell", 512, 2,
         "Two broad swells of unequal depth, with a gentle lateral answer. Eight beats.")
def lfo_twin_swell(P):
    x = KF(P, (0, 0.0), (128, 0.2), (256, 0.0), (384, -0.32))
    y = KF(P, (0, 0.0), (128, -0.85), (256, 0.0), (384, -0.45))
    return x, y


@pattern("lfo_pulse_hold", 256, 1,
         "A smooth outward pulse, sustained plateau, smaller opposite recoil, and rest.")
def lfo_pulse_hold(P):
    # At rest from pip 192 to the end of the loop.
    return (KF(P, (0, 0.0), (32, 0.8), (128, 0.8), (160, -0.35), (192, 0.0)),)


@pattern("lfo_sweep_ratchet", 512, 2,
         "A slow lateral sweep followed by three decaying vertical ratchets; no reset jump.")
def lfo_sweep_ratchet(P):
    x = KF(P, (0, -0.75), (256, 0.75), (384, 0.75))
    y = bumps(P, (256, -0.65, 12), (288, -0.507, 12), (320, -0.364, 12))
    return x, y


@pattern("lfo_triplet_wobble", 512, 2,
         "Three rounded oscillations per two beats, breathing in depth over an eight-beat phrase.")
def lfo_triplet_wobble(P):
    # Depth 0.2975 at the loop start, 0.8075 at mid-phrase.
    def x(p):
        return (0.5525 - 0.255 * cos(theta(p, P))) * sin(2 * pi * 3 * p / 128)

    def y(p):
        return 0.22 * sin(theta(p, P))

    return x, y


@pattern("lfo_breathing_orbit", 512, 2,
         "A closed ellipse expands and contracts twice during its eight-beat revolution.")
def lfo_breathing_orbit(P):
    def x(p):
        t = theta(p, P)
        return 0.67 * cos(t) + 0.11 * cos(3 * t)

    def y(p):
        t = theta(p, P)
        return 0.39 * sin(t) + 0.09 * sin(3 * t)

    return x, y


@pattern("lfo_seeded_drift", 1024, 2,
         "Two independently seeded smooth random lanes; irregular-looking but exactly periodic "
         "and seekable.")
def lfo_seeded_drift(P):
    # x: a knot every 128 pips; y: a knot every 204.8 pips.
    x = knot_curve(P, [0.073681248811, 0.602833500982, 0.380098359734, 0.787097347851,
                       -0.710648647689, 0.466493500809, -0.496392090816, -0.57411383677])
    y = knot_curve(P, [0.071011606311, 0.035962627311, 0.396668543632, -0.609786446646,
                       -0.406132276906])
    return x, y


@pattern("lfo_pendulum_dwell", 512, 2,
         "Rounded saturation slows the pendulum near either side; a shallow arc connects the turns.")
def lfo_pendulum_dwell(P):
    def x(p):
        return 0.78 * tanh(2.8 * sin(theta(p, P))) / tanh(2.8)

    def y(p):
        return 0.22 * cos(2 * theta(p, P))

    return x, y


@pattern("lfo_reverse_swell", 512, 2,
         "A long anticipatory rise, quick softened return, and two diminishing aftershocks.")
def lfo_reverse_swell(P):
    x = KF(P, (0, 0.0), (192, -0.24), (224, 0.24), (384, 0.0))
    y = KF(P, (0, 0.0), (192, -0.82), (224, 0.0), (256, -0.38), (288, 0.0),
           (320, -0.18), (352, 0.0))
    return x, y


# --- closed paths -----------------------------------------------------------------------

@pattern("path_lissajous_2_3", 512, 2,
         "Two horizontal cycles cross three vertical cycles in a closed eight-beat Lissajous path.")
def path_lissajous_2_3(P):
    def x(p):
        return 0.78 * sin(2 * theta(p, P))

    def y(p):
        return 0.68 * sin(3 * theta(p, P))

    return x, y


def polar(r, phi):
    """x and y of the point at signed radius r(p) and angle phi(p)."""
    def x(p):
        return r(p) * cos(phi(p))

    def y(p):
        return r(p) * sin(phi(p))

    return x, y


@pattern("path_rose_4", 512, 2,
         "A signed radial oscillation draws four petals, passing through the centre between them.")
def path_rose_4(P):
    def r(p):
        return 0.82 * cos(2 * theta(p, P))

    return polar(r, lambda p: theta(p, P))


@pattern("path_rose_5", 512, 2,
         "Five petals in one complete eight-beat traversal; the odd-petal parameter runs through "
         "pi, not two pi.")
def path_rose_5(P):
    def phi(p):
        return pi * p / P  # half a turn over the loop

    def r(p):
        return 0.82 * cos(5 * phi(p))

    return polar(r, phi)


@pattern("path_bowed_diamond", 512, 2,
         "An astroid-shaped loop with inward-curved edges and naturally slow corners.")
def path_bowed_diamond(P):
    def x(p):
        return 0.8 * cos(theta(p, P)) ** 3

    def y(p):
        return 0.8 * sin(theta(p, P)) ** 3

    return x, y


@pattern("path_orbit_dwell", 512, 2,
         "An ellipse whose phase slows to zero speed at the loop boundary and accelerates through "
         "the opposite side.")
def path_orbit_dwell(P):
    def phi(p):
        u = p / P
        return 2 * pi * (u - sin(2 * pi * u) / (2 * pi))

    def x(p):
        return 0.8 * cos(phi(p))

    def y(p):
        return 0.6 * sin(phi(p))

    return x, y


@pattern("path_torus_knot", 1024, 3,
         "Two turns around the axis and three through the tube. XYZ is retained; the demo projects "
         "depth.")
def path_torus_knot(P):
    def radius(p):
        return 0.54 + 0.22 * cos(3 * theta(p, P))

    def x(p):
        return radius(p) * cos(2 * theta(p, P))

    def y(p):
        return radius(p) * sin(2 * theta(p, P))

    def z(p):
        return 0.36 * sin(3 * theta(p, P))

    return x, y, z


@pattern("path_woven_3d", 1024, 3,
         "Independent two-, three-, and five-cycle XYZ oscillations close after sixteen beats.")
def path_woven_3d(P):
    def x(p):
        return 0.72 * sin(2 * theta(p, P))

    def y(p):
        return 0.64 * sin(3 * theta(p, P))

    def z(p):
        return 0.48 * sin(5 * theta(p, P))

    return x, y, z


@pattern("path_crank_slider", 256, 2,
         "Horizontal slider-crank travel with rod length three and crank radius one; vertical "
         "motion follows the crank tip.")
def path_crank_slider(P):
    def x(p):
        t = theta(p, P)
        return 0.78 * (cos(t) + sqrt(9 - sin(t) ** 2) - 3)

    def y(p):
        return 0.3 * sin(theta(p, P))

    return x, y


# --- metric rhythm studies ---------------------------------------------------------------

def hits(P, centres, peaks, half_width):
    return bumps(P, *[(c, A, half_width) for c, A in zip(centres, peaks)])


@pattern("rhythm_five_four", 512, 2,
         "5 lateral hits against four vertical hits per four beats; two bars preserve alternating "
         "directions.")
def rhythm_five_four(P):
    x = hits(P, [51.2 * k for k in range(10)], alternating(0.72, 10), 12)
    y = hits(P, [64 * k for k in range(8)], alternating(0.68, 8), 12)
    return x, y


@pattern("rhythm_seven_four", 512, 2,
         "7 lateral hits against four vertical hits per four beats; two bars preserve alternating "
         "directions.")
def rhythm_seven_four(P):
    x = hits(P, [512 * k / 14 for k in range(14)], alternating(0.72, 14), 12)
    y = hits(P, [64 * k for k in range(8)], alternating(0.68, 8), 12)
    return x, y


def euclid_two_bars(P, steps):
    """The onsets of a 16-step bar (16 pips a step) in both 256-pip bars, with
    x alternating in sign over all onsets; onsets on a beat are accents."""
    onsets = [bar * 256 + 16 * step for bar in range(2) for step in steps]
    x_events, y_events = [], []
    for c, side in zip(onsets, alternating(1, len(onsets))):
        x_peak, y_peak = (0.76, -0.3) if c % 64 == 0 else (0.5472, -0.216)
        x_events.append((c, side * x_peak, 12))
        y_events.append((c, y_peak, 12))
    return bumps(P, *x_events), bumps(P, *y_events)


@pattern("rhythm_euclid_7_16", 512, 2,
         "7 evenly distributed onsets on a sixteen-step grid, repeated with alternating sides over "
         "eight beats.")
def rhythm_euclid_7_16(P):
    return euclid_two_bars(P, (0, 3, 5, 7, 10, 12, 14))


@pattern("rhythm_euclid_5_16", 512, 2,
         "5 evenly distributed onsets on a sixteen-step grid, repeated with alternating sides over "
         "eight beats.")
def rhythm_euclid_5_16(P):
    return euclid_two_bars(P, (0, 4, 7, 10, 13))


@pattern("rhythm_swung_answer", 256, 2,
         "A two-to-one swung call on the right, answered on the left; four beats and eight "
         "peak-aligned gestures.")
def rhythm_swung_answer(P):
    x_events, y_events = [], []
    for b in range(4):
        side = 1 if b < 2 else -1  # the call on the right, the answer on the left
        x_events += [(64 * b, side * 0.78, 8), (64 * b + 128 / 3, side * 0.468, 8)]
        y_events += [(64 * b, -0.3, 8), (64 * b + 128 / 3, -0.18, 8)]
    return bumps(P, *x_events), bumps(P, *y_events)


def grouped_accents(P, starts, weights, x_peak, y_peak):
    """A bump of half-width 16 at each group start, sized by its weight;
    x alternates in sign from +."""
    signs = alternating(1, len(starts))
    x = bumps(P, *[(c, s * x_peak * w, 16) for c, s, w in zip(starts, signs, weights)])
    y = bumps(P, *[(c, y_peak * w, 16) for c, w in zip(starts, weights)])
    return x, y


@pattern("rhythm_group_332", 512, 2,
         "Groups of three, three, and two eighth notes. Six alternating accents make an eight-beat "
         "loop.")
def rhythm_group_332(P):
    return grouped_accents(P, (0, 96, 192, 256, 352, 448), (1, 0.72, 0.86, 1, 0.72, 0.86),
                           0.76, -0.38)


@pattern("rhythm_group_223", 448, 2,
         "Two 7/8 bars grouped as 2+2+3 eighth notes: a seven-quarter-note loop, not forced into "
         "four beats.")
def rhythm_group_223(P):
    return grouped_accents(P, (0, 64, 128, 224, 288, 352), (1, 0.7, 0.85, 1, 0.7, 0.85),
                           0.74, -0.4)


@pattern("rhythm_three_four_five", 512, 3,
         "Three X, four Y, and five Z gestures share an eight-beat phrase, with exact rational "
         "peak times.")
def rhythm_three_four_five(P):
    x = bumps(P, *[(512 * k / 3, 0.7, 24) for k in range(3)])
    y = bumps(P, *[(128 * k, -0.7, 24) for k in range(4)])
    z = bumps(P, *[(512 * k / 5, 0.55, 24) for k in range(5)])
    return x, y, z
