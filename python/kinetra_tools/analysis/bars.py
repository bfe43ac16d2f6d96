"""Bars from beats: the meter and which beats start a bar.

Every beat is described by what sounds on it and between it and the next
(the onset strength of each band group on the beat and at its quarters) and
by its harmony (the mean pitch-class levels over the beat). Music repeats bar
by bar, so the meter is the bar length, 3 or 4 beats, at which the beats'
rhythms resemble each other most. The first beat of a bar is where the kick
falls rather than the snare, and where the harmony changes (chords and bass
move on with the bar): of the ``meter`` possible phases, the one whose beats
show most of both.
"""

from __future__ import annotations

import numpy as np

# A meter of three must beat four by this margin of similarity to be chosen.
THREE_MARGIN = 0.05
# Weights of the cues for a bar's first beat: low-band onset (kick), middle
# band onset (snare, against), harmonic change.
KICK, SNARE, CHANGE = 1.0, -0.5, 1.0


def _at(values: np.ndarray, frames: np.ndarray, reach: int = 2) -> np.ndarray:
    """values (frames[, columns]) maxed within ``reach`` frames of each given frame."""
    n = len(values)
    out = values[np.clip(frames - reach, 0, n - 1)]
    for d in range(-reach + 1, reach + 1):
        out = np.maximum(out, values[np.clip(frames + d, 0, n - 1)])
    result: np.ndarray = out
    return result


def rhythm(beats: np.ndarray, groups: np.ndarray) -> np.ndarray:
    """Per beat: each band group's onset on the beat and at its three quarters."""
    beats = np.asarray(beats)
    nxt = np.append(beats[1:], beats[-1] + (beats[-1] - beats[-2] if len(beats) > 1 else 50))
    g = groups / np.maximum(groups.mean(axis=0), 1e-6)
    parts = [_at(g, beats)]
    for q in (1, 2, 3):
        parts.append(_at(g, (beats * (4 - q) + nxt * q) // 4, 1))
    return np.concatenate(parts, axis=1)


def harmony(times: np.ndarray, chroma: np.ndarray, chroma_fps: float, window: float) -> np.ndarray:
    """Per beat (at ``times`` seconds): mean pitch-class levels of the chroma frames
    (``window`` seconds long) that lie mostly between it and the next beat."""
    times = np.asarray(times, dtype=np.float64)
    if not len(chroma) or len(times) < 2:
        return np.zeros((len(times), 12))
    ends = np.append(times[1:], times[-1] + (times[-1] - times[-2]))
    lo = np.ceil((times + window / 4) * chroma_fps).astype(np.int64)
    hi = np.floor((ends - window / 4) * chroma_fps).astype(np.int64) + 1
    lo = np.clip(lo, 0, len(chroma) - 1)
    hi = np.clip(np.maximum(hi, lo + 1), 1, len(chroma))
    total = np.concatenate((np.zeros((1, 12)), np.cumsum(chroma, axis=0, dtype=np.float64)))
    return (total[hi] - total[lo]) / (hi - lo)[:, None]


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
    """3 or 4: the bar length at which beats' rhythms repeat best (one and two bars)."""
    centred = rhythm - rhythm.mean(axis=0)
    three = _similarity(centred, 3) + _similarity(centred, 6)
    four = _similarity(centred, 4) + _similarity(centred, 8)
    return 3 if three > four + THREE_MARGIN else 4


def _change(harmony: np.ndarray, width: int) -> np.ndarray:
    """Per beat: how different the harmony of the ``width`` beats from it is from the ``width`` before."""
    n = len(harmony)
    out = np.zeros(n)
    if n < 2 * width:
        return out
    total = np.concatenate((np.zeros((1, harmony.shape[1])), np.cumsum(harmony, axis=0)))
    k = np.arange(width, n - width + 1)
    before = total[k] - total[k - width]
    after = total[k + width] - total[k]
    num = (before * after).sum(axis=1)
    den = np.linalg.norm(before, axis=1) * np.linalg.norm(after, axis=1) + 1e-9
    out[k] = 1 - num / den
    return out


def downbeat_phase(rhythm: np.ndarray, harmony: np.ndarray, meter: int) -> int:
    """Index (0 .. meter-1) of the first beat that starts a bar."""
    groups = rhythm.shape[1] // 4
    cue = KICK * _z(rhythm[:, 0]) + SNARE * _z(rhythm[:, 1 if groups > 1 else 0])
    cue += CHANGE * _z(_change(harmony, meter))
    scores = [cue[phase::meter].mean() if len(cue[phase::meter]) else -np.inf for phase in range(meter)]
    return int(np.argmax(scores))


def bar_change(harmony: np.ndarray) -> float:
    """How sharply the harmony changes on the bars' first beats, for the likeliest meter and phase."""
    best = 0.0
    for meter in (3, 4):
        change = _change(harmony, meter)
        if len(change) > 2 * meter:
            best = max(best, max(float(change[p::meter].mean()) for p in range(meter)))
    return best
