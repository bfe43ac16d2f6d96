"""From samples to what the tracker listens to: onset strength per frame.

The signal is cut into overlapping windows (about 46 ms, hop about 10 ms),
each window's spectrum pooled into bands a third of an octave wide and
compressed logarithmically. The onset strength of a frame is how much the
bands rose since the frame before (summed rises only), the usual spectral
flux. Besides the sum the analysis keeps the flux of a few band groups (low,
middle, high) and the band levels themselves, at a fraction of the samples'
size, for placing the bars.

``Features.feed`` takes blocks of any length, so a recording of any length is
turned into frames without ever being held whole.
"""

from __future__ import annotations

import math

import numpy as np

FPS_TARGET = 100.0
LOW_HZ = 30.0
BANDS_PER_OCTAVE = 3
# Band groups kept for the bars: below 150 Hz (kick, bass), up to 1.5 kHz, above.
GROUP_EDGES_HZ = (150.0, 1500.0)
COMPRESSION = 1000.0


def band_matrix(rate: float, size: int) -> np.ndarray:
    """Triangular bands on a log frequency axis, (bins, bands), each summing its bins."""
    bins = size // 2 + 1
    freqs = np.arange(bins) * rate / size
    top = rate / 2
    count = int(math.floor(BANDS_PER_OCTAVE * math.log2(top / LOW_HZ)))
    centres = LOW_HZ * 2.0 ** (np.arange(count + 2) / BANDS_PER_OCTAVE)
    matrix = np.zeros((bins, count), dtype=np.float32)
    for b in range(count):
        lo, mid, hi = centres[b], centres[b + 1], centres[b + 2]
        rise = (freqs - lo) / (mid - lo)
        fall = (hi - freqs) / (hi - mid)
        weights = np.clip(np.minimum(rise, fall), 0, None)
        if not weights.any():                      # narrower than a bin: take the nearest one
            weights[int(round(mid * size / rate))] = 1.0
        matrix[:, b] = weights
    return matrix


class Features:
    """Frames of a mono signal at ``rate``: onset strength and band data, fed block by block."""

    def __init__(self, rate: float) -> None:
        self.rate = rate
        self.hop = max(1, int(round(rate / FPS_TARGET)))
        self.fps = rate / self.hop
        self.size = 1 << max(6, int(round(math.log2(0.0464 * rate))))
        self.window = np.hanning(self.size + 2)[1:-1].astype(np.float32)
        self.bands = band_matrix(rate, self.size)
        centres = LOW_HZ * 2.0 ** (np.arange(1, self.bands.shape[1] + 1) / BANDS_PER_OCTAVE)
        self.groups = np.searchsorted(np.asarray(GROUP_EDGES_HZ), centres)
        self.group_count = len(GROUP_EDGES_HZ) + 1
        # Samples not yet framed: starts with half a window of silence so frame k
        # is centred on sample k * hop.
        self._pending = np.zeros(self.size // 2, dtype=np.float32)
        self._last: np.ndarray | None = None      # band levels of the frame before
        self._flux: list[np.ndarray] = []
        self._groups: list[np.ndarray] = []
        self._levels: list[np.ndarray] = []
        self.samples = 0
        self.peak = 0.0

    def feed(self, block: np.ndarray) -> None:
        self.samples += len(block)
        if len(block):
            self.peak = max(self.peak, float(np.max(np.abs(block))))
        data = np.concatenate((self._pending, block.astype(np.float32, copy=False)))
        count = (len(data) - self.size) // self.hop + 1
        if count <= 0:
            self._pending = data
            return
        frames = np.lib.stride_tricks.sliding_window_view(data, self.size)[::self.hop][:count]
        self._pending = data[count * self.hop:]
        spectrum = np.abs(np.fft.rfft(frames * self.window, axis=1)).astype(np.float32)
        levels = np.log1p(COMPRESSION * (spectrum @ self.bands))
        before = levels[:1] if self._last is None else self._last[None, :]
        rise = np.diff(levels, axis=0, prepend=before)
        np.maximum(rise, 0, out=rise)
        self._last = levels[-1].copy()
        self._flux.append(rise.sum(axis=1))
        grouped = np.zeros((count, self.group_count), dtype=np.float32)
        for g in range(self.group_count):
            grouped[:, g] = rise[:, self.groups == g].sum(axis=1)
        self._groups.append(grouped)
        self._levels.append(levels.astype(np.float16))

    def finish(self) -> None:
        """Frame the remaining samples, padded with half a window of silence."""
        self.feed(np.zeros(self.size // 2, dtype=np.float32))
        self.samples -= self.size // 2

    @property
    def seconds(self) -> float:
        return self.samples / self.rate

    def onset(self) -> np.ndarray:
        return np.concatenate(self._flux) if self._flux else np.zeros(0, np.float32)

    def group_onsets(self) -> np.ndarray:
        return np.concatenate(self._groups) if self._groups else np.zeros((0, self.group_count), np.float32)

    def levels(self) -> np.ndarray:
        return (np.concatenate(self._levels) if self._levels
                else np.zeros((0, self.bands.shape[1]), np.float16))
