"""Beats and bars of a recording: ``analyse(path) -> BeatMap``.

Two methods, chosen by ``METHOD``. "network" (``trained``, selectable): a log-filtered
spectrogram (``spectrum``) goes through a trained temporal convolutional
network (``network``, run in numpy from the weights file beside it) that
gives every 10 ms frame a likelihood of a beat and of a downbeat, and one
Viterbi decode over tempo, meter and position in the bar (``barpointer``)
turns them into beats and bars. "onsets", the hand-made tracker and the
default, in stages:

- ``decode``: the file, block by block, as mono samples at about 11 kHz
  (soundfile for WAV, FLAC and OGG; ffmpeg for the rest);
- ``features``: onset strength per 10 ms frame (spectral flux in
  third-octave bands) and a few band summaries;
- ``tempo``: a tempogram and the steadiest likely tempo path through it,
  gliding with gradual drift, jumping at tempo changes, at the tempo a
  listener would tap;
- ``track``: beats by dynamic programming along that tempo path;
- ``bars``: the meter (3 or 4) and the downbeats.

Either way the file is read block by block (``decode``). Only ``numpy`` (and
``soundfile`` or the ``ffmpeg`` program for decoding) is needed; the package is
imported by the tools on demand, never by ``kinetra``.
"""

from __future__ import annotations

import numbers
from collections.abc import Callable
from typing import TYPE_CHECKING

from ..beatmap import BeatMap
from ..timeline import check_meter

if TYPE_CHECKING:
    from .features import Features
    from .spectrum import Spectrum

__all__ = ["analyse"]

# "onsets" (the hand-made tracker) or "network" (the trained model, not yet the
# default: see the README's analysis section for where it stands).
METHOD = "onsets"

MIN_SECONDS = 2.0       # shorter clips cannot show a beat
SILENCE = 10 ** (-70 / 20)   # peak level below which a file counts as silent
MIN_SALIENCE = 0.26     # how much the tempo path must stand out of the tempogram for a beat
# Weights of the low, middle and high band groups' onsets (each first scaled
# to unit spread) in the onset strength the beats are tracked on.
WEIGHTS = (1.0, 1.0, 1.0)
# The offbeats are taken for the beat if the harmony changes on them this much more sharply.
OFFBEAT_MARGIN = 1.2
# Leading and trailing beats whose onset is weaker than this fraction of the
# median beat's are not part of the music.
TRIM = 0.2
# The flux peaks this many seconds before the sound's onset (the window sees it coming).
LEAD = 0.0145


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
    if METHOD not in ("network", "onsets"):
        raise ValueError(f"unknown analysis method {METHOD!r}")
    frames: Features | Spectrum = (listen_spectrum(path, progress) if METHOD == "network"
                                   else listen(path, progress))
    seconds = frames.seconds
    if frames.samples == 0:
        raise ValueError(f"{path}: holds no audio")
    if frames.peak < SILENCE:
        raise ValueError(f"{path}: is silent")
    if seconds < MIN_SECONDS:
        raise ValueError(f"{path}: too short to hold a beat ({seconds:.2f} s)")
    if METHOD == "network":
        from . import trained

        found = trained.beats_and_bars(frames, meter, bpm_range)  # type: ignore[arg-type]
    else:
        found = beats_and_bars(frames, meter, bpm_range)  # type: ignore[arg-type]
    if found is None:
        raise ValueError(f"{path}: no steady beat found")
    beats, phase, meter = found
    if progress is not None:
        progress(1.0)
    return BeatMap(beats, beats[phase::meter], meter, duration=round(seconds, 6))


def tempo_range(min_bpm: float | None, max_bpm: float | None) -> tuple[float, float] | None:
    """(lowest, highest) tempo the analysis may find, or None for its own range; checked."""
    from .tempo import MAX_BPM, MIN_BPM

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


def listen(path: str, progress: Callable[[float], None] | None = None) -> Features:
    """The file's ``features.Features``, decoded and framed block by block."""
    from . import features

    frames = _framed(path, features.Features, progress, 0.9)
    assert isinstance(frames, features.Features)
    return frames


def listen_spectrum(path: str, progress: Callable[[float], None] | None = None) -> Spectrum:
    """The file's ``spectrum.Spectrum``, decoded and framed block by block."""
    from . import spectrum

    frames = _framed(path, spectrum.Spectrum, progress, 0.8)
    assert isinstance(frames, spectrum.Spectrum)
    return frames


def _framed(path: str, kind: Callable[[float], Features | Spectrum], progress: Callable[[float], None] | None,
            share: float) -> Features | Spectrum:
    """Frames of ``kind`` fed the file block by block; ``share`` of the progress goes to decoding."""
    from . import decode

    stream = decode.open_audio(path, length=progress is not None)
    frames = kind(stream.rate)
    for block in stream.blocks():
        frames.feed(block)
        if progress is not None and stream.seconds:
            progress(share * min(1.0, frames.seconds / stream.seconds))
    frames.finish()
    return frames


def beats_and_bars(frames: Features, meter: int | None,
                   bpm_range: tuple[float, float] | None = None) -> tuple[list[float], int, int] | None:
    """(beat times in seconds, index of the first downbeat, meter), or None without a beat."""
    import numpy as np

    from . import bars, tempo, track

    fps = frames.fps
    groups = frames.group_onsets().astype(np.float64)
    spread = groups.std(axis=0)
    if not (spread > 0).any():
        return None
    strength = (groups / np.where(spread > 0, spread, 1.0)) @ np.asarray(WEIGHTS)
    strength /= strength.std()

    centres, grid, salience = tempo.tempogram(strength, fps)
    route = tempo.path(salience, grid, fps, bpm_range)
    # How far the chosen periods stand out of each window's periodicities.
    along = salience[np.arange(len(route)), route] - np.median(salience, axis=1)
    if float(np.mean(along)) < MIN_SALIENCE:
        return None
    period = np.interp(np.arange(len(strength)), centres, grid[route])

    found = track.beat_frames(strength, period)
    if len(found) >= 8:
        # The strongest pulse may be the offbeat; harmony changes on the beat.
        other = track.offbeats(found, strength)
        chroma = frames.chroma()

        def change(beats: np.ndarray) -> float:
            return bars.bar_change(bars.harmony(beats / fps, chroma, frames.chroma_fps,
                                                frames.chroma_seconds))

        if change(other) > OFFBEAT_MARGIN * change(found):
            found = other
    found = track.trim(strength, found, TRIM)
    if len(found) < 2:
        return None

    times = np.maximum(track.refine(strength, found) / fps + LEAD, 0.0)
    beat_rhythm = bars.rhythm(found, frames.group_onsets())
    if meter is None:
        meter = bars.meter_of(beat_rhythm) if len(found) >= 8 else 4
    phase = bars.downbeat_phase(beat_rhythm, bars.harmony(times, frames.chroma(), frames.chroma_fps,
                                                                 frames.chroma_seconds), meter)
    return [round(float(t), 5) for t in times], phase, meter
