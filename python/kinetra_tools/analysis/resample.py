"""Audio brought to another sample rate as it streams: a polyphase windowed-sinc resampler.

The beat network was trained on spectra at exactly ``decode.RATE`` samples a
second, and its bands depend on the rate, so an input at a rate that is not a
whole multiple of it (48 kHz, 32 kHz, 96 kHz) is resampled to it first.

Output sample ``j`` lies exactly at input sample ``j * rate_in / rate_out``
(counted from the first sample fed), whatever the blocks: the filter is
centred on that moment, so the resampled stream has no delay of its own,
only a wait of ``half`` input samples before each output can be made. Before
the first sample the input is taken as silence.
"""

from __future__ import annotations

import math

import numpy as np

# Zero crossings of the sinc on each side of its centre, and the Kaiser window's
# shape: about 80 dB down in the stop band.
ZEROS = 16
BETA = 8.0
# The pass band's edge, as a share of the lower of the two Nyquist frequencies.
PASS = 0.94


class Resampler:
    """``feed(block)`` at ``rate_in`` gives the samples at ``rate_out`` it completes."""

    def __init__(self, rate_in: int, rate_out: int) -> None:
        rate_in, rate_out = int(rate_in), int(rate_out)
        if rate_in <= 0 or rate_out <= 0:
            raise ValueError(f"sample rates must be positive: {rate_in}, {rate_out}")
        common = math.gcd(rate_in, rate_out)
        self.up, self.down = rate_out // common, rate_in // common
        cutoff = PASS * min(1.0, self.up / self.down)  # of the input's Nyquist frequency
        half = int(math.ceil(ZEROS / cutoff))
        self.half = half
        # Row p: the weights of input samples n0 - half + 1 .. n0 + half for an output
        # that lies p / up of a sample past input sample n0.
        t = np.arange(-half + 1, half + 1)[None, :] - (np.arange(self.up) / self.up)[:, None]
        inside = np.clip(1.0 - (t / half) ** 2, 0.0, None)
        weights = cutoff * np.sinc(cutoff * t) * np.i0(BETA * np.sqrt(inside)) / np.i0(BETA)
        weights[np.abs(t) >= half] = 0.0
        self._table = (weights / weights.sum(axis=1, keepdims=True)).astype(np.float32)
        self._taps = np.arange(2 * half)
        self._buffer = np.zeros(half - 1, dtype=np.float32)
        self._start = -(half - 1)  # input index of the buffer's first sample
        self._next = 0  # the next output to make

    def feed(self, block: np.ndarray) -> np.ndarray:
        up, down, half = self.up, self.down, self.half
        buffer = np.concatenate((self._buffer, np.asarray(block, dtype=np.float32).reshape(-1)))
        end = self._start + len(buffer)
        # Output j can be made once input n0 + half is in, n0 = floor(j * down / up).
        last = ((end - half) * up - 1) // down
        if last < self._next:
            self._buffer = buffer
            return np.zeros(0, dtype=np.float32)
        js = np.arange(self._next, last + 1, dtype=np.int64)
        n0 = js * down // up
        phase = js * down - n0 * up
        rows = buffer[(n0 - half + 1 - self._start)[:, None] + self._taps[None, :]]
        out: np.ndarray = np.einsum("ij,ij->i", rows, self._table[phase]).astype(np.float32)
        self._next = last + 1
        keep = self._next * down // up - half + 1
        self._buffer = buffer[keep - self._start:]
        self._start = keep
        return out
