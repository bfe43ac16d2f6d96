"""Scored families: Euclidean rhythms, polyrhythms, meter groupings, swing
scores and stick studies. Every event is a bump that adds a fixed vector
(x, y, z); bumps that overlap add. Nothing is rescaled.
"""

from primitives import euclid_onsets

from atlas.common import events

EIGHTH = 32  # pips


# --- Euclidean rhythms ------------------------------------------------------------------
# n steps of an eighth; step i carries an onset when (i*k) mod n < k. Onset 0 is
# the phrase accent; later onsets alternate sides, + for even j.

EUCLID = [(2, 5), (3, 7), (3, 10), (4, 9), (4, 11), (5, 9), (5, 11), (5, 13), (5, 14),
          (6, 13), (7, 12), (7, 15), (7, 17), (8, 19), (9, 20), (11, 24)]
EUCLID_ACCENT = (0.75, -0.32, 0.0)
EUCLID_ONSET = (0.5625, -0.24, 0.0)
EUCLID_HALF_WIDTH = 24


def euclid(k, n):
    def recipe(P):
        hits = []
        for j, step in enumerate(euclid_onsets(k, n)):
            x, y, z = EUCLID_ACCENT if j == 0 else EUCLID_ONSET
            side = 1 if j % 2 == 0 else -1
            hits.append((EIGHTH * step, EUCLID_HALF_WIDTH, (side * x, y, z)))
        return events(P, hits)
    return recipe


# --- polyrhythms ------------------------------------------------------------------------
# A left lane of a pulses and a right lane of b pulses over 512 pips; the first
# pulse of each lane is the accent, its vector divided by 0.65.

POLY = [(2, 5), (2, 7), (2, 9), (3, 5), (3, 7), (3, 8), (3, 10), (4, 5), (4, 7), (4, 9),
        (5, 6), (5, 7), (5, 8), (5, 9), (6, 7), (7, 8)]
POLY_LEFT = (-0.403, -0.169, 0.0)
POLY_RIGHT = (0.403, -0.169, 0.143)
POLY_ACCENT = 0.65
POLY_HALF_WIDTH = 22.4


def poly(a, b):
    def lane(P, count, pulse):
        accent = tuple(v / POLY_ACCENT for v in pulse)
        return [(P * j / count, POLY_HALF_WIDTH, accent if j == 0 else pulse)
                for j in range(count)]

    def recipe(P):
        return events(P, lane(P, a, POLY_LEFT) + lane(P, b, POLY_RIGHT))
    return recipe


# --- meter groupings ----------------------------------------------------------------------
# Groups of eighth notes; a group start leans to the side of its group's parity,
# every other eighth is a quiet subdivision.

METERS = [(2, 3), (3, 2), (3, 2, 2), (2, 3, 2), (3, 4), (4, 3), (2, 2, 2, 3), (2, 3, 2, 2),
          (3, 2, 3, 2), (3, 3, 2, 3), (2, 2, 3, 2, 3), (3, 3, 3, 2), (4, 3, 3), (3, 4, 4),
          (2, 3, 3, 2, 3), (3, 3, 3, 4)]
GROUP_START = (0.72, -0.33, 0.0)
GROUP_HALF_WIDTH = 19.2
SUBDIVISION = (0.0, -0.1134, 0.0504)
SUBDIVISION_HALF_WIDTH = 32 / 3


def meter(groups):
    def recipe(P):
        hits = []
        i = 0
        for g, length in enumerate(groups):
            side = 1 if g % 2 == 0 else -1
            x, y, z = GROUP_START
            hits.append((EIGHTH * i, GROUP_HALF_WIDTH, (side * x, y, z)))
            hits += [(EIGHTH * (i + e), SUBDIVISION_HALF_WIDTH, SUBDIVISION)
                     for e in range(1, length)]
            i += length
        return events(P, hits)
    return recipe


# --- swing scores ---------------------------------------------------------------------------
# Eight beats; the offbeat of beat k lies at 64k + 64r, r = a/b.

SWING_FRACTIONS = [(3, 5), (2, 3), (5, 7), (3, 4)]
SWING_KINDS = ["push", "answer", "skip", "shuffle"]
DOWNBEAT_ACCENT = (0.585, -0.216, 0.0)    # k mod 4 = 0
DOWNBEAT = (0.4225, -0.156, 0.0)          # + for even k, - for odd k
DOWNBEAT_HALF_WIDTH = 12.8
PUSH = (0.075, -0.15, 0.09)
PUSH_HALF_WIDTH = 8
OFFBEAT = (-0.325, -0.12, 0.0)            # - for even k, + for odd k
OFFBEAT_HALF_WIDTH = 12.8
PICKUP = (0.0525, -0.105, 0.063)          # half-way to the offbeat, k mod 4 = 3
PICKUP_HALF_WIDTH = 6.4


def swing(kind, a, b):
    r = a / b

    def recipe(P):
        hits = []
        for k in range(8):
            beat = 64 * k
            if not (kind == "skip" and k % 4 == 2):
                if k % 4 == 0:
                    hits.append((beat, DOWNBEAT_HALF_WIDTH, DOWNBEAT_ACCENT))
                else:
                    side = 1 if k % 2 == 0 else -1
                    x, y, z = DOWNBEAT
                    hits.append((beat, DOWNBEAT_HALF_WIDTH, (side * x, y, z)))
            offbeat = beat + 64 * r
            if kind in ("push", "skip"):
                hits.append((offbeat, PUSH_HALF_WIDTH, PUSH))
            if kind == "shuffle" or (kind == "answer" and k >= 4):
                side = 1 if k % 2 == 0 else -1
                x, y, z = OFFBEAT
                hits.append((offbeat, OFFBEAT_HALF_WIDTH, (side * x, y, z)))
            if kind == "shuffle" and k % 4 == 3:
                hits.append((beat + 32 * r, PICKUP_HALF_WIDTH, PICKUP))
        return events(P, hits)
    return recipe


# --- stick studies --------------------------------------------------------------------------
# Sixteen strokes, one an eighth apart: the sticking, then the sticking with the
# hands swapped. Strokes with i mod 4 = 0 are accents.

STICKINGS = ["RLRR LRLL", "RRLR LLRL", "RLLR LRRL", "RRLL RLRL",
             "RLRL RRLL", "RRRL LLRL", "RLLL RRRL", "RRLR RLLL",
             "RLRR LLRL", "RRLL RLLR", "RLRL LRRL", "RRRL RLLL",
             "RRRR LRLL", "RRLL LRRL", "RLRR RLLL", "RRLR LLLR"]
STICK_ACCENT = (0.74, -0.34, 0.0)
STICK_TAP = (0.407, -0.187, 0.0)
STICK_HALF_WIDTH = 12


def stick_study(sticking):
    first = sticking.replace(" ", "")
    swapped = first.translate(str.maketrans("RL", "LR"))

    def recipe(P):
        hits = []
        for i, hand in enumerate(first + swapped):
            x, y, z = STICK_ACCENT if i % 4 == 0 else STICK_TAP
            side = 1 if hand == "R" else -1
            hits.append((EIGHTH * i, STICK_HALF_WIDTH, (side * x, y, z)))
        return events(P, hits)
    return recipe


def register(pattern):
    for k, n in EUCLID:
        pattern(f"euclid_{k}_{n}", EIGHTH * n, 2,
                "Evenly distributed accents with alternating sides; first onset is the phrase "
                "accent.")(euclid(k, n))
    for a, b in POLY:
        pattern(f"poly_{a}_{b}", 512, 3,
                "Two independent pulse trains share an eight-beat boundary. Each right-lane "
                "gesture includes depth.")(poly(a, b))
    for groups in METERS:
        pattern("meter_" + "_".join(map(str, groups)), EIGHTH * sum(groups), 3,
                "Group starts lean alternately left and right; quieter subdivisions mark the "
                "eighth-note grid.")(meter(groups))
    for a, b in SWING_FRACTIONS:
        for kind in SWING_KINDS:
            pattern(f"swing_{kind}_{a}_{b}", 512, 2 if kind == "answer" else 3,
                    f"Eight-beat {kind} score with offbeats at {a}/{b} of each beat; peaks "
                    f"follow the score.")(swing(kind, a, b))
    for number, sticking in enumerate(STICKINGS, start=1):
        pattern(f"stick_study_{number:02d}", 512, 2,
                "Original R/L movement study with accented group leads, followed by its "
                "hand-swapped answer. Not an official rudiment transcription.")(stick_study(sticking))
