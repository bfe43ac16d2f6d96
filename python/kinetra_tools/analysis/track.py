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

TIGHTNESS = 150.0
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
    beat = tail + int(np.argmax(score[tail:]))
    out = []
    while beat >= 0:
        out.append(beat)
        beat = int(back[beat])
    return np.asarray(out[::-1], dtype=np.int64)


OFFBEAT_BINS = 12


def _profile(values: np.ndarray, frames: np.ndarray, bins: int) -> np.ndarray:
    """Mean of ``values`` (maxed over 5 frames) at ``bins`` even steps through each beat interval."""
    n = len(values)
    peak = np.max([values[np.clip(np.arange(n) + d, 0, n - 1)] for d in range(-2, 3)], axis=0)
    starts, gaps = frames[:-1], np.diff(frames)
    where = starts[:, None] + gaps[:, None] * (np.arange(bins)[None, :] / bins)
    out: np.ndarray = peak[np.clip(np.round(where).astype(np.int64), 0, n - 1)].mean(axis=0)
    return out


def offbeats(frames: np.ndarray, strength: np.ndarray) -> np.ndarray:
    """The other pulse of the same period: beats moved to the strongest point of the
    middle third of each beat interval (the offbeat, straight or swung)."""
    profile = _profile(strength, frames, OFFBEAT_BINS)
    third = OFFBEAT_BINS // 3
    step = (third + int(np.argmax(profile[third:OFFBEAT_BINS - third + 1]))) / OFFBEAT_BINS
    gaps = np.diff(frames)
    moved = frames[:-1] + np.round(gaps * step).astype(np.int64)
    return np.append(moved, min(frames[-1] + int(round(gaps[-1] * step)), len(strength) - 1))


def trim(strength: np.ndarray, frames: np.ndarray, floor: float) -> np.ndarray:
    """Beats from the first one with an onset on it to the last (none in a silent
    lead-in or a fading tail)."""
    n = len(strength)
    near = np.max([strength[np.clip(frames + d, 0, n - 1)] for d in range(-3, 4)], axis=0)
    strong = np.flatnonzero(near >= floor * np.median(near))
    if not len(strong):
        return frames[:0]
    return frames[strong[0]:strong[-1] + 1]


def refine(strength: np.ndarray, frames: np.ndarray) -> np.ndarray:
    """Beat frames moved to the onset peak's parabolic vertex (within a frame)."""
    n = len(strength)
    f = np.clip(frames, 1, n - 2)
    a, b, c = strength[f - 1], strength[f], strength[f + 1]
    den = a - 2 * b + c
    shift = np.where((b >= a) & (b >= c) & (den < 0), 0.5 * (a - c) / np.where(den < 0, den, -1), 0.0)
    out: np.ndarray = frames + np.clip(shift, -0.5, 0.5)
    return out
