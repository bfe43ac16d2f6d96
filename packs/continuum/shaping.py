"""Helpers shared by the continuous-shape families: sampling and scaling."""

from primitives import TAU, S5, sampled  # noqa: F401

PEAK = 0.82


def columns(P, *curves):
    """Each curve sampled over the loop (lists pass through)."""
    return [c if isinstance(c, list) else sampled(c, P) for c in curves]


def largest(*cols):
    return max(abs(v) for c in cols for v in c)


def fit(cols, peak=PEAK):
    """Scale all columns by one factor so that their largest magnitude is `peak`."""
    k = peak / largest(*cols)
    return [[k * v for v in c] for c in cols]


def fit_one(col, peak):
    """Scale one column alone to the largest magnitude `peak`."""
    k = peak / largest(col)
    return [k * v for v in col]


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


def ease_segments(P, waypoints, times, ease=S5):
    """Rows moving from waypoint to waypoint, easing to rest at each.

    waypoints: n points (tuples); times: n + 1 ascending pips, the first 0 and
    the last P, where waypoint i is reached at times[i] and the path returns to
    waypoint 0 at P. Returns one list per coordinate.
    """
    n = len(waypoints)
    dims = len(waypoints[0])
    cols = [[0.0] * P for _ in range(dims)]
    seg = 0
    for p in range(P):
        while p >= times[seg + 1]:
            seg += 1
        a, b = waypoints[seg], waypoints[(seg + 1) % n]
        s = ease((p - times[seg]) / (times[seg + 1] - times[seg]))
        for d in range(dims):
            cols[d][p] = a[d] + (b[d] - a[d]) * s
    return cols
