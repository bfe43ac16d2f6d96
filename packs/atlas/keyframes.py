"""Keyframed families: envelopes, programmed sequences and gestures.

Between consecutive keyframes at pips t0 and t1 holding a and b the value is
a + (b − a)·s(u), u = (p − t0)/(t1 − t0), s(u) = 6u⁵ − 15u⁴ + 10u³, so the
curve rests at every keyframe. Each key list closes the loop at pip P on a
repeat of its first value. Nothing here is rescaled.
"""

from fractions import Fraction as F

from primitives import TAU, sin

from atlas.common import PEAK, keyframed

# --- envelopes ------------------------------------------------------------------------------
# y only, keyframes as pip: value.

ENVELOPES = [
    ("env_lift_hold_drop", "Lift, hold, settle",
     "0:0, 64:-0.8, 192:-0.8, 256:0.2, 320:0, 512:0"),
    ("env_inhale_exhale", "Long inhale, short exhale",
     "0:0, 320:-0.8, 384:0.1, 448:0, 512:0"),
    ("env_triple_swell", "Three unequal swells",
     "0:0, 64:-0.8, 128:0, 192:-0.5, 256:0, 384:-0.3, 512:0"),
    ("env_rising_echo", "Rising echo ladder",
     "0:0, 64:-0.25, 128:0, 192:-0.5, 256:0, 320:-0.8, 384:0, 512:0"),
    ("env_falling_echo", "Falling echo ladder",
     "0:0, 64:-0.8, 128:0, 192:-0.45, 256:0, 320:-0.15, 512:0"),
    ("env_anticipation", "Backward anticipation",
     "0:0, 64:0.35, 128:0, 192:-0.82, 256:-0.82, 384:0.12, 512:0"),
    ("env_plateau_scoop", "Plateau then scoop",
     "0:0, 64:-0.7, 256:-0.7, 320:-0.3, 384:0.4, 512:0"),
    ("env_hesitant", "Hesitant reach",
     "0:0, 64:-0.3, 128:-0.2, 192:-0.5, 256:-0.4, 320:-0.8, 512:0"),
    ("env_double_hold", "Two-height hold",
     "0:0, 64:-0.4, 192:-0.4, 256:-0.8, 384:-0.8, 512:0"),
    ("env_swell_recoil", "Deep swell and recoil",
     "0:0, 192:-0.8, 256:0.5, 320:-0.2, 384:0.08, 512:0"),
    ("env_late_release", "Late release",
     "0:0, 256:-0.8, 384:-0.8, 448:0.25, 512:0"),
    ("env_split_attack", "Split attack",
     "0:0, 32:-0.6, 64:-0.2, 128:-0.8, 320:-0.2, 512:0"),
    ("env_suspended", "Suspended answer",
     "0:0, 64:-0.75, 128:0, 256:0, 384:-0.55, 448:-0.55, 512:0"),
    ("env_valley_peaks", "Valley between peaks",
     "0:0, 64:-0.7, 192:-0.3, 256:-0.82, 384:0.2, 512:0"),
    ("env_four_breaths", "Four breathing accents",
     "0:0, 64:-0.7, 128:0, 192:-0.5, 256:0, 320:-0.8, 384:0, 448:-0.3, 512:0"),
    ("env_return_stair", "Stepped soft recovery",
     "0:0, 128:-0.8, 192:-0.8, 256:-0.5, 320:-0.5, 384:-0.2, 448:-0.2, 512:0"),
]


def parse_keys(text):
    return [(int(pip), float(value))
            for pip, value in (key.split(":") for key in text.split(", "))]


def envelope(keys):
    def recipe(P):
        return 0.0, keyframed(P, keys)
    return recipe


# --- programmed sequences ---------------------------------------------------------------------
# Keyframe j holds x = 0.82·f_j and y = 0.287·sin(2πj/n). _even spaces the n
# keyframes equally; _lilt sets them in long-short pairs of 1024/n pips whose
# inner keyframe lies two thirds of the way through the pair.

SEQUENCES = [
    ("up_down", [-1, -0.375, 0.25, 1, 0.5, -0.125]),
    ("pendulum", [0, 1, 0, -1, 0, 0.5, 0, -0.5]),
    ("octave", [0, 1, 0.25, 0.8125, -0.25, -1, -0.5, -0.8125]),
    ("unequal", [0, 0.75, -0.25, 1, -0.875, 0.125]),
    ("question", [-0.75, -0.25, 0.375, 1, 0.75, 0.25]),
    ("answer", [0.75, 0.125, -1, -0.625, -0.125, 0.375]),
    ("ratchet", [0, 0.375, 0, 0.75, 0, 1, 0, -0.375]),
    ("stairs", [-1, -0.5, 0, 0.5, 1, 1, 0, -1]),
]
SEQUENCE_SWAY = 0.287


def even_times(n, P):
    return [P * j / n for j in range(n)]


def lilt_times(n, P):
    """0, 2/3, 1, 1 2/3, 2, ... pair lengths of 2P/n."""
    return [float(F(2 * P, n) * (j // 2 + F(2, 3) * (j % 2))) for j in range(n)]


def sequence(values, spacing):
    n = len(values)

    def recipe(P):
        times = spacing(n, P)
        x = [(t, PEAK * f) for t, f in zip(times, values)]
        y = [(t, SEQUENCE_SWAY * sin(TAU * j / n)) for j, t in enumerate(times)]
        return keyframed(P, x + [(P, x[0][1])]), keyframed(P, y + [(P, y[0][1])])
    return recipe


# --- gestures -------------------------------------------------------------------------------
# The loop is N units of 512/N pips; poses sit at unit numbers and are given as
# fractions of 0.82. A pair is (x, y); a triple (x, y, z).

GESTURES = [
    ("gesture_side_reach", "side reach", 7,
     "0: (0, 0); 2: (1, 0); 3: (1, -3/4); 5: (0, 0); 6: (-3/4, 0); 7: (0, 0)"),
    ("gesture_cross_reach", "cross and reach", 6,
     "0: (-1, 2/7); 2: (6/7, -5/7); 3: (-6/7, -5/7); 5: (1, 2/7); 6: (-1, 2/7)"),
    ("gesture_low_scoop", "low scoop", 7,
     "0: (-1, -2/7); 2: (-4/7, 6/7); 3: (4/7, 6/7); 5: (1, -2/7); 6: (0, -5/7); 7: (-1, -2/7)"),
    ("gesture_high_arc", "high arc", 7,
     "0: (-1, 0); 2: (-1/2, -3/4); 3: (1/2, -3/4); 5: (1, 0); 6: (0, 1/4); 7: (-1, 0)"),
    ("gesture_corner_taps", "corner taps", 11,
     "0: (0, 0); 2: (-1, -5/7); 3: (0, 0); 5: (1, -5/7); 6: (0, 0); 7: (1, 5/7); 9: (0, 0); "
     "10: (-1, 5/7); 11: (0, 0)"),
    ("gesture_diagonal_touch", "diagonal touch", 7,
     "0: (-1, 5/7); 2: (0, 0); 3: (1, -5/7); 5: (0, 0); 6: (5/7, 3/7); 7: (-1, 5/7)"),
    ("gesture_box_return", "box and centre", 7,
     "0: (-1, 5/6); 2: (-1, -5/6); 3: (1, -5/6); 5: (1, 5/6); 6: (0, 0); 7: (-1, 5/6)"),
    ("gesture_zigzag_lift", "zigzag lift", 7,
     "0: (-1, 5/7); 2: (4/7, 1/7); 3: (-4/7, -2/7); 5: (1, -6/7); 6: (0, 0); 7: (-1, 5/7)"),
    ("gesture_duck_sway", "duck and sway", 9,
     "0: (-1, 0); 2: (-1/2, 9/14); 3: (0, 11/14); 5: (1, 0); 6: (1/2, -5/14); 7: (0, -3/7); "
     "9: (-1, 0)"),
    ("gesture_push_pull", "push and pull", 6,
     "0: (0, 0, 0); 2: (3/8, -1/4, 1); 3: (-3/8, 1/4, -3/4); 5: (5/8, 1/8, 0); 6: (0, 0, 0)"),
    ("gesture_reach_depth", "reach through depth", 6,
     "0: (-5/7, 3/7, 0); 2: (0, -6/7, 1); 3: (5/7, 3/7, 0); 5: (0, -3/7, -5/7); "
     "6: (-5/7, 3/7, 0)"),
    ("gesture_bow_turn", "bow and turn", 6,
     "0: (-1, 0, 0); 2: (0, 1, 7/12); 3: (1, 0, 0); 5: (0, -5/12, -3/4); 6: (-1, 0, 0)"),
    ("gesture_heel_toe", "heel-toe abstract", 9,
     "0: (0, 0); 2: (-8/13, 6/13); 3: (-1, -6/13); 5: (0, 0); 6: (8/13, 6/13); 7: (1, -6/13); "
     "9: (0, 0)"),
    ("gesture_hop_answer", "hop and answer", 9,
     "0: (0, 0); 2: (-6/7, -1); 3: (-6/7, 0); 5: (0, 0); 6: (6/7, -4/7); 7: (6/7, 0); 9: (0, 0)"),
    ("gesture_spiral_reach", "spiral reach", 9,
     "0: (0, 0, 0); 2: (1/2, -1/2, 1/3); 3: (1, 0, 2/3); 5: (1/2, 1, 1); 6: (-1, 1/2, 1/3); "
     "7: (-1/2, -5/6, 0); 9: (0, 0, 0)"),
    ("gesture_diamond_depth", "depth diamond", 6,
     "0: (0, -1, 0); 2: (1, 0, 1); 3: (0, 1, 0); 5: (-1, 0, -1); 6: (0, -1, 0)"),
]


def parse_poses(text):
    """[(unit, (fractions...)), ...] from "unit: (a, b[, c]); ..."."""
    poses = []
    for item in text.split("; "):
        unit, pose = item.split(": ")
        poses.append((int(unit), tuple(F(v) for v in pose.strip("()").split(", "))))
    return poses


def gesture(units, poses):
    def recipe(P):
        unit = F(P, units)
        axes = []
        for a in range(len(poses[0][1])):
            keys = [(float(u * unit), PEAK * float(pose[a])) for u, pose in poses]
            axes.append(keyframed(P, keys))
        return tuple(axes)
    return recipe


def register_envelopes(pattern):
    for name, label, keys in ENVELOPES:
        pattern(name, 512, 2,
                label + " over an eight-beat phrase; smooth, resting joins.")(
            envelope(parse_keys(keys)))


def register_sequences(pattern):
    for shape, values in SEQUENCES:
        for kind, spacing in (("even", even_times), ("lilt", lilt_times)):
            pattern(f"seq_{shape}_{kind}", 512, 2,
                    f"A programmed position sequence with {kind} segment durations and softened "
                    f"transitions.")(sequence(values, spacing))


def register_gestures(pattern):
    for name, label, units, poses in GESTURES:
        poses = parse_poses(poses)
        pattern(name, 512, len(poses[0][1]),
                "An original single-point " + label + " gesture. Abstract motion, not a "
                "full-body dance or biomechanical recording.")(gesture(units, poses))
