"""The eight rhythmic families: pulses from the palette placed on musical grids.

Every recipe fills a `Score` (see pulses.py) and returns its columns. Event
times are exact fractions of a beat; a beat is 64 pips.
"""

from fractions import Fraction as F

from continuum.pulses import BEAT, DEPTH, DROP, LEFT, LIFT, RIGHT, THIRD, Score, combine

# --- canon -------------------------------------------------------------------------

CANON_DESCRIPTION = ("A rational-beat motif passes between lateral and depth lanes, "
                     "with an altered second-half response.")

# Each motif: the call times of the lateral lane in beats, on a grid of thirds
# and halves, all within the first half (four beats).
CANON_MOTIFS = {
    "01": (0, 1, F(7, 3), F(10, 3)),
    "02": (0, F(1, 2), F(5, 3), F(5, 2), 3),
    "03": (0, F(2, 3), F(3, 2), F(8, 3), F(7, 2)),
    "04": (0, F(4, 3), 2, F(8, 3)),
    "05": (0, F(1, 2), 1, F(7, 3), 3),
    "06": (0, F(5, 3), F(5, 2), F(10, 3)),
    "07": (0, F(2, 3), F(4, 3), 2, F(5, 2), F(10, 3)),
    "08": (0, 1, F(3, 2), F(8, 3), F(7, 2)),
}
CLOSE_LAG = THIRD               # the lateral answer, a third of a beat after its call
LATE_LAG = THIRD + BEAT // 2    # a half beat later still


def canon_close(motif):
    """Calls answered a third later; the second half sounds the calls in depth,
    each followed by a drop one lag after the answer would have been."""
    def recipe(P):
        s = Score(P)
        for beat in motif:
            t = BEAT * F(beat)
            s.pulse(t, 0.9, LEFT)
            s.pulse(t + CLOSE_LAG, 0.7, RIGHT)
            s.pulse(t + 256, 0.6, DEPTH)
            s.pulse(t + 256 + 2 * CLOSE_LAG, 0.55, DROP)
        return s.columns()
    return recipe


def canon_late(motif):
    """Calls answered five sixths of a beat later; the depth response is
    rearranged: the motif runs backwards through the second half (its last
    call answered at pip 256), drop first and its depth a third later."""
    def recipe(P):
        s = Score(P)
        last = BEAT * F(motif[-1])
        for beat in motif:
            t = BEAT * F(beat)
            s.pulse(t, 0.9, LEFT)
            s.pulse(t + LATE_LAG, 0.7, RIGHT)
            mirrored = 256 + (last - t)
            s.pulse(mirrored, 0.55, DROP)
            s.pulse(mirrored + THIRD, 0.6, DEPTH)
        return s.columns()
    return recipe


# --- echo --------------------------------------------------------------------------

ECHO_DESCRIPTION = ("An original decaying call and a differently directed answer; "
                    "echo spacing is preserved as fractions.")


def echo_times(n, variant):
    spacing = {
        "regular": lambda j: F(32),
        "crossed": lambda j: F(32),
        "shrinking": lambda j: F(32 * (n - j), n),
        "expanding": lambda j: F(32 * (j + 1), n),
    }[variant]
    times = [F(0)]
    for j in range(n - 1):
        times.append(times[-1] + spacing(j))
    return times


def echo(n, variant):
    def recipe(P):
        s = Score(P)
        cycle = (LEFT, DROP, RIGHT, DEPTH) if variant == "crossed" else (LEFT, RIGHT)
        for j, t in enumerate(echo_times(n, variant)):
            s.pulse(t, 0.83 ** j, cycle[j % len(cycle)])
            if j % 2 == 0:
                s.pulse(256 + t, 0.86 ** j, LIFT)
            else:
                s.pulse(256 + t, 0.86 ** j * 0.8, DEPTH)
        return s.columns()
    return recipe


# --- ladder ------------------------------------------------------------------------

LADDER_DESCRIPTION = ("Four two-beat regions change subdivision density while accents "
                      "mark region starts.")
LADDER_COUNTS = (
    (2, 3, 4, 6), (3, 5, 4, 2), (2, 5, 3, 7), (4, 3, 6, 5), (2, 4, 7, 3), (3, 6, 2, 5),
    (5, 3, 7, 4), (6, 4, 3, 2), (2, 7, 4, 5), (7, 3, 5, 2), (4, 7, 3, 6), (5, 2, 6, 3),
    (3, 4, 5, 7), (6, 5, 4, 3), (7, 5, 3, 4), (4, 6, 7, 5),
)
LADDER_VECTORS = (LEFT, RIGHT, DEPTH, DROP)
LADDER_SCALES = (0.68, 0.76, 0.60)  # events after the accent, cycling


def ladder(counts):
    def recipe(P):
        s = Score(P)
        for r, count in enumerate(counts):
            for j in range(count):
                scale = 1.0 if j == 0 else LADDER_SCALES[(j - 1) % 3]
                s.pulse(128 * r + F(128 * j, count), scale, LADDER_VECTORS[(r + j) % 4])
        return s.columns()
    return recipe


# --- necklace ----------------------------------------------------------------------

NECKLACE_DESCRIPTION = ("A hand-authored binary accent word; its complement moves the other "
                        "side and rising accents add depth.")
NECKLACE_WORDS = (
    "1001011000101100", "1010001101010010", "1100100100011010", "1011010001001001",
    "1000110101100010", "1101000100101010", "1010010011100010", "1110001001010010",
    "1001100010100101", "1100010100100110", "1010100011001001", "1001001111010010",
    "1100101000101001", "1011000100010110", "1001010010011100", "1110010001010100",
)
NECKLACE_DEPTH_LAG = F(32, 3)  # a third of a slot: 10⅔ pips


def necklace(word):
    def recipe(P):
        s = Score(P)
        for slot, bit in enumerate(word):
            t = 32 * slot
            if bit == "1":
                s.pulse(t, 0.8, LEFT)
                if word[slot - 1] == "0":  # a rising accent (slot -1 is slot 15)
                    s.companion(t, NECKLACE_DEPTH_LAG, 0.5, DEPTH)
            else:
                s.pulse(t, 0.35, RIGHT)
        return s.columns()
    return recipe


# --- accent walk -------------------------------------------------------------------

ACCENT_WALK_DESCRIPTION = ("A four-bar grid keeps its pulse spacing while a two-accent motif "
                           "migrates between bars.")

ACCENT_WALK_PAIRS = (
    (5, 1), (5, 2), (7, 1), (7, 2), (7, 3), (8, 1), (8, 3), (9, 1), (9, 2), (9, 4), (10, 3),
    (11, 2), (11, 3), (12, 5), (13, 3), (13, 5),
)


def accent_walk(n, k):
    def recipe(P):
        s = Score(P)
        for b in range(4):
            accents = {b * k % n, (b * k + 2) % n}
            for j in range(n):
                direction = LEFT if (b + j) % 2 == 0 else RIGHT
                t = 256 * b + F(256 * j, n)
                if j in accents:
                    s.pulse(t, 1.0, combine((0.95, direction), (0.48, DEPTH)))
                else:
                    s.pulse(t, 0.4, direction)
        return s.columns()
    return recipe


# --- triplet -----------------------------------------------------------------------

TRIPLET_DESCRIPTION = ("Triplet-grid gestures with deliberate omissions; gaps either answer "
                       "off-grid or rotate after four beats.")
TRIPLET_WORDS = {
    "01": {0, 2, 3, 4, 6, 8, 11}, "02": {0, 1, 3, 5, 7, 8, 10},
    "03": {0, 1, 2, 4, 6, 9, 10}, "04": {0, 2, 4, 5, 6, 7, 11},
    "05": {0, 1, 3, 4, 7, 10, 11}, "06": {0, 3, 4, 5, 7, 8, 9},
    "07": {0, 1, 2, 5, 7, 9, 11}, "08": {0, 2, 3, 5, 8, 9, 10},
}
TRIPLET_VECTORS = (LEFT, DEPTH, RIGHT)


def triplet_slot(s, slot):
    """The pulse of global triplet slot `slot` (0 to 23)."""
    scale = 0.95 if slot % 6 == 0 else 0.65
    s.pulse(THIRD * slot, scale, TRIPLET_VECTORS[slot % 3])


def triplet_answer(word):
    def recipe(P):
        s = Score(P)
        for half in (0, 12):
            for slot in range(12):
                if slot in word:
                    triplet_slot(s, half + slot)
                else:
                    s.pulse(THIRD * (half + slot) + THIRD / 2, 0.6, DROP)
        return s.columns()
    return recipe


def triplet_turnaround(word):
    def recipe(P):
        s = Score(P)
        for slot in sorted(word):
            triplet_slot(s, slot)
        for slot in sorted((w + 9) % 12 for w in word):
            triplet_slot(s, 12 + slot)
        return s.columns()
    return recipe


# --- dialogue ----------------------------------------------------------------------

DIALOGUE_DESCRIPTION = ("Different eighth-note group lengths pass a phrase between directions, "
                        "with late pickup responses.")
DIALOGUE_GROUPS = (
    (3, 4, 5), (5, 3, 4), (3, 5, 2), (2, 5, 4), (4, 3, 2), (3, 2, 4, 5), (5, 2, 3, 4),
    (2, 3, 5, 3), (3, 4, 3, 5), (5, 4, 2, 3), (2, 4, 5, 2), (4, 5, 3, 2), (3, 5, 4, 3),
    (5, 3, 2, 5), (2, 5, 3, 5), (4, 3, 5, 4),
)
DIALOGUE_VECTORS = (LEFT, RIGHT, DROP, DEPTH)


def dialogue(groups):
    def recipe(P):
        s = Score(P)
        start = 0
        for g, length in enumerate(groups):
            s.pulse(start - 16, 0.5625, LIFT)  # the pickup; the first one wraps
            for e in range(length):
                s.pulse(start + 32 * e, 1.0 if e == 0 else 0.55, DIALOGUE_VECTORS[g])
            start += 32 * length
        return s.columns()
    return recipe


# --- burst -------------------------------------------------------------------------

BURST_DESCRIPTION = ("Three unevenly subdivided directional bursts, deliberate gaps and a "
                     "late settling accent.")
BURST_COUNTS = (
    (3, 5, 2), (4, 3, 6), (5, 2, 4), (2, 7, 3), (3, 4, 5), (5, 3, 7), (6, 2, 5), (4, 7, 2),
    (7, 3, 4), (2, 5, 6), (5, 7, 3), (3, 6, 4), (4, 5, 7), (6, 3, 5), (7, 4, 3), (5, 6, 2),
)
BURST_STARTS = (0, 160, 320)
BURST_VECTORS = (LEFT, DROP, RIGHT)
BURST_DEPTH_LAG = 11


def burst(counts):
    def recipe(P):
        s = Score(P)
        for start, vector, n in zip(BURST_STARTS, BURST_VECTORS, counts):
            for j in range(n):
                t = start + F(96 * j, n)
                s.pulse(t, 0.9 - 0.25 * j / (n - 1), vector)
                if j % 2 == 0:
                    s.companion(t, BURST_DEPTH_LAG, 5 / 12, DEPTH)
        s.pulse(496, 1.0, LIFT)
        return s.columns()
    return recipe
