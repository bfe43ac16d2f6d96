"""Mono audio brought to exactly the analysis rate, block by block.

The spectrum's bands (and so the network's inputs) are laid out for one rate,
so every signal reaches it at exactly that rate. Runs of ``q`` samples are
averaged first (``q`` the whole-number ratio nearest to the rate over the
target, as the decoder does); where that does not land on the target (48 kHz
becomes 12 kHz, 32 kHz 10.7 kHz), a low-pass below the target's Nyquist
frequency and linear interpolation take it the rest of the way. The filter's
delay is taken back, so a sample keeps its time.
"""

from __future__ import annotations

import math

import numpy as np

TAPS = 33               # of the low-pass; odd, so that its delay is a whole number of samples
CUTOFF = 0.45           # of the target rate


def lowpass(rate: float, cutoff_hz: float, taps: int = TAPS) -> np.ndarray:
    """A Hann-windowed sinc low-pass at ``rate``, unit gain at 0 Hz."""
    n = np.arange(taps) - (taps - 1) / 2
    h = np.sinc(2 * cutoff_hz / rate * n) * np.hanning(taps + 2)[1:-1]
    out: np.ndarray = (h / h.sum()).astype(np.float32)
    return out


class Fractional:
    """Blocks at ``rate`` to blocks at ``target``, by a low-pass and linear interpolation."""

    def __init__(self, rate: float, target: float) -> None:
        self.step = rate / target
        self._filter = lowpass(rate, CUTOFF * min(rate, target))
        self._history = np.zeros(TAPS - 1, dtype=np.float32)
        # Filtered samples not yet passed, and where the next output falls among them;
        # the first output is the first input's moment, (TAPS - 1) / 2 filtered samples in.
        self._left = np.zeros(0, dtype=np.float32)
        self._at = (TAPS - 1) / 2

    def feed(self, block: np.ndarray) -> np.ndarray:
        if not len(block):
            return np.zeros(0, dtype=np.float32)
        joined = np.concatenate((self._history, block.astype(np.float32, copy=False)))
        self._history = joined[len(joined) - (TAPS - 1):]
        smooth = np.convolve(joined, self._filter, mode="valid")
        y = np.concatenate((self._left, smooth))
        last = len(y) - 1
        if last < self._at:
            self._left = y
            return np.zeros(0, dtype=np.float32)
        count = int(math.floor((last - self._at) / self.step)) + 1
        where = self._at + np.arange(count) * self.step
        low = where.astype(np.int64)
        part = (where - low).astype(np.float32)
        high = np.minimum(low + 1, last)
        out: np.ndarray = y[low] * (1 - part) + y[high] * part
        nxt = self._at + count * self.step
        keep = int(math.floor(nxt))
        self._left = y[keep:]
        self._at = nxt - keep
        return out


class Resampler:
    """Mono blocks at ``rate`` to mono blocks at exactly ``target``."""

    def __init__(self, rate: float, target: float) -> None:
        self.q = max(1, round(rate / target))
        self._carry = np.zeros(0, dtype=np.float32)
        self._fraction = None if rate / self.q == target else Fractional(rate / self.q, target)

    def feed(self, block: np.ndarray) -> np.ndarray:
        data = np.asarray(block, dtype=np.float32).reshape(-1)
        if self.q > 1:
            data = np.concatenate((self._carry, data))
            whole = len(data) - len(data) % self.q
            self._carry = data[whole:]
            data = data[:whole].reshape(-1, self.q).mean(axis=1, dtype=np.float32)
        return self._fraction.feed(data) if self._fraction is not None else data
