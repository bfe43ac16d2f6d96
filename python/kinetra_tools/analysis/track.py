"""Beats from onset strength and a tempo curve: dynamic programming.

Each frame t gets the best score of a chain of beats ending on it: its own
onset strength plus the best chain ending one beat period earlier, where a
gap that differs from the local period ``period[t]`` pays a penalty growing
with the square of the log ratio (``TIGHTNESS``). Following the best chain
back from the end gives beats that sit on onsets and keep a steady pulse,
bending with the tempo curve through drifts and steps.

Every candidate gap is at least ``SHORTEST`` of a period, so the frames of a
block that short depend only on frames before the block: the scores are
computed a block at a time, as arrays.
"""

from __future__ import annotations

import numpy as np

TIGHTNESS = 400.0
SHORTEST = 0.7      # gaps considered, as a fraction of the local period
LONGEST = 1.4


def beat_frames(strength: np.ndarray, period: np.ndarray) -> np.ndarray:
    """Frame indices of the best chain of beats (ascending)."""
    n = len(strength)
    score = strength.astype(np.float64)
    back = np.full(n, -1, dtype=np.int64)
    shortest = (SHORTEST * period + 0.5).astype(np.int64)
    longest = (LONGEST * period + 0.5).astype(np.int64)
    width = int(np.max(longest - shortest)) + 1
    block = max(1, int(np.min(shortest)))
    log_period = np.log(period)
    offsets = np.arange(width)
    for t0 in range(0, n, block):
        t = np.arange(t0, min(n, t0 + block))
        gaps = longest[t, None] - offsets[None, :]              # gap of each candidate
        valid = (gaps >= shortest[t, None]) & (gaps <= t[:, None])
        source = np.where(valid, t[:, None] - gaps, 0)
        cand = score[source] - TIGHTNESS * (np.log(np.maximum(gaps, 1)) - log_period[t, None]) ** 2
        cand[~valid] = -np.inf
        j = np.argmax(cand, axis=1)
        best = cand[np.arange(len(t)), j]
        take = best > 0
        score[t[take]] += best[take]
        back[t[take]] = source[np.arange(len(t)), j][take]
    # The last beat: the best-scoring frame within the last period.
    tail = max(0, n - int(period[-1] + 0.5))
    t = tail + int(np.argmax(score[tail:]))
    out = []
    while t >= 0:
        out.append(t)
        t = int(back[t])
    return np.asarray(out[::-1], dtype=np.int64)


# Weights of the band groups (low, middle, high) when deciding where in the
# beat cycle the beat lies: kick and snare mark the beat, hats and shakers
# the offbeats.
PHASE_WEIGHTS = (1.0, 1.0, -0.5)
PHASE_BINS = 12


def _profile(values: np.ndarray, frames: np.ndarray, bins: int) -> np.ndarray:
    """Mean of ``values`` (maxed over 5 frames) at ``bins`` even steps through each beat interval."""
    n = len(values)
    k = np.arange(-2, 3)
    peak = np.max([values[np.clip(np.arange(n) + d, 0, n - 1)] for d in k], axis=0)
    starts, gaps = frames[:-1], np.diff(frames)
    where = starts[:, None] + gaps[:, None] * (np.arange(bins)[None, :] / bins)
    return peak[np.clip(np.round(where).astype(np.int64), 0, n - 1)].mean(axis=0)


def on_the_beat(frames: np.ndarray, groups: np.ndarray) -> np.ndarray:
    """``frames`` moved, as a whole, to the point of the beat cycle that carries the beat.

    The tracker follows the strongest pulse, which may be the offbeat (or a
    swung offbeat); kick and snare say where the beat is.
    """
    if len(frames) < 4:
        return frames
    scaled = groups / np.maximum(groups.std(axis=0), 1e-9)
    profile = _profile(scaled @ np.asarray(PHASE_WEIGHTS), frames, PHASE_BINS)
    best = int(np.argmax(profile))
    if best == 0 or profile[best] <= profile[0]:
        return frames
    step = best / PHASE_BINS
    moved = frames[:-1] + np.round(np.diff(frames) * step).astype(np.int64)
    # The last beat moves by the last interval.
    last = frames[-1] + int(round((frames[-1] - frames[-2]) * step))
    return np.append(moved, min(last, len(groups) - 1))
