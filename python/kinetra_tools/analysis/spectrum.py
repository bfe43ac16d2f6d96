"""What the beat network listens to: a log-filtered spectrogram at about 100 frames a second.

The signal (mono, about 11 kHz) is cut into windows of about 93 ms, one every
``rate / 100`` samples; each window's magnitude spectrum is pooled into
triangular bands, ``PER_OCTAVE`` to the octave from ``LOW_HZ`` up to
``HIGH_HZ``, and compressed logarithmically. A frame's features are those
levels and how much each band rose since the frame before (rises only), so
the network sees both what sounds and where something starts.

``Spectrum.feed`` takes blocks of any length: a recording of any length is
framed without being held whole, at a small fraction of its samples' size.
"""

from __future__ import annotations

import math

import numpy as np

FPS_TARGET = 100.0
WINDOW_SECONDS = 0.093
LOW_HZ = 45.0
HIGH_HZ = 5000.0
PER_OCTAVE = 6
COMPRESSION = 1000.0


def band_matrix(rate: float, size: int) -> np.ndarray:
    """(bins, bands): triangular bands on a log frequency axis, each bin's weight in each band.

    A band narrower than the bins takes its nearest bin; bands that would take the
    same single bin as the band below are left out.
    """
    bins = size // 2 + 1
    freqs = np.arange(bins) * rate / size
    top = min(HIGH_HZ, rate / 2)
    count = int(math.floor(PER_OCTAVE * math.log2(top / LOW_HZ))) - 1
    edges = LOW_HZ * 2.0 ** (np.arange(count + 2) / PER_OCTAVE)
    columns: list[np.ndarray] = []
    for b in range(count):
        lo, mid, hi = edges[b], edges[b + 1], edges[b + 2]
        weights = np.clip(np.minimum((freqs - lo) / (mid - lo), (hi - freqs) / (hi - mid)), 0, None)
        if not weights.any():
            weights[int(round(mid * size / rate))] = 1.0
        if columns and np.array_equal(weights > 0, columns[-1] > 0) and np.count_nonzero(weights) == 1:
            continue
        columns.append(weights / weights.sum())
    return np.stack(columns, axis=1).astype(np.float32)


class Spectrum:
    """Frames of a mono signal at ``rate``, fed block by block; ``features()`` when finished."""

    def __init__(self, rate: float) -> None:
        self.rate = rate
        self.hop = max(1, int(round(rate / FPS_TARGET)))
        self.fps = rate / self.hop
        self.size = 1 << int(round(math.log2(WINDOW_SECONDS * rate)))
        self.window = np.hanning(self.size + 2)[1:-1].astype(np.float32)
        self.bands = band_matrix(rate, self.size)
        # Frame k is centred on sample k * hop: the signal starts after half a window of silence.
        self._pending = np.zeros(self.size // 2, dtype=np.float32)
        self._levels: list[np.ndarray] = []
        self.samples = 0
        self.peak = 0.0

    @property
    def seconds(self) -> float:
        return self.samples / self.rate

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
        self._levels.append(np.log1p(COMPRESSION * (spectrum @ self.bands)))

    def finish(self) -> None:
        """Frame the rest, padded with half a window of silence."""
        samples = self.samples
        self.feed(np.zeros(self.size // 2, dtype=np.float32))
        self.samples = samples
        # Frames centred past the end are padding only.
        frames = samples // self.hop + 1
        levels = self.levels()
        self._levels = [levels[:frames]]

    def levels(self) -> np.ndarray:
        """(frames, bands) log band levels."""
        if not self._levels:
            return np.zeros((0, self.bands.shape[1]), np.float32)
        return np.concatenate(self._levels) if len(self._levels) > 1 else self._levels[0]

    def features(self) -> np.ndarray:
        """(frames, 2 * bands): the levels, then each band's rise since the frame before."""
        return features_of(self.levels())


def features_of(levels: np.ndarray) -> np.ndarray:
    """(frames, 2 * bands) from (frames, bands) levels: levels, then rises."""
    rise = np.diff(levels, axis=0, prepend=levels[:1])
    np.maximum(rise, 0, out=rise)
    return np.concatenate((levels, rise), axis=1)
