"""Beats and bars from the network's activations: one Viterbi decode over tempo, meter and bar position.

The hidden state of a beat is (meter, its position in the bar, tempo). A beat
of tempo k follows the one before it by exactly ``periods[k]`` frames, at the
position after it in the bar of the same meter; between two beats the tempo may
move to a neighbouring state (up to ``REACH`` steps, each step about 2 %) at a
cost growing with the size of the change, so a song drifts and steps but does
not wander. A beat scores how much likelier the network finds a beat (or, on a
bar's first position, a downbeat) than none at its frame; frames between beats
score nothing, which is the same as scoring them as no beat. Each beat also
scores the learned prior of its tempo (how often listeners tap at it in the
corpus), and the first beat the prior of its meter. A path runs through the
whole recording, from a beat within a period of its start to one within a
period of its end, so a quiet passage keeps the pulse of the music around
it; beats in silence before and after the music are trimmed afterwards.

Since a beat depends only on beats at least a shortest period earlier, the
scores of a block of frames that long are computed together, as arrays; only
which tempo each beat came from is kept per frame (one byte a state), and the
scores themselves in a ring as long as the longest period.
"""

from __future__ import annotations

import math

import numpy as np

STEP = 1.02             # ratio between neighbouring tempo states (at least one frame apart)
REACH = 3               # tempo states a beat may move from the one before
CHANGE_COST = 40.0      # per unit of |log ratio| of a tempo change between two beats
PRIOR_WEIGHT = 0.15     # how much each beat scores the learned tempo prior
OBS_WEIGHT = 1.0
DOWN_WEIGHT = 1.0       # weight of whether a beat starts a bar
CERTAINTY = 0.05        # the network's word on a bar's start counts at most 1 - this
DOUBT = 0.1             # activation below which a frame's downbeat likelihood counts less
FLOOR = 0.03            # activations are clipped to [FLOOR, 1 - FLOOR]
START = 127             # "the path starts here" in the back pointers


def tempo_periods(fps: float, lo_bpm: float, hi_bpm: float) -> np.ndarray:
    """Beat periods in whole frames, from the fastest tempo to the slowest, at least
    one frame and about STEP apart. They reach the whole frames either side of the
    range, so that a path may alternate between them to keep any tempo in it (even
    an exact one, which is seldom a whole number of frames)."""
    shortest = max(1, math.floor(60.0 * fps / hi_bpm))
    longest = max(shortest + 1, math.ceil(60.0 * fps / lo_bpm))
    out = [shortest]
    while True:
        nxt = max(out[-1] + 1, int(round(out[-1] * STEP)))
        if nxt > longest:
            break
        out.append(nxt)
    return np.asarray(out, dtype=np.int64)


def decode(act: np.ndarray, fps: float, meters: tuple[int, ...], bpm_range: tuple[float, float],
           prior_bpm: np.ndarray, prior_log: np.ndarray,
           meter_log: dict[int, float]) -> tuple[np.ndarray, np.ndarray, int]:
    """(beat frames, their positions in the bar (0 = downbeat), meter) of the best path,
    for activations ``act`` (frames, 2: beat, downbeat)."""
    n = len(act)
    periods = tempo_periods(fps, *bpm_range)
    k_count = len(periods)
    bpm = 60.0 * fps / periods
    tempo_prior = PRIOR_WEIGHT * np.interp(np.log2(bpm), np.log2(prior_bpm), prior_log)

    # Per-frame log likelihood ratios of a beat and of a downbeat against no beat,
    # the activations first widened by a frame either side.
    a = np.clip(act.astype(np.float64), FLOOR, 1 - FLOOR)
    wide = a.copy()
    wide[1:] = np.maximum(wide[1:], a[:-1])
    wide[:-1] = np.maximum(wide[:-1], a[1:])
    beat = wide[:, 0]
    # How likely a beat there starts a bar, given that it is a beat; where the network
    # hears no beat it has no say on bars (one bar start in four).
    first = np.clip((wide[:, 1] + 0.25 * DOUBT) / (beat + DOUBT), CERTAINTY, 1 - CERTAINTY)
    gain = OBS_WEIGHT * (np.log(beat) - np.log(1 - beat))
    gain_beat = gain + DOWN_WEIGHT * np.log(1 - first)
    gain_down = gain + DOWN_WEIGHT * np.log(first)

    # States: for each meter, each position in its bar, each tempo.
    meter_of, position, tempo, predecessors = [], [], [], []
    offset = 0
    for m in meters:
        for b in range(m):
            for k in range(k_count):
                meter_of.append(m)
                position.append(b)
                tempo.append(k)
                before = offset + ((b - 1) % m) * k_count
                predecessors.append([before + k + j if 0 <= k + j < k_count else -1
                                     for j in range(-REACH, REACH + 1)])
        offset += m * k_count
    state_tempo = np.asarray(tempo)
    state_pos = np.asarray(position)
    state_meter = np.asarray(meter_of)
    pred = np.asarray(predecessors)
    s_count = len(state_tempo)
    js = np.arange(-REACH, REACH + 1)
    moved = np.clip(state_tempo[:, None] + js[None, :], 0, k_count - 1)
    change = -CHANGE_COST * np.abs(np.log(periods[moved] / periods[state_tempo][:, None]))
    change[pred < 0] = -np.inf
    pred = np.where(pred < 0, 0, pred)
    start = np.array([meter_log.get(int(m), -np.inf) for m in state_meter]) + tempo_prior[state_tempo]
    is_down = state_pos == 0
    state_gain_prior = tempo_prior[state_tempo].astype(np.float32)

    ring_size = int(periods[-1]) + int(periods[0]) + 1
    ring = np.full(ring_size * s_count, -np.inf, dtype=np.float32)
    back = np.empty((n, s_count), dtype=np.int8)
    block = int(periods[0])
    step = periods[state_tempo]                          # frames back to a state's previous beat
    change = change.astype(np.float32)
    start = start.astype(np.float32)
    gains = np.stack((gain_beat, gain_down), axis=1).astype(np.float32)
    which = is_down.astype(np.int64)
    pred_t = [np.ascontiguousarray(pred[:, d]) for d in range(pred.shape[1])]
    change_t = [np.ascontiguousarray(change[:, d]) for d in range(change.shape[1])]
    best_score, best_at = -np.inf, (0, 0)
    for t0 in range(0, n, block):
        t = np.arange(t0, min(n, t0 + block))
        source = t[:, None] - step[None, :]              # (frames, states)
        rows = source % ring_size
        base = rows * s_count
        carried = ring.take(base + pred_t[0]) + change_t[0]
        j = np.zeros(carried.shape, dtype=np.int8)
        for d in range(1, len(pred_t)):
            cand = ring.take(base + pred_t[d]) + change_t[d]
            better = cand > carried
            np.maximum(carried, cand, out=carried)
            j[better] = d
        carried[source < 0] = -np.inf
        # A path starts with a beat within a period of the beginning.
        fresh = (start[None, :] >= carried) & (source < 0)
        score = np.where(fresh, start[None, :], carried)
        score += gains[t][:, which]
        score += state_gain_prior[None, :]
        ring.reshape(ring_size, s_count)[t % ring_size] = score
        j[fresh] = START
        back[t] = j
        # and ends with one within a period of the end.
        if t[-1] + int(periods[-1]) >= n:
            last = np.where(t[:, None] + step[None, :] >= n, score, -np.inf)
            top = int(np.argmax(last))
            if last.flat[top] > best_score:
                best_score, best_at = float(last.flat[top]), (int(t[top // s_count]), top % s_count)

    frames: list[int] = []
    positions: list[int] = []
    at, state = best_at
    while True:
        frames.append(at)
        positions.append(int(state_pos[state]))
        came = int(back[at, state])
        if came == START:
            break
        at -= int(step[state])
        state = int(pred[state, came])
    meter = int(state_meter[best_at[1]])
    return np.asarray(frames[::-1]), np.asarray(positions[::-1]), meter


def near(frames: np.ndarray, values: np.ndarray) -> np.ndarray:
    """The largest of ``values`` at each of ``frames`` or a frame either side."""
    n = len(values)
    out: np.ndarray = np.max([values[np.clip(frames + d, 0, n - 1)] for d in (-1, 0, 1)], axis=0)
    return out


def trim(frames: np.ndarray, values: np.ndarray, floor: float) -> slice:
    """The run of beats from the first to the last whose value (within a frame) reaches ``floor``."""
    strong = np.flatnonzero(near(frames, values) >= floor)
    if not len(strong):
        return slice(0, 0)
    return slice(int(strong[0]), int(strong[-1]) + 1)


def refine(frames: np.ndarray, beat: np.ndarray) -> np.ndarray:
    """Beat frames moved to the activation peak within a frame either side, then to its
    parabolic vertex (fractional frames)."""
    n = len(beat)
    if n < 3:
        return frames.astype(np.float64)
    f = np.clip(frames, 1, n - 2)
    around = np.stack([beat[np.clip(f + d, 0, n - 1)] for d in (-1, 0, 1)], axis=1)
    f = np.clip(f + np.argmax(around, axis=1) - 1, 1, n - 2)
    a, b, c = beat[f - 1], beat[f], beat[f + 1]
    den = a - 2 * b + c
    shift = np.where((b >= a) & (b >= c) & (den < 0), 0.5 * (a - c) / np.where(den < 0, den, -1), 0.0)
    out: np.ndarray = f + np.clip(shift, -0.5, 0.5)
    return out


def log_prior(share_three: float) -> dict[int, float]:
    """Log prior of meters 3 and 4 from the corpus' share of songs in three."""
    share = min(max(share_three, 0.02), 0.98)
    return {3: math.log(share), 4: math.log(1 - share)}
