"""Beats and bars by the trained network and the joint decoder.

The recording's spectrogram frames (``spectrum``) go through the network
(``network``), which gives each frame a likelihood of a beat and of a
downbeat; the bar-pointer decoder (``barpointer``) then finds the likeliest
sequence of beats with their tempo, meter and place in the bar, the tempo
weighed by the prior the model learned from its corpus. Beats are then moved
to the activation peak within a frame.
"""

from __future__ import annotations

import numpy as np

from . import barpointer, network
from .spectrum import Spectrum

# The tempo range searched when none is given.
DEFAULT_BPM = (50.0, 220.0)
# A recording holds no steady beat if the network's beat activation on the
# decoded beats is, in the median, under this.
MIN_ACTIVATION = 0.2
MIN_BEATS = 4
# Leading and trailing beats with an activation under this are not part of the music;
TRIM_ACTIVATION = 0.1
# nor are those whose onset (how much the spectrum rose, summed over the bands) is under
# this fraction of the median beat's: the network keeps the pulse going into the silence
# before the music and through a fading last note, where nothing is played.
TRIM_ONSET = 0.5
# A beat needs this much of the recording after it to be heard (a file cut off
# mid-note rings with a click of every band at its very end).
HEARD_SECONDS = 0.1


def beats_and_bars(frames: Spectrum, meter: int | None,
                   bpm_range: tuple[float, float] | None = None) -> tuple[list[float], int, int] | None:
    """(beat times in seconds, index of the first downbeat, meter), or None without a beat."""
    net = network.model()
    features = frames.features()
    act = network.activations(features, net)
    return decode(act, frames.fps, meter, bpm_range, net, onsets(features))


def onsets(features: np.ndarray) -> np.ndarray:
    """Each frame's onset: the bands' rises (the second half of the features), summed."""
    rises: np.ndarray = features[:, features.shape[1] // 2:].sum(axis=1)
    return rises


def decode(act: np.ndarray, fps: float, meter: int | None, bpm_range: tuple[float, float] | None,
           net: network.Model, onset: np.ndarray | None = None) -> tuple[list[float], int, int] | None:
    """The beats of activations ``act`` (frames, 2) at ``fps``, trimmed of leading and trailing
    beats without an ``onset`` (per frame) if given; see ``beats_and_bars``."""
    if len(act) < 2:
        return None
    if meter is None:
        meters: tuple[int, ...] = (3, 4)
        meter_log = barpointer.log_prior(float(net.meta["three_share"]))
    else:
        meters, meter_log = (meter,), {meter: 0.0}
    found, positions, chosen = barpointer.decode(act, fps, meters, bpm_range or DEFAULT_BPM,
                                                 net["prior_bpm"], net["prior_log"], meter_log)
    kept = barpointer.trim(found, act[:, 0], TRIM_ACTIVATION)
    found, positions = found[kept], positions[kept]
    heard = found < len(act) - HEARD_SECONDS * fps
    found, positions = found[heard], positions[heard]
    if onset is not None and len(found):
        typical = float(np.median(barpointer.near(found, onset)))
        kept = barpointer.trim(found, onset, TRIM_ONSET * typical)
        found, positions = found[kept], positions[kept]
    if len(found) < MIN_BEATS or float(np.median(act[found, 0])) < MIN_ACTIVATION:
        return None
    times = np.maximum(barpointer.refine(found, act[:, 0]) / fps, 0.0)
    down = np.flatnonzero(positions == 0)
    phase = int(down[0]) if len(down) else 0
    return [round(float(t), 5) for t in times], phase, chosen
