"""Rules every atlas family shares.

Row p of a pattern of period P is generated at phase t = p/P, and θ = 2πt
unless a family says otherwise. Normalised families scale the whole table so
that its largest |coordinate| (over all rows and axes) is exactly 0.82.
Events are raised-cosine bumps w(d, h) = 0.5 + 0.5·cos(π·d/h), d measured the
short way round the loop; the bumps of all events add per axis.
"""

from primitives import KF, TAU, bumps, sampled, scale_to_peak

PEAK = 0.82


def phase(p, P):
    """t = p/P."""
    return p / P


def angle(p, P):
    """θ = 2πt."""
    return TAU * (p / P)


def columns(P, *axes):
    """Each axis (a curve, a list or a constant) as a list of P values."""
    out = []
    for axis in axes:
        if callable(axis):
            out.append(sampled(axis, P))
        elif isinstance(axis, (int, float)):
            out.append([float(axis)] * P)
        else:
            out.append(list(axis))
    return out


def normalised(P, *axes):
    """The axes sampled over the loop and scaled together to a peak of 0.82."""
    return tuple(scale_to_peak(columns(P, *axes), PEAK))


def events(P, hits):
    """x, y, z of a score: each hit (time, half-width, (x, y, z)) adds its
    vector times the event bump at that time.

    bumps() forms A·(1 + cos)/2, the same double as A·(0.5 + 0.5·cos), since
    halving is exact.
    """
    hits = list(hits)
    return tuple(bumps(P, *[(c, vector[a], h) for c, h, vector in hits if vector[a] != 0])
                 for a in range(3))


def keyframed(P, keys):
    """One axis eased through (pip, value) keyframes that start at pip 0 and
    end at pip P on a repeat of the first value."""
    *inner, (last, value) = keys
    if last != P or value != keys[0][1]:
        raise ValueError("the key list must close on the first value at pip P")
    return KF(P, *inner)
