"""4:2:0 YUV frames kept up to date from drawn RGB pixels, tile by tile.

The painter draws in RGB (cairo's 32-bit pixels); the video is coded as
yuv420p: a luma plane at full size, then two chroma planes (U, V) at half the
width and half the height. Converting every whole frame costs more than
drawing and coding it, yet from one frame to the next only what moves
changes. So the frame is cut into TILE x TILE tiles, the painter marks the
tiles it draws on (``Tiles``), and ``Planes`` converts only the tiles where a
frame buffer can differ from the frame just drawn.

The colours are BT.709 in the limited ("TV") range, as the video is tagged.
Luma is computed in the fixed point of ffmpeg's own RGB conversion (its two
roundings folded into one): the same value for every one of the 2^24
colours. Each chroma sample is the rounded value of its 2x2 block's mean
colour (ffmpeg averages pairs across but filters over eight rows down, so
at sharp colour edges the two differ by a few levels; flat colours agree
within one).

Tiles sit on a grid of TILE pixels. Where a side is not a multiple of TILE,
the last tile of each row (or column) is moved back to end at the frame's
edge, overlapping its neighbour: every tile is whole and starts on an even
pixel, as the halved chroma needs. The arithmetic runs in numpy on scratch
arrays made once, a few thousand tiles at a time.
"""

from __future__ import annotations

import math
from collections.abc import Iterator, Sequence

import numpy as np

TILE = 8
HALF = TILE // 2
# Lines are sampled at most this far apart (pixels) when their tiles are marked.
SPACING = TILE / 2
# Antialiasing reaches at most this far (pixels) beyond a shape's edge.
REACH = 2.0

# BT.709 luma weights; limited range: luma 16..235, chroma 16..240 round 128.
_KR, _KB = 0.2126, 0.0722
_KG = 1 - _KR - _KB


def _fixed(weights: Sequence[float], scale: float, bits: int, exact_sum: int | None = None) -> list[int]:
    """Weights times ``scale`` in fixed point with ``bits`` fraction bits; with ``exact_sum``
    the largest absorbs the rounding so that they add up to it."""
    values = [round(w * scale * (1 << bits)) for w in weights]
    if exact_sum is not None:
        big = max(range(len(values)), key=lambda i: abs(values[i]))
        values[big] += exact_sum - sum(values)
    return values


# Luma: (R, G, B weights) * 2^15, and the constant that adds 16 and rounds as ffmpeg does.
_LUMA_BITS = 15
_YR, _YG, _YB = _fixed((_KR, _KG, _KB), 219 / 255, _LUMA_BITS)
_Y_ADD = (16 << _LUMA_BITS) + (1 << 14) + (1 << 8)
# Chroma from the sum of a 2x2 block (four times the mean): weights * 2^16, so the sum
# needs 2^18; greys (equal R, G, B) give 128 exactly. Negative weights wrap round in
# uint32 arithmetic, which is exact modulo 2^32 and the results are in range.
_C_BITS = 18
_UR, _UG, _UB = _fixed((-_KR / (2 - 2 * _KB), -_KG / (2 - 2 * _KB), 0.5), 224 / 255, 16, 0)
_VR, _VG, _VB = _fixed((0.5, -_KG / (2 - 2 * _KR), -_KB / (2 - 2 * _KR)), 224 / 255, 16, 0)
_C_ADD = (128 << _C_BITS) + (1 << (_C_BITS - 1))


class Tiles:
    """Which tiles of a ``width`` x ``height`` frame something is drawn on: ``mask[row, column]``.

    Coordinates are in pixels as the drawing library takes them (pixel (i, j)
    covers [i, i + 1) x [j, j + 1)); every shape is widened by ``REACH`` for
    antialiasing. Lines are queued and marked together by ``settle``.
    """

    def __init__(self, width: int, height: int) -> None:
        if width < TILE or height < TILE or width % 2 or height % 2:
            raise ValueError(f"cannot tile a {width}x{height} frame")
        self.width, self.height = width, height
        self.rows, self.columns = -(-height // TILE), -(-width // TILE)
        self.mask = np.zeros((self.rows, self.columns), dtype=bool)
        self._lines: list[tuple[np.ndarray, np.ndarray, float]] = []

    def clear(self) -> None:
        self.mask[:] = False
        self._lines.clear()

    def box(self, x: float, y: float, width: float, height: float, reach: float = REACH) -> None:
        """Marks the tiles under the box [x, x + width] x [y, y + height], widened by ``reach``."""
        c0 = max(0, math.floor((x - reach) / TILE))
        c1 = min(self.columns - 1, math.floor((x + width + reach) / TILE))
        r0 = max(0, math.floor((y - reach) / TILE))
        r1 = min(self.rows - 1, math.floor((y + height + reach) / TILE))
        if c0 <= c1 and r0 <= r1:
            self.mask[r0:r1 + 1, c0:c1 + 1] = True

    def line(self, xy: np.ndarray, half_width: float) -> None:
        """Queues the polyline through the points ``xy`` (n x 2), stroked ``2 * half_width`` wide
        with round ends; one point stands for a dot."""
        if len(xy):
            self._lines.append((xy[:-1] if len(xy) > 1 else xy, xy[1:] if len(xy) > 1 else xy,
                                half_width + REACH))

    def ring(self, x: float, y: float, radius: float, half_width: float) -> None:
        """Queues a circle stroked ``2 * half_width`` wide."""
        count = max(8, math.ceil(2 * math.pi * radius / SPACING))
        angles = np.linspace(0.0, 2 * math.pi, count + 1)
        points = np.empty((count + 1, 2))
        np.multiply(np.cos(angles), radius, out=points[:, 0])
        np.multiply(np.sin(angles), radius, out=points[:, 1])
        points += (x, y)
        # The chords stray from the arc by radius * (1 - cos(pi / count)), under a pixel.
        self.line(points, half_width + 1.0)

    def settle(self) -> None:
        """Marks the tiles of the queued lines: each segment sampled every SPACING pixels at
        most, a square round each sample wide enough to hold the stroke between them."""
        if not self._lines:
            return
        starts = np.concatenate([s for s, _, _ in self._lines])
        ends = np.concatenate([e for _, e, _ in self._lines])
        reach = np.concatenate([np.full(len(s), r) for s, _, r in self._lines])
        self._lines.clear()
        step = ends - starts
        pieces = np.maximum(1, np.ceil(np.hypot(step[:, 0], step[:, 1]) / SPACING)).astype(np.intp)
        # Every segment's samples at k / pieces for k = 0..pieces (its ends included).
        counts = pieces + 1
        segment = np.repeat(np.arange(len(pieces)), counts)
        k = np.arange(len(segment)) - np.repeat(np.cumsum(counts) - counts, counts)
        t = (k / pieces[segment])[:, None]
        samples = starts[segment] + step[segment] * t
        # A point of a segment is within SPACING / 2 of a sample along each axis.
        around = (reach[segment] + SPACING / 2)[:, None]
        last = np.array([self.columns - 1, self.rows - 1])
        low = np.clip(np.floor((samples - around) / TILE).astype(np.intp), 0, last)
        high = np.clip(np.floor((samples + around) / TILE).astype(np.intp), 0, last)
        span = int((high - low).max())
        for dy in range(span + 1):
            rows = np.minimum(low[:, 1] + dy, high[:, 1])
            for dx in range(span + 1):
                self.mask[rows, np.minimum(low[:, 0] + dx, high[:, 0])] = True


class Planes:
    """``buffers`` yuv420p frames of ``width`` x ``height``, each brought up to date from the
    drawn pixels over the tiles asked for.

    Pixels are cairo's RGB24: one native uint32 a pixel (0xXXRRGGBB), rows
    unpadded, as a flat array.
    """

    # Tiles converted at a time: the scratch arrays stay small enough to stay in cache.
    CHUNK = 2048

    def __init__(self, width: int, height: int, buffers: int = 1) -> None:
        self.width, self.height = width, height
        area = width * height
        self.frames = [np.zeros(area * 3 // 2, dtype=np.uint8) for _ in range(max(1, buffers))]
        self._planes = [(f[:area], f[area:area * 5 // 4], f[area * 5 // 4:]) for f in self.frames]
        i, j = np.meshgrid(np.arange(HALF), np.arange(HALF), indexing="ij")
        # A tile's pixels as four quarters, one per corner of the 2x2 blocks: offsets from
        # the tile's first pixel; and its chroma samples' offsets in a chroma plane.
        self._quarters = np.stack([((2 * i + dy) * width + 2 * j + dx).ravel()
                                   for dy in (0, 1) for dx in (0, 1)]).astype(np.intp)[:, None, :]
        self._chroma = (i * (width // 2) + j).ravel().astype(np.intp)[None, :]
        size = self.CHUNK * HALF * HALF
        self._index = np.empty(4 * size, dtype=np.intp)
        self._chroma_index = np.empty(size, dtype=np.intp)
        self._pixel, self._channel, self._luma, self._product = (
            np.empty(4 * size, dtype=np.uint32) for _ in range(4))
        self._sums = np.empty((3, size), dtype=np.uint32)
        self._sample, self._term = np.empty(size, dtype=np.uint32), np.empty(size, dtype=np.uint32)
        # Results narrowed to bytes before they are scattered (cheaper than narrowing on the way).
        self._bytes = np.empty(4 * size, dtype=np.uint8)

    def _chunks(self, mask: np.ndarray) -> Iterator[tuple[np.ndarray, np.ndarray]]:
        """(pixel indices as 4 quarters x n samples, chroma indices) of the marked tiles,
        CHUNK tiles at a time."""
        rows, columns = np.nonzero(mask)
        x = np.minimum(columns * TILE, self.width - TILE)
        y = np.minimum(rows * TILE, self.height - TILE)
        first = y * self.width + x
        chroma_first = (y // 2) * (self.width // 2) + x // 2
        for start in range(0, len(first), self.CHUNK):
            n = min(self.CHUNK, len(first) - start)
            samples = n * HALF * HALF
            index = self._index[:4 * samples].reshape(4, n, HALF * HALF)
            np.add(first[None, start:start + n, None], self._quarters, out=index)
            chroma = self._chroma_index[:samples].reshape(n, HALF * HALF)
            np.add(chroma_first[start:start + n, None], self._chroma, out=chroma)
            yield index.reshape(4, samples), chroma.reshape(samples)

    def copy(self, mask: np.ndarray, source: np.ndarray, target: np.ndarray) -> None:
        """Copies the marked tiles of ``source`` into ``target`` (both flat pixel arrays)."""
        for index, _ in self._chunks(mask):
            pixel = self._pixel[:index.size].reshape(index.shape)
            np.take(source, index, out=pixel, mode="clip")
            target[index] = pixel

    def convert(self, buffer: int, mask: np.ndarray, pixels: np.ndarray) -> np.ndarray:
        """Converts the marked tiles of ``pixels`` into frame ``buffer``, and returns that frame."""
        luma_plane, u_plane, v_plane = self._planes[buffer]
        for index, chroma in self._chunks(mask):
            shape, samples = index.shape, chroma.size
            pixel = self._pixel[:index.size].reshape(shape)
            channel = self._channel[:index.size].reshape(shape)
            luma = self._luma[:index.size].reshape(shape)
            product = self._product[:index.size].reshape(shape)
            sums = self._sums[:, :samples]
            np.take(pixels, index, out=pixel, mode="clip")
            for which, (shift, weight) in enumerate(((16, _YR), (8, _YG), (0, _YB))):
                np.right_shift(pixel, shift, out=channel)
                np.bitwise_and(channel, 0xFF, out=channel)
                if which == 0:
                    np.multiply(channel, weight, out=luma)
                else:
                    np.multiply(channel, weight, out=product)
                    luma += product
                np.add.reduce(channel, axis=0, out=sums[which])
            luma += _Y_ADD
            luma >>= _LUMA_BITS
            narrow = self._bytes[:index.size].reshape(shape)
            np.copyto(narrow, luma, casting="unsafe")
            luma_plane[index] = narrow
            sample, term = self._sample[:samples], self._term[:samples]
            for plane, weights in ((u_plane, (_UR, _UG, _UB)), (v_plane, (_VR, _VG, _VB))):
                np.multiply(sums[0], np.uint32(weights[0] % (1 << 32)), out=sample)
                for total, weight in zip(sums[1:], weights[1:]):
                    np.multiply(total, np.uint32(weight % (1 << 32)), out=term)
                    sample += term
                sample += _C_ADD
                sample >>= _C_BITS
                narrow = self._bytes[:samples]
                np.copyto(narrow, sample, casting="unsafe")
                plane[chroma] = narrow
        return self.frames[buffer]
