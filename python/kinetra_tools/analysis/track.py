"""Beats from onset strength and a tempo curve: dynamic programming.

Each frame t gets the best score of a chain of beats ending on it: its own
onset strength plus the best chain ending one beat period earlier, where a
gap that differs from the local period ``period[t]`` pays a penalty growing
with the square of the log ratio (``TIGHTNESS``). Following the best chain
back from the end gives beats that sit on onsets and keep a steady pulse,
bending with the tempo curve through drifts and steps.
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
    log_period = np.log(period)
    for t in range(n):
        p = period[t]
        lo = t - int(LONGEST * p + 0.5)
        hi = t - int(SHORTEST * p + 0.5)
        if hi < 0:
            continue
        lo = max(lo, 0)
        gaps = np.arange(t - lo, t - hi - 1, -1, dtype=np.float64)
        cand = score[lo:hi + 1] - TIGHTNESS * (np.log(gaps) - log_period[t]) ** 2
        j = int(np.argmax(cand))
        if cand[j] > 0:
            score[t] += cand[j]
            back[t] = lo + j
    # The last beat: the best-scoring frame within the last period.
    tail = max(0, n - int(period[-1] + 0.5))
    t = tail + int(np.argmax(score[tail:]))
    out = []
    while t >= 0:
        out.append(t)
        t = int(back[t])
    return np.asarray(out[::-1], dtype=np.int64)
