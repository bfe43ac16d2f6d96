"""Helpers shared by the continuous-shape families: sampling and scaling."""

from primitives import TAU, peak_normalise, sampled, scale_to_peak

PEAK = 0.82


def columns(P, *curves):
    """Each curve sampled over the loop (lists pass through)."""
    return [c if isinstance(c, list) else sampled(c, P) for c in curves]


def largest(*cols):
    return max(abs(v) for c in cols for v in c)


def fit(cols, peak=PEAK):
    """Scale all columns by one factor so that their largest magnitude is `peak`."""
    return scale_to_peak(cols, peak)


def fit_one(col, peak):
    """Scale one column alone to the largest magnitude `peak`."""
    return peak_normalise(col, peak)


def angle(P):
    """The loop angle at each pip: t = 2πp/P."""
    return [TAU * p / P for p in range(P)]


def smooth_power(v, e, soft=0.12):
    """Signed power sign(v)|v|^e, softened near zero so that it stays smooth."""
    return v * (v * v + soft * soft) ** ((e - 1) / 2)


def bisect(f, lo, hi, target, steps=60):
    """The x in [lo, hi] with f(x) = target, for f increasing."""
    for _ in range(steps):
        mid = (lo + hi) / 2
        if f(mid) < target:
            lo = mid
        else:
            hi = mid
    return (lo + hi) / 2
