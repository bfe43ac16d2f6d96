"""Bars from beats: the meter and which beats start a bar.

Every beat is described by what sounds on it and between it and the next:
the onset strength of each band group on the beat and at the half beat, and
the spectrum's band levels over the beat. Music repeats bar by bar, so the
meter is the bar length (3 or 4 beats) at which beats resemble each other
most. The phase (which beat is the first) is where a bar's first beat is
usually found: the strongest low-band onset (the kick on one), the biggest
change of sound (chord and bass changes, a crash after a fill), and the start
of the music.
"""

from __future__ import annotations

import numpy as np

METERS = (4, 3)
# A meter of three must beat four by this margin of similarity to be chosen.
THREE_MARGIN = 0.02


def _at(values: np.ndarray, frames: np.ndarray, reach: int = 2) -> np.ndarray:
    """values (frames[, columns]) maxed within ``reach`` frames of each given frame."""
    n = len(values)
    out = None
    for d in range(-reach, reach + 1):
        idx = np.clip(frames + d, 0, n - 1)
        got = values[idx]
        out = got if out is None else np.maximum(out, got)
    return out


def describe(beats: np.ndarray, groups: np.ndarray, levels: np.ndarray) -> tuple[np.ndarray, np.ndarray]:
    """(per-beat rhythm vectors, per-beat mean band levels) for beat frames ``beats``."""
    beats = np.asarray(beats)
    nxt = np.append(beats[1:], beats[-1] + (beats[-1] - beats[-2] if len(beats) > 1 else 50))
    half = (beats + nxt) // 2
    quarter = (3 * beats + nxt) // 4
    three = (beats + 3 * nxt) // 4
    scale = np.maximum(groups.mean(axis=0), 1e-6)
    g = groups / scale
    rhythm = np.concatenate([_at(g, beats), _at(g, half, 1), _at(g, quarter, 1), _at(g, three, 1)], axis=1)
    # Mean level over each beat, through a running sum (levels may be long).
    cumulative = np.concatenate((np.zeros((1, levels.shape[1])), np.cumsum(levels, axis=0, dtype=np.float64)))
    lo = np.clip(beats, 0, len(levels))
    hi = np.clip(nxt, 0, len(levels))
    hi = np.maximum(hi, lo + 1).clip(max=len(levels))
    lo = np.minimum(lo, hi - 1)
    tone = (cumulative[hi] - cumulative[lo]) / np.maximum(hi - lo, 1)[:, None]
    return rhythm, tone


def _similarity(x: np.ndarray, lag: int) -> float:
    if len(x) <= lag + 1:
        return 0.0
    a, b = x[:-lag], x[lag:]
    num = (a * b).sum(axis=1)
    den = np.linalg.norm(a, axis=1) * np.linalg.norm(b, axis=1) + 1e-9
    return float(np.mean(num / den))


def _z(x: np.ndarray) -> np.ndarray:
    s = x.std()
    return (x - x.mean()) / s if s > 1e-9 else np.zeros_like(x)


def meter_of(rhythm: np.ndarray) -> int:
    """3 or 4: the bar length at which beats' rhythm vectors repeat best."""
    centred = rhythm - rhythm.mean(axis=0)
    three = _similarity(centred, 3) + 0.5 * _similarity(centred, 6)
    four = _similarity(centred, 4) + 0.5 * _similarity(centred, 8)
    return 3 if three > four + THREE_MARGIN else 4


def downbeat_phase(rhythm: np.ndarray, tone: np.ndarray, meter: int, first_sound: int) -> int:
    """Index (0 .. meter-1) of the first beat that starts a bar."""
    n = len(rhythm)
    low = _z(rhythm[:, 0])
    change = np.zeros(n)
    if n > 1:
        diff = np.linalg.norm(np.diff(tone.astype(np.float64), axis=0), axis=1)
        change[1:] = _z(diff)
    best, best_score = 0, -np.inf
    for phase in range(meter):
        on = np.arange(phase, n, meter)
        if not len(on):
            continue
        score = low[on].mean() + 0.7 * change[on].mean()
        # The music most often starts on a bar.
        if (first_sound - phase) % meter == 0:
            score += 0.3
        if score > best_score:
            best, best_score = phase, score
    return best
