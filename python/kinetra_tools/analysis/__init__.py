"""Beats and bars of a recording: ``analyse(path) -> BeatMap``.

The stages, each in its own module:

- ``decode``: the file, block by block, as mono samples at about 11 kHz
  (soundfile for WAV, FLAC and OGG; ffmpeg for the rest);
- ``features``: onset strength per 10 ms frame (spectral flux in
  third-octave bands) and a few band summaries;
- ``tempo``: a tempogram and the steadiest likely tempo path through it,
  gliding with gradual drift, jumping at tempo changes, at the tempo a
  listener would tap;
- ``track``: beats by dynamic programming along that tempo path;
- ``bars``: the meter (3 or 4) and the downbeats.

Only ``numpy`` (and ``soundfile`` or the ``ffmpeg`` program for decoding) is
needed; the package is imported by the tools on demand, never by ``kinetra``.
"""

from __future__ import annotations

from collections.abc import Callable

from ..beatmap import BeatMap

__all__ = ["analyse"]

MIN_SECONDS = 2.0       # shorter clips cannot show a beat
SILENCE = 10 ** (-70 / 20)   # peak level below which a file counts as silent
MIN_SALIENCE = 0.2      # how much the tempo path must stand out of the tempogram for a beat
# Weights of the low, middle and high band groups' onsets (each first scaled
# to unit spread) in the onset strength the beats are tracked on.
WEIGHTS = (1.0, 1.0, 1.0)
PHASE = False
# Leading and trailing beats whose onset is weaker than this fraction of the
# median beat's are not part of the music.
TRIM = 0.2
# The flux peaks this many seconds before the sound's onset (the window sees it coming).
LEAD = 0.0145


def analyse(path: str, meter: int | None = None,
            progress: Callable[[float], None] | None = None) -> BeatMap:
    """The beats and bars of the recording at ``path``.

    ``meter`` fixes the beats per bar (otherwise 3 or 4 is chosen from the
    music); ``progress``, if given, is called with the fraction done (0..1).
    Raises ValueError naming the file if it cannot be read or holds no beat.
    """
    if meter is not None and (isinstance(meter, bool) or not isinstance(meter, int) or not 1 <= meter <= 16):
        raise ValueError(f"meter must be a whole number of beats from 1 to 16, not {meter!r}")
    frames = listen(path, progress)
    seconds = frames.seconds
    if frames.samples == 0:
        raise ValueError(f"{path}: holds no audio")
    if frames.peak < SILENCE:
        raise ValueError(f"{path}: is silent")
    if seconds < MIN_SECONDS:
        raise ValueError(f"{path}: too short to hold a beat ({seconds:.2f} s)")
    found = beats_and_bars(frames, meter)
    if found is None:
        raise ValueError(f"{path}: no steady beat found")
    beats, phase, meter = found
    if progress is not None:
        progress(1.0)
    return BeatMap(beats, beats[phase::meter], meter, duration=round(seconds, 6))


def listen(path: str, progress: Callable[[float], None] | None = None):  # type: ignore[no-untyped-def]
    """The file's ``features.Features``, decoded and framed block by block."""
    from . import decode, features

    stream = decode.open_audio(path)
    frames = features.Features(stream.rate)
    for block in stream.blocks():
        frames.feed(block)
        if progress is not None and stream.seconds:
            progress(0.9 * min(1.0, frames.seconds / stream.seconds))
    frames.finish()
    return frames


def beats_and_bars(frames, meter: int | None):  # type: ignore[no-untyped-def]
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
    route = tempo.path(salience, grid, fps)
    # How far the chosen periods stand out of each window's periodicities.
    along = salience[np.arange(len(route)), route] - np.median(salience, axis=1)
    if float(np.mean(along)) < MIN_SALIENCE:
        return None
    period = np.interp(np.arange(len(strength)), centres, grid[route])

    found = track.beat_frames(strength, period)
    if PHASE:
        found = track.on_the_beat(found, groups)
    found = _trim(strength, found)
    if len(found) < 2:
        return None

    times = np.maximum(_refine(strength, found) / fps + LEAD, 0.0)
    rhythm, tone = bars.describe(found, frames.group_onsets(), frames.levels())
    if meter is None:
        meter = bars.meter_of(rhythm) if len(found) >= 8 else 4
    phase = bars.downbeat_phase(rhythm, tone, meter, 0)
    return [round(float(t), 5) for t in times], phase, meter


def _trim(strength, frames):  # type: ignore[no-untyped-def]
    """Beats from the first one with an onset on it to the last (none in a silent
    lead-in or a fading tail)."""
    import numpy as np

    n = len(strength)
    near = np.max([strength[np.clip(frames + d, 0, n - 1)] for d in range(-3, 4)], axis=0)
    strong = np.flatnonzero(near >= TRIM * np.median(near))
    if not len(strong):
        return frames[:0]
    return frames[strong[0]:strong[-1] + 1]


def _refine(strength, frames):  # type: ignore[no-untyped-def]
    """Beat frames moved to the onset peak's parabolic vertex (within a frame)."""
    import numpy as np

    n = len(strength)
    f = np.clip(frames, 1, n - 2)
    a, b, c = strength[f - 1], strength[f], strength[f + 1]
    den = a - 2 * b + c
    shift = np.where((b >= a) & (b >= c) & (den < 0), 0.5 * (a - c) / np.where(den < 0, den, -1), 0.0)
    return frames + np.clip(shift, -0.5, 0.5)
