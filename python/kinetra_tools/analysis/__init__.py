"""Beats and bars of a recording: ``analyse(path) -> BeatMap``.

In stages:

- ``decode``: the file, block by block, as mono samples at about 11 kHz
  (soundfile for WAV, FLAC and OGG; ffmpeg for the rest);
- ``spectrum``: a log-filtered spectrogram, 100 frames a second;
- ``network``: a trained temporal convolutional network, run in numpy from
  the weights file beside it, gives every frame a likelihood of a beat and of
  a downbeat;
- ``trained`` and ``barpointer``: one Viterbi decode over tempo, meter and
  position in the bar turns them into beats and bars.

The file is read block by block. Only ``numpy`` (and ``soundfile`` or the
``ffmpeg`` program for decoding) is needed; the package is imported by the
tools on demand, never by ``kinetra``.
"""

from __future__ import annotations

import numbers
from collections.abc import Callable
from typing import TYPE_CHECKING

from ..beatmap import BeatMap
from ..timeline import check_meter

if TYPE_CHECKING:
    from .spectrum import Spectrum

__all__ = ["analyse", "MIN_BPM", "MAX_BPM"]

MIN_BPM = 40.0          # the widest tempo range a caller may give
MAX_BPM = 240.0
MIN_SECONDS = 2.0       # shorter clips cannot show a beat
SILENCE = 10 ** (-70 / 20)   # peak level below which a file counts as silent


def analyse(path: str, meter: int | None = None,
            progress: Callable[[float], None] | None = None, *,
            min_bpm: float | None = None, max_bpm: float | None = None) -> BeatMap:
    """The beats and bars of the recording at ``path``.

    ``meter`` fixes the beats per bar (otherwise 3 or 4 is chosen from the
    music); ``min_bpm`` and ``max_bpm`` bound the tempo (from 40 to 240 BPM;
    otherwise the likeliest is found there), which settles a song heard at
    twice or half its tempo; ``progress``, if given, is called with the
    fraction done (0..1). Raises ValueError naming the file if it cannot be
    read or holds no beat.
    """
    if meter is not None:
        check_meter(meter)
    bpm_range = tempo_range(min_bpm, max_bpm)
    frames = listen(path, progress)
    seconds = frames.seconds
    if frames.samples == 0:
        raise ValueError(f"{path}: holds no audio")
    if frames.peak < SILENCE:
        raise ValueError(f"{path}: is silent")
    if seconds < MIN_SECONDS:
        raise ValueError(f"{path}: too short to hold a beat ({seconds:.2f} s)")
    from . import trained

    found = trained.beats_and_bars(frames, meter, bpm_range)
    if found is None:
        raise ValueError(f"{path}: no steady beat found")
    beats, phase, meter = found
    if progress is not None:
        progress(1.0)
    return BeatMap(beats, beats[phase::meter], meter, duration=round(seconds, 6))


def tempo_range(min_bpm: float | None, max_bpm: float | None) -> tuple[float, float] | None:
    """(lowest, highest) tempo the analysis may find, or None for its own range; checked."""
    if min_bpm is None and max_bpm is None:
        return None
    bounds: list[float] = []
    for name, value, default in (("min_bpm", min_bpm, MIN_BPM), ("max_bpm", max_bpm, MAX_BPM)):
        if value is None:
            value = default
        if isinstance(value, bool) or not isinstance(value, numbers.Real):
            raise ValueError(f"{name} must be a number of beats a minute, not {value!r}")
        if not MIN_BPM <= value <= MAX_BPM:
            raise ValueError(f"{name} must be from {MIN_BPM:g} to {MAX_BPM:g} BPM, not {value!r}")
        bounds.append(float(value))
    if bounds[0] > bounds[1]:
        raise ValueError(f"min_bpm ({bounds[0]:g}) is above max_bpm ({bounds[1]:g})")
    return bounds[0], bounds[1]


def listen(path: str, progress: Callable[[float], None] | None = None) -> Spectrum:
    """The file's ``spectrum.Spectrum``, decoded and framed block by block; 0.8 of
    the progress goes to it."""
    from . import decode, spectrum

    stream = decode.open_audio(path, length=progress is not None)
    frames = spectrum.Spectrum(stream.rate)
    for block in stream.blocks():
        frames.feed(block)
        if progress is not None and stream.seconds:
            progress(0.8 * min(1.0, frames.seconds / stream.seconds))
    frames.finish()
    return frames
