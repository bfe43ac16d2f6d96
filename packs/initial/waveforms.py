"""Four 256-sample single-cycle waveforms, written for this library.

They stand in for the AKWF files the akwf_ patterns are named after, with the
same character: an asymmetric rounded saw, a quick-return saw, a multi-lobed
cycle and a plateau. Sample i is the wave at pip i. The recipes remove the
mean and scale the peak magnitude to 0.85, so only each wave's shape matters;
each is built so that its extremes fall on the pips the patterns promise.
"""

from primitives import S3, S5, cos, fsum, pi, sin

N = 256


def _phase(i, peak):
    """The wave angle of sample i for a wave whose crest (angle 0) is at `peak`."""
    return 2 * pi * (i - peak) / N


def round_saw():
    """Asymmetric rounded saw: a 72-sample rise from the trough at 232 to the
    crest at 48, then a 184-sample fall that lingers high before rounding down.

    The fall is a cubic ease on a slowed clock, w(t) = t - LINGER*sin(πt)/π.
    LINGER is chosen so that, with the mean removed and the trough scaled to
    -0.85, the crest is 0.588114864372 (it lies mid-way in the range of
    values that give that crest to twelve decimals).
    """
    LINGER = 0.5307737088724369
    crest, trough = 48, 232
    samples = []
    for i in range(N):
        if crest <= i < trough:
            t = (i - crest) / (trough - crest)
            w = t - LINGER * sin(pi * t) / pi
            samples.append(1 - 2 * S3(w))
        else:
            t = ((i - trough) % N) / (N - trough + crest)
            samples.append(-1 + 2 * S5(t))
    return samples


def quick_return():
    """Quick-return saw: a 64-sample fall from the crest at 15, then a long
    192-sample ramp back up that dwells low at first, so the crest is the
    largest excursion from the mean."""
    crest, fall = 15, 64

    def ramp(t):
        return t - sin(2 * pi * t) / (2 * pi)

    samples = []
    for i in range(N):
        j = (i - crest) % N
        if j < fall:
            samples.append(1 - 2 * S5(j / fall))
        else:
            samples.append(-1 + 2 * ramp((j - fall) / (N - fall)) ** 1.5)
    return samples


def multi_lobe():
    """Multi-lobed cycle: four cosine harmonics in phase at sample 11, where
    they all crest together; everywhere else they partly cancel."""
    crest = 11
    amplitudes = (1.0, 0.6, 0.75, 0.4)
    return [fsum(a * cos(k * _phase(i, crest)) for k, a in enumerate(amplitudes, 1))
            for i in range(N)]


def plateau():
    """Plateau: (9 cos φ - cos 3φ)/8 is maximally flat at its crest and trough;
    a small second harmonic lifts both, so the crest at sample 174 is the
    largest excursion."""
    crest = 174
    samples = []
    for i in range(N):
        phi = _phase(i, crest)
        samples.append((9 * cos(phi) - cos(3 * phi)) / 8 + 0.15 * cos(2 * phi))
    return samples
