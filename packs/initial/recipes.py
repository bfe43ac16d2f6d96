"""The initial pack: hand-made low-frequency shapes, rhythm and sticking
studies, easing curves, single-cycle waveforms and recorded grooves.

Notation: P is the period, p the pip (0 <= p < P), θ = 2πp/P.
"""

from initial import grooves, waveforms
from pack import Pack
from primitives import (KF, S3, bumps, cos, exp, loop_distance, peak_normalise, pi, sampled,
                        sin, theta)

pack = Pack("initial")
pattern = pack.pattern


@pattern("lfo_breathe", 256, 1,
         "A four-beat, single-axis sine. The quiet reference for judging busier shapes.")
def lfo_breathe(P):
    def x(p):
        return 0.8 * sin(theta(p, P))
    return (x,)


@pattern("lfo_surge", 256, 1,
         "A long rounded sweep and short recovery; an independently authored smooth-reset shape.")
def lfo_surge(P):
    # A three-beat rise and a one-beat return.
    return (KF(P, (0, -0.8), (192, 0.8)),)


@pattern("lfo_soft_gate", 256, 1,
         "Short smooth transitions separated by long stationary dwells. No square-wave teleport.")
def lfo_soft_gate(P):
    return (KF(P, (0, -0.8), (32, 0.8), (128, 0.8), (160, -0.8)),)


@pattern("lfo_double_pump", 256, 2,
         "Two unequal pumps and a breathing space within four beats.")
def lfo_double_pump(P):
    # Only y moves.
    y = KF(P, (0, 0.0), (32, -0.85), (64, 0.0), (96, -0.55), (128, 0.0))
    return 0.0, y


@pattern("lfo_ratchet", 256, 2,
         "A four-hit decaying burst, then a rest. Every event is peak-aligned.")
def lfo_ratchet(P):
    hits = (0, 16, 32, 48)
    x = bumps(P, *[(c, A, 8) for c, A in zip(hits, (0.8, 0.656, 0.512, 0.368))])
    y = bumps(P, *[(c, A, 8) for c, A in zip(hits, (-0.5, -0.41, -0.32, -0.23))])
    return x, y


@pattern("lfo_glide_stair", 256, 1,
         "Five rounded steps traverse the field, then a smooth return.")
def lfo_glide_stair(P):
    # Five levels 0.4 apart, each reached with zero speed; the last beat returns.
    return (KF(P, (0, -0.8), (32, -0.8), (64, -0.4), (96, 0.0), (128, 0.4),
               (160, 0.8), (192, 0.8)),)


@pattern("lfo_morph", 512, 2,
         "An eight-beat blend between a sine and skewed triangle; movement changes within the phrase.")
def lfo_morph(P):
    def T(v):
        """Skewed triangle: rises over the first 0.23 of the cycle."""
        if v < 0.23:
            return -1 + 2 * v / 0.23
        return 1 - 2 * (v - 0.23) / 0.77

    def x(p):
        v = (p % 128) / 128                 # one cycle per two beats
        b = (1 - cos(theta(p, P))) / 2      # 0 at pip 0, 1 at pip 256
        return 0.8 * ((1 - b) * sin(2 * pi * v) + b * T(v))

    def y(p):
        return 0.2 * sin(theta(p, P))

    return x, y


@pattern("lfo_flower", 512, 2,
         "Related rotations form an original three-lobed XY loop over eight beats.")
def lfo_flower(P):
    # A forward turn of radius 0.56 plus a backward double-speed turn of 0.28.
    def x(p):
        t = theta(p, P)
        return 0.56 * cos(t) - 0.28 * cos(2 * t)

    def y(p):
        t = theta(p, P)
        return 0.56 * sin(t) + 0.28 * sin(2 * t)

    return x, y


def alternating(peak, count):
    """peak, -peak, peak, ... (count values)."""
    return [peak if k % 2 == 0 else -peak for k in range(count)]


@pattern("rhythm_euclid_3_8", 256, 2,
         "3 evenly distributed onsets on a 8-step grid. Alternating lateral gestures.")
def rhythm_euclid_3_8(P):
    onsets = [32 * step for step in (0, 3, 6)]
    x = bumps(P, *[(c, A, 12) for c, A in zip(onsets, alternating(0.8, 3))])
    y = bumps(P, *[(c, -0.3, 12) for c in onsets])
    return x, y


@pattern("rhythm_euclid_5_12", 256, 2,
         "5 evenly distributed onsets on a 12-step grid. Alternating lateral gestures.")
def rhythm_euclid_5_12(P):
    onsets = [P * step / 12 for step in (0, 3, 5, 8, 10)]
    x = bumps(P, *[(c, A, 12) for c, A in zip(onsets, alternating(0.8, 5))])
    y = bumps(P, *[(c, -0.3, 12) for c in onsets])
    return x, y


@pattern("rhythm_three_two", 256, 2,
         "Three horizontal gestures interlock with two vertical gestures in one four-beat cycle.")
def rhythm_three_two(P):
    x = bumps(P, *[(P * k / 3, 0.78, 24) for k in range(3)])
    y = bumps(P, *[(P * k / 2, 0.78, 24) for k in range(2)])
    return x, y


@pattern("rhythm_half_time", 256, 2,
         "A strong downbeat, snare-like accent on beat three, and smaller offbeat shuffles.")
def rhythm_half_time(P):
    x = bumps(P, (128, 0.85, 16), (224, -0.4, 12))
    y = bumps(P, (0, 0.85, 16), (96, 0.4675, 16), (128, -0.25, 16), (224, -0.1, 12))
    return x, y


def sticking_study(P, sticking, accents):
    """Twelve strokes in equal triplet spacing, hand k the k-th letter of the
    sticking (R = +x, L = -x); accents at full size, taps at 0.6 of it."""
    hands = sticking.replace(" ", "")
    x_events, y_events = [], []
    for k, hand in enumerate(hands):
        side = 1 if hand == "R" else -1
        x_peak, y_peak = (0.82, -0.42) if k in accents else (0.492, -0.252)
        c = P * k / 12
        x_events.append((c, side * x_peak, 28 / 3))
        y_events.append((c, y_peak, 28 / 3))
    return bumps(P, *x_events), bumps(P, *y_events)


STICKING_NOTE = ("; equal triplet spacing over four beats. This is a movement "
                 "interpretation, not a complete drum-performance notation.")


@pattern("rudiment_double_paradiddle", 256, 2,
         "Visual sticking study RLRLRR LRLRLL" + STICKING_NOTE)
def rudiment_double_paradiddle(P):
    return sticking_study(P, "RLRLRR LRLRLL", accents={0, 6})


@pattern("rudiment_paradiddle_diddle", 256, 2,
         "Visual sticking study RLRRLL LRLLRR" + STICKING_NOTE)
def rudiment_paradiddle_diddle(P):
    return sticking_study(P, "RLRRLL LRLLRR", accents={0, 6})


@pattern("rudiment_six_stroke", 256, 2,
         "Visual sticking study RLLRRL LRRLLR" + STICKING_NOTE)
def rudiment_six_stroke(P):
    return sticking_study(P, "RLLRRL LRRLLR", accents={0, 5, 6, 11})


@pattern("rudiment_flam_accent", 256, 2,
         "Opposite-hand grace gestures lead accented groups of three; deliberately expanded "
         "for visible motion.")
def rudiment_flam_accent(P):
    x_events, y_events = [], []
    for k in range(6):
        side = 1 if k % 2 == 0 else -1      # R, L, R, L, R, L
        c = P * k / 6
        if k in (0, 3):
            x_peak, y_peak = side * 0.82, -0.42
            # The grace note: the other hand, 8 pips earlier.
            x_events.append((c - 8, -0.32 * x_peak, 8))
            y_events.append((c - 8, -0.1344, 8))
        else:
            x_peak, y_peak = side * 0.492, -0.252
        x_events.append((c, x_peak, 16))
        y_events.append((c, y_peak, 16))
    return bumps(P, *x_events), bumps(P, *y_events)


# --- easing loops -------------------------------------------------------------------
# Outward half: x = -0.65 + 1.3*E(p/128); return half: x = 0.65 - 1.3*S3((p - 128)/128).

def easing_loop(P, E):
    half = P // 2

    def x(p):
        if p < half:
            return -0.65 + 1.3 * E(p / half)
        return 0.65 - 1.3 * S3((p - half) / half)

    return (x,)


BACK = 1.70158  # the back ease's overshoot


def bounce_out(t):
    b = 121 / 16
    if t < 4 / 11:
        return b * t**2
    if t < 8 / 11:
        return b * (t - 6 / 11) ** 2 + 0.75
    if t < 10 / 11:
        return b * (t - 9 / 11) ** 2 + 0.9375
    return b * (t - 21 / 22) ** 2 + 0.984375


def back_in(t, s=BACK):
    return t**2 * ((s + 1) * t - s)


def back_out(t, s=BACK):
    return (t - 1) ** 2 * ((s + 1) * (t - 1) + s) + 1


EASE_NOTE = "An attributed D3 easing curve, assembled into a closed outward-and-return loop."


@pattern("ease_rebound", 256, 1, EASE_NOTE)
def ease_rebound(P):
    return easing_loop(P, bounce_out)


@pattern("ease_anticipate", 256, 1, EASE_NOTE)
def ease_anticipate(P):
    return easing_loop(P, back_in)


@pattern("ease_overshoot", 256, 1, EASE_NOTE)
def ease_overshoot(P):
    return easing_loop(P, back_out)


@pattern("ease_elastic", 256, 1,
         "Original windowed, decaying oscillation; not a copied D3 curve. Peak scaled to .8.")
def ease_elastic(P):
    def g(p):
        u = p / P
        return sin(pi * u) ** 2 * exp(-2 * u) * sin(6 * pi * u)

    return (peak_normalise(sampled(g, P), 0.8),)


# --- single-cycle waveforms ------------------------------------------------------------
# x = 0.85*(s - m)/M: mean removed, peak magnitude 0.85.

WAVE_NOTE = ": an actual CC0 waveform slowed to a four-beat position loop."


@pattern("akwf_round_saw", 256, 1, "AKWF_R_asym_saw_05_256" + WAVE_NOTE)
def akwf_round_saw(P):
    return (peak_normalise(waveforms.round_saw(), 0.85, centre=True),)


@pattern("akwf_quick_return", 256, 1, "AKWF_R_asym_saw_15_256" + WAVE_NOTE)
def akwf_quick_return(P):
    return (peak_normalise(waveforms.quick_return(), 0.85, centre=True),)


@pattern("akwf_multi_lobe", 256, 1, "AKWF_0001_256" + WAVE_NOTE)
def akwf_multi_lobe(P):
    return (peak_normalise(waveforms.multi_lobe(), 0.85, centre=True),)


@pattern("akwf_plateau", 256, 1, "AKWF_0010_256" + WAVE_NOTE)
def akwf_plateau(P):
    return (peak_normalise(waveforms.plateau(), 0.85, centre=True),)


# --- grooves ------------------------------------------------------------------------------

def scaled_to_unit_x(x, y, P):
    """Both axes scaled by the reciprocal of the largest x, which becomes 1.0."""
    xs, ys = sampled(x, P), sampled(y, P)
    scale = 1 / max(xs)
    return [v * scale for v in xs], [v * scale for v in ys]


def checked_performance(P, played, grid):
    """The performed excerpt, after checking it against its grid: every hit
    within half a sixteenth (8 pips) of its grid position and rounding to it."""
    for instrument in grid:
        if len(played[instrument]) != len(grid[instrument]):
            raise ValueError(f"{instrument}: performed and grid hits differ in number")
        for (tick, velocity), (pip, grid_velocity) in zip(played[instrument], grid[instrument]):
            off = abs(loop_distance(grooves.performed_pip(tick), pip, P))
            if velocity != grid_velocity or grooves.grid_pip(tick, P) != pip or off > 8:
                raise ValueError(f"{instrument} hit at tick {tick} does not perform grid pip {pip}")
    return played


@pattern("groove_a_played", 512, 2,
         "Two-bar funk excerpt A (4\u201312 source beats), performed microtiming.")
def groove_a_played(P):
    return grooves.groove(P, grooves.EXCERPT_A, grooves.performed_pip)


@pattern("groove_a_grid", 512, 2,
         "Two-bar funk excerpt A (4\u201312 source beats), same hits quantised to sixteenths.")
def groove_a_grid(P):
    return grooves.groove(P, grooves.EXCERPT_A, lambda tick: grooves.grid_pip(tick, P))


@pattern("groove_b_played", 512, 2,
         "Two-bar funk excerpt B (36\u201344 source beats), performed microtiming.")
def groove_b_played(P):
    excerpt = checked_performance(P, grooves.EXCERPT_B_PLAYED, grooves.EXCERPT_B_GRID)
    return scaled_to_unit_x(*grooves.groove(P, excerpt, grooves.performed_pip), P)


@pattern("groove_b_grid", 512, 2,
         "Two-bar funk excerpt B (36\u201344 source beats), same hits quantised to sixteenths.")
def groove_b_grid(P):
    return scaled_to_unit_x(*grooves.groove(P, grooves.EXCERPT_B_GRID), P)
