"""The tempo over time: a tempogram and the steadiest likely path through it.

The onset strength is cut into overlapping windows (``WINDOW`` seconds, one
every ``STEP`` seconds); each window's autocorrelation says how strongly the
music repeats at every beat period. Periods are scored on a logarithmic grid
(``PER_OCTAVE`` steps an octave, about 1 %), each by its own lag and its
multiples (a beat period is also confirmed by two and four beats), and
weighed by how likely a listener is to tap at that tempo; a period is also
confirmed by its bar (three or four periods), which a pulse a dotted beat
long, the usual rival in syncopated music, does not have. A Viterbi path
through the windows then picks one period per window: it may glide by a step
or two a window at little cost (gradual drift) and jump at a fixed price (a
tempo change); a jump to twice or half the tempo costs more, since it is
the same music heard at another level. So a single ambiguous window cannot
flip the tempo.
"""

from __future__ import annotations

import math

import numpy as np

WINDOW = 8.0          # seconds of onset strength per autocorrelation
STEP = 1.0            # seconds between windows
MIN_BPM = 40.0
MAX_BPM = 240.0
PER_OCTAVE = 72
# Listener preference: tempos in this range are tapped readily; outside it
# the weight falls off by a Gaussian in octaves.
PREFERRED = (70.0, 180.0)
PREFERENCE_WIDTH = 0.1    # octaves
# Within the range, a gentle pull towards a tempo a little above its middle:
# the tempogram itself leans to slow periods (a period's own multiples
# confirm it), which this evens out.
CENTRE = 130.0
CENTRE_PULL = 0.3
GLIDE_COST = 0.02         # per grid step between neighbouring windows
JUMP_COST = 2.0           # a jump of more than GLIDE_STEPS steps
GLIDE_STEPS = 3
# A jump within this many octaves costs JUMP_COST; a farther one (to twice or half the
# tempo: the same music heard at another level) costs FAR_JUMP_COST.
JUMP_REACH = 0.45
FAR_JUMP_COST = 4.0
# How much a period's multiples and halves add to its salience.
DOUBLE_WEIGHT = 0.5
HALF_WEIGHT = 0.0
# How much a period's bar (three or four periods, whichever repeats more) adds.
BAR_WEIGHT = 1.0
# A tempo range chooses among the levels of the tempo heard without it: these multiples
# (the beat's halves and doubles, or a third of it or three times it in a reading of
# three), never a tempo in between such as 3:2, within this many grid steps.
LEVELS = (1 / 4, 1 / 3, 1 / 2, 1.0, 2.0, 3.0, 4.0)
LEVEL_STEPS = 3


def periods(fps: float) -> np.ndarray:
    """The period grid in frames, shortest (fastest) first."""
    shortest = 60.0 * fps / MAX_BPM
    count = int(PER_OCTAVE * math.log2(MAX_BPM / MIN_BPM)) + 1
    return shortest * 2.0 ** (np.arange(count) / PER_OCTAVE)


def preference(bpm: np.ndarray) -> np.ndarray:
    """Log weight of a tempo being the one a listener taps."""
    lo, hi = PREFERRED
    below = np.log2(lo / bpm).clip(0)
    above = np.log2(bpm / hi).clip(0)
    outside = below + above
    weight: np.ndarray = -0.5 * (outside / PREFERENCE_WIDTH) ** 2 - CENTRE_PULL * np.log2(bpm / CENTRE) ** 2
    return weight


def _interp(rows: np.ndarray, lags: np.ndarray) -> np.ndarray:
    """rows[:, lags] at fractional lags, linearly."""
    lo = np.floor(lags).astype(int)
    frac = (lags - lo).astype(np.float32)
    out: np.ndarray = rows[:, lo] * (1 - frac) + rows[:, lo + 1] * frac
    return out


def tempogram(onset: np.ndarray, fps: float) -> tuple[np.ndarray, np.ndarray, np.ndarray]:
    """(window centres in frames, period grid in frames, salience[window, period])."""
    grid = periods(fps)
    width = int(round(WINDOW * fps))
    step = max(1, int(round(STEP * fps)))
    x = onset.astype(np.float32)
    if len(x) < width:
        x = np.concatenate((x, np.zeros(width - len(x), np.float32)))
    starts = np.arange(0, len(x) - width + 1, step)
    if starts[-1] != len(x) - width:
        starts = np.append(starts, len(x) - width)
    max_lag = int(math.ceil(grid[-1] * 4)) + 2      # up to a bar of four of the longest period
    size = 1 << int(math.ceil(math.log2(width + max_lag)))
    taper = np.hanning(width).astype(np.float32)
    unbias = (width / np.maximum(width - np.arange(max_lag + 1), 1)).astype(np.float32)
    out = np.empty((len(starts), len(grid)), dtype=np.float32)
    views = np.lib.stride_tricks.sliding_window_view(x, width)
    for first in range(0, len(starts), 256):
        chunk = views[starts[first:first + 256]]
        chunk = (chunk - chunk.mean(axis=1, keepdims=True)) * taper
        spectrum = np.fft.rfft(chunk, n=size, axis=1)
        power = spectrum.real ** 2 + spectrum.imag ** 2
        acf = np.fft.irfft(power, n=size, axis=1)[:, :max_lag + 1].astype(np.float32) * unbias
        energy = np.maximum(acf[:, :1], 1e-9)
        acf /= energy
        single = _interp(acf, grid)
        double = _interp(acf, grid * 2)
        half = _interp(acf, grid / 2)
        out[first:first + 256] = single + DOUBLE_WEIGHT * double + HALF_WEIGHT * half
        # Only bars well inside the window: longer lags rest on too little overlap.
        inside = grid * 4 < width * 0.75
        three = _interp(acf, np.where(inside, grid * 3, 1.0))
        four = _interp(acf, np.where(inside, grid * 4, 1.0))
        out[first:first + 256] += BAR_WEIGHT * np.where(inside, np.maximum(three, four), 0)
    return starts + width // 2, grid, out


def path(salience: np.ndarray, grid: np.ndarray, fps: float,
         bpm_range: tuple[float, float] | None = None) -> np.ndarray:
    """The Viterbi path of period indices, one per window; with ``bpm_range`` (lowest,
    highest tempo in BPM) only periods within it; of those, in a window where there are
    any, only the levels (``LEVELS``) of the path found without a range."""
    bpm = 60.0 * fps / grid
    score = np.log(np.maximum(salience, 1e-3) + 0.05) + preference(bpm)[None, :]
    if bpm_range is not None:
        outside = (bpm < bpm_range[0]) | (bpm > bpm_range[1])
        if outside.all():                   # narrower than a grid step: its nearest period
            outside[int(np.argmin(np.abs(np.log(bpm / math.sqrt(bpm_range[0] * bpm_range[1])))))] = False
        allowed = _levels(bpm[_viterbi(score)], bpm) & ~outside[None, :]
        # A window where no level of the music is in the range: the range alone.
        allowed[~allowed.any(axis=1)] = ~outside
        score[~allowed] = -1e9
    return _viterbi(score)


def _levels(heard: np.ndarray, bpm: np.ndarray) -> np.ndarray:
    """[window, period]: whether the period's tempo is a level of the tempo ``heard`` in the window."""
    steps = np.abs(np.log2(bpm[None, None, :] / (heard[:, None, None] * np.asarray(LEVELS)[None, :, None])))
    near: np.ndarray = (steps * PER_OCTAVE <= LEVEL_STEPS + 0.5).any(axis=1)
    return near


def _viterbi(score: np.ndarray) -> np.ndarray:
    """The best path of period indices through ``score[window, period]``."""
    count, n = score.shape
    steps = np.arange(n)
    reach = int(round(JUMP_REACH * PER_OCTAVE))
    back = np.zeros((count, n), dtype=np.int32)
    value = score[0].copy()
    for w in range(1, count):
        # Glide: the best of the neighbours within GLIDE_STEPS, at a cost per step.
        best = value.copy()
        arg = steps.copy()
        for d in range(1, GLIDE_STEPS + 1):
            for shifted_from in (d, -d):
                cand = np.full(n, -np.inf, dtype=value.dtype)
                if shifted_from > 0:
                    cand[shifted_from:] = value[:-shifted_from] - GLIDE_COST * d
                    src = steps - shifted_from
                else:
                    cand[:shifted_from] = value[-shifted_from:] - GLIDE_COST * d
                    src = steps - shifted_from
                better = cand > best
                best = np.where(better, cand, best)
                arg = np.where(better, src, arg)
        # Jump: from the best period within reach, or from the best of all at the far price.
        padded = np.concatenate((np.full(reach, -np.inf), value, np.full(reach, -np.inf)))
        near_from = np.argmax(np.lib.stride_tricks.sliding_window_view(padded, 2 * reach + 1), axis=1)
        near_from += steps - reach
        near = value[near_from] - JUMP_COST
        far_from = int(np.argmax(value))
        far = value[far_from] - FAR_JUMP_COST
        jump = np.where(near >= far, near, far)
        source = np.where(near >= far, near_from, far_from)
        jumping = jump > best
        best = np.where(jumping, jump, best)
        arg = np.where(jumping, source, arg)
        back[w] = arg
        value = best + score[w]
    out = np.empty(count, dtype=np.int32)
    out[-1] = int(np.argmax(value))
    for w in range(count - 1, 0, -1):
        out[w - 1] = back[w, out[w]]
    return out
