"""Short drum loops synthesised with numpy, with their beats known by construction."""

import numpy as np


def _kick(rate):
    t = np.arange(int(0.25 * rate)) / rate
    phase = 2 * np.pi * (50 * t + (120 - 50) * 0.03 * (1 - np.exp(-t / 0.03)))
    return np.sin(phase) * np.exp(-t / 0.09)


def _noise_hit(rate, length, decay, seed, highpass):
    rng = np.random.default_rng(seed)
    n = int(length * rate)
    noise = rng.standard_normal(n)
    if highpass:
        noise = np.diff(noise, prepend=0.0)
    return noise * np.exp(-np.arange(n) / rate / decay) * 0.3


def beat_times(bpm, seconds, start=0.5, step_at=None, step_bpm=None):
    """Beat times from ``start``: ``bpm`` throughout, or ``step_bpm`` from ``step_at`` seconds on."""
    times, t = [], start
    while t < seconds - 0.3:
        times.append(t)
        tempo = step_bpm if step_at is not None and t >= step_at else bpm
        t += 60.0 / tempo
    return np.asarray(times)


def render(beats, meter=4, rate=22050, seed=1, noise=0.0):
    """A kick-snare-hat loop on ``beats`` (kick on 1 and 3, or on 1 in 3/4; snare on the
    others; hats on every half beat); returns the samples."""
    seconds = beats[-1] + 1.0
    out = np.zeros(int(seconds * rate))
    kick, snare = _kick(rate), _noise_hit(rate, 0.2, 0.06, seed, False)
    hat = _noise_hit(rate, 0.05, 0.01, seed + 1, True) * 0.5

    def put(sound, t, gain=1.0):
        i = int(round(t * rate))
        n = min(len(sound), len(out) - i)
        if n > 0:
            out[i:i + n] += gain * sound[:n]

    for k, t in enumerate(beats):
        position = k % meter
        if position == 0:
            put(kick, t, 1.0)
            if meter == 3:
                put(kick, t, 0.3)
        elif meter == 4 and position == 2:
            put(kick, t, 0.8)
            put(hat, t)
        else:
            put(snare, t, 0.8)
        gap = (beats[k + 1] - t) if k + 1 < len(beats) else (t - beats[k - 1])
        put(hat, t + gap / 2, 0.7)
    if noise:
        out += noise * np.random.default_rng(seed + 2).standard_normal(len(out))
    return (0.5 * out / np.max(np.abs(out))).astype(np.float32)
