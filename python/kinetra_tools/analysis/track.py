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
