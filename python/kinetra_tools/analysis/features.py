"""From samples to what the tracker listens to: onset strength per frame.

The signal is cut into overlapping windows (about 46 ms, hop about 10 ms),
each window's spectrum pooled into bands a third of an octave wide and
compressed logarithmically. The onset strength of a frame is how much the
bands rose since the frame before (summed rises only), the usual spectral
flux. The analysis keeps the flux of a few band groups (low, middle, high),
and, from a longer window a few times a beat, the level of each pitch class
(for chord and bass changes), at a small fraction of the samples' size.

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
# Pitch classes (for chord and bass changes) from a long window, a few times a beat.
CHROMA_SECONDS = 0.186
CHROMA_HOP_SECONDS = 0.046
CHROMA_RANGE_HZ = (55.0, 2000.0)


def windows(pending: np.ndarray, block: np.ndarray, size: int, hop: int) -> tuple[np.ndarray | None, np.ndarray]:
    """(the whole windows of ``size`` samples, one every ``hop``, that ``pending`` then
    ``block`` hold, or None; the samples left for the next block)."""
    data = np.concatenate((pending, block))
    count = (len(data) - size) // hop + 1
    if count <= 0:
        return None, data
    return np.lib.stride_tricks.sliding_window_view(data, size)[::hop][:count], data[count * hop:]


def chroma_matrix(rate: float, size: int) -> np.ndarray:
    """(bins, 12): each bin between CHROMA_RANGE_HZ to its nearest pitch class (A = 0)."""
    freqs = np.arange(size // 2 + 1) * rate / size
    matrix = np.zeros((len(freqs), 12), dtype=np.float32)
    lo, hi = CHROMA_RANGE_HZ
    inside = (freqs >= lo) & (freqs <= hi)
    classes = np.round(12 * np.log2(freqs[inside] / 440.0)).astype(int) % 12
    matrix[np.flatnonzero(inside), classes] = 1.0
    return matrix


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
        self.chroma_size = 1 << int(round(math.log2(CHROMA_SECONDS * rate)))
        self.chroma_hop = max(1, int(round(CHROMA_HOP_SECONDS * rate)))
        self.chroma_fps = rate / self.chroma_hop
        self.chroma_seconds = self.chroma_size / rate
        self._chroma_window = np.hanning(self.chroma_size + 2)[1:-1].astype(np.float32)
        self._chroma_map = chroma_matrix(rate, self.chroma_size)
        self._chroma_pending = np.zeros(self.chroma_size // 2, dtype=np.float32)
        self._chroma: list[np.ndarray] = []
        self.samples = 0
        self.peak = 0.0

    def feed(self, block: np.ndarray) -> None:
        self.samples += len(block)
        if len(block):
            self.peak = max(self.peak, float(np.max(np.abs(block))))
        block = block.astype(np.float32, copy=False)
        self._feed_chroma(block)
        frames, self._pending = windows(self._pending, block, self.size, self.hop)
        if frames is None:
            return
        count = len(frames)
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

    def _feed_chroma(self, block: np.ndarray) -> None:
        frames, self._chroma_pending = windows(self._chroma_pending, block, self.chroma_size, self.chroma_hop)
        if frames is None:
            return
        spectrum = np.abs(np.fft.rfft(frames * self._chroma_window, axis=1)).astype(np.float32)
        self._chroma.append(np.log1p(COMPRESSION * (spectrum @ self._chroma_map)).astype(np.float16))

    def chroma(self) -> np.ndarray:
        """Pitch-class levels (frames at ``chroma_fps``, 12), log-compressed."""
        return np.concatenate(self._chroma) if self._chroma else np.zeros((0, 12), np.float16)

    def finish(self) -> None:
        """Frame the remaining samples, padded with half a window of silence.

        A recording that stops without fading out would end on a click of
        the padding; the frames that reach into it count no onset.
        """
        self.feed(np.zeros(self.size // 2, dtype=np.float32))
        self.samples -= self.size // 2
        reaching = int(self.samples - self.size // 2) // self.hop + 1
        flux, groups = self.onset(), self.group_onsets()
        flux[max(reaching, 1):] = 0
        groups[max(reaching, 1):] = 0
        self._flux, self._groups = [flux], [groups]

    @property
    def seconds(self) -> float:
        return self.samples / self.rate

    def onset(self) -> np.ndarray:
        return np.concatenate(self._flux) if self._flux else np.zeros(0, np.float32)

    def group_onsets(self) -> np.ndarray:
        return np.concatenate(self._groups) if self._groups else np.zeros((0, self.group_count), np.float32)
