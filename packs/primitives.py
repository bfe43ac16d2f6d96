"""Shared building blocks of the pack recipes.

Every recipe is written with these, so that a shape means the same thing in
every pack. A curve here is a function of the pip p (0 <= p < P) returning a
float; the generator samples it once per row, rounds the result and checks it.

Nothing in this file knows about any particular pack.
"""

import math
from math import cos, exp, fsum, pi, sin, sqrt, tanh  # noqa: F401  (re-exported for recipes)

TAU = 2.0 * pi


# --- eases -------------------------------------------------------------------

def S5(s):
    """Quintic ease: 0 -> 0 and 1 -> 1, zero slope and curvature at both ends."""
    return 6 * s**5 - 15 * s**4 + 10 * s**3


def S3(s):
    """Cubic ease: 0 -> 0 and 1 -> 1, zero slope at both ends."""
    return 3 * s**2 - 2 * s**3


# --- phase helpers -------------------------------------------------------------

def theta(p, P):
    """The loop's angle at pip p: one full turn over the period."""
    return 2 * pi * p / P


def loop_distance(p, c, P):
    """Signed distance from centre c to pip p, taken the short way round the loop.

    Of p - c, p - c + P and p - c - P the one of smallest magnitude; a tie keeps
    the first of them.
    """
    best = p - c
    for d in (p - c + P, p - c - P):
        if abs(d) < abs(best):
            best = d
    return best


# --- keyframe curve ------------------------------------------------------------

def KF(P, *keys, ease=S5):
    """Keyframe curve through (pip, value) keys, the first at pip 0.

    Between consecutive keys the value eases from one to the next; after the
    last key the curve runs on to pip P, where it rejoins the first value.
    Two keys with the same value make a dwell.
    """
    if not keys or keys[0][0] != 0:
        raise ValueError("a keyframe curve starts with a key at pip 0")
    spans = []
    for i, (a, va) in enumerate(keys):
        b, vb = keys[i + 1] if i + 1 < len(keys) else (P, keys[0][1])
        if not a < b:
            raise ValueError("keyframe pips must ascend below the period")
        spans.append((a, va, b, vb))

    def curve(p):
        for a, va, b, vb in spans:
            if a <= p < b:
                return va + (vb - va) * ease((p - a) / (b - a))
        raise ValueError(f"pip {p} outside the loop")

    return curve


# --- gesture bumps --------------------------------------------------------------

def B(P, c, A, w):
    """Raised-cosine bump of peak A at centre c (may be fractional), half-width w.

    The distance is measured around the loop, so a bump near pip 0 spills over
    the wrap. A bump whose centre is a whole pip reaches exactly A there.
    """
    def curve(p):
        d = loop_distance(p, c, P)
        if abs(d) < w:
            return A * (1 + cos(pi * d / w)) / 2
        return 0.0

    return curve


def bumps(P, *events):
    """Sum of bumps B(c, A, w) on one axis, each event given as (c, A, w).

    The sum is the same as adding every B(c, A, w)(p) in event order; it is
    built once, event by event over each bump's own support, so that scores
    with many events stay cheap.
    """
    table = []

    def build():
        values = [0.0] * P
        for c, A, w in events:
            bump = B(P, c, A, w)
            touched = {k % P for k in range(math.floor(c - w), math.ceil(c + w) + 1)}
            for q in sorted(touched):
                if abs(loop_distance(q, c, P)) < w:
                    values[q] += bump(q)
        return values

    def curve(p):
        if not table:
            table.extend(build())
        return table[p]

    return curve


# --- asymmetric event envelope -----------------------------------------------------

def raised_cosine(d, rise, fall):
    """The event shape at signed distance d from the event (negative before it):
    1 exactly at the event, rising over `rise` and falling over `fall`, 0 outside."""
    if -rise < d <= 0:
        return (1 + cos(pi * d / rise)) / 2
    if 0 <= d < fall:
        return (1 + cos(pi * d / fall)) / 2
    return 0.0


def envelope(P, t, rise, fall):
    """Raised-cosine envelope of an event at time t: 1 exactly at t, 0 outside.

    It rises over `rise` pips before the event and falls over `fall` pips after
    it, measured around the loop.
    """
    def curve(p):
        return raised_cosine(loop_distance(p, t, P), rise, fall)

    return curve


# --- knot curve ---------------------------------------------------------------------

def knot_curve(P, values, ease=S3):
    """Values at n evenly spaced knots k_i = i*P/n, eased between neighbours.

    The last knot joins knot 0 at pip P. Knots may fall between pips.
    """
    n = len(values)

    def curve(p):
        i = p * n // P  # the knot at or before p: i*P/n <= p, exactly
        k0 = i * P / n
        k1 = (i + 1) * P / n
        v0 = values[i]
        v1 = values[(i + 1) % n]
        return v0 + (v1 - v0) * ease((p - k0) / (k1 - k0))

    return curve


# --- whole-table helpers --------------------------------------------------------------

def sampled(curve, P):
    """The P values of a curve, pip 0 first."""
    return [curve(p) for p in range(P)]


def mean(values):
    """Exact mean (fsum), independent of the interpreter's summation strategy."""
    return fsum(values) / len(values)


def peak_normalise(values, peak, centre=False):
    """Scale values so that the largest magnitude is exactly `peak`.

    With centre=True the mean is removed first: peak*(v - m)/M with m the mean
    and M the largest |v - m|.
    """
    m = mean(values) if centre else 0.0
    M = max(abs(v - m) for v in values)
    return [peak * (v - m) / M for v in values]


# --- rounding -------------------------------------------------------------------------

def round12(v):
    """The double nearest to v rounded to twelve decimals; zero is stored as +0.0."""
    r = round(v, 12)
    return 0.0 if r == 0 else r


def is_twelve_decimal(v):
    return round(v, 12) == v


# --- whole-table peak scaling ----------------------------------------------------------

def scale_to_peak(columns, peak):
    """Scale every axis by peak / M, M the largest |value| over all rows and axes.

    The axes keep their ratios, and the largest magnitude in the table becomes
    `peak` (exactly, once rounded to twelve decimals).
    """
    M = max(abs(v) for column in columns for v in column)
    factor = peak / M
    return [[v * factor for v in column] for column in columns]


# --- evenly spread onsets -----------------------------------------------------------------

def euclid_onsets(k, n):
    """The steps of an n-step grid that carry k evenly spread onsets.

    Step i carries an onset when (i*k) mod n < k; step 0 always does.
    """
    return [i for i in range(n) if (i * k) % n < k]


# --- hashed control values ------------------------------------------------------------------

def sha256_unit(text):
    """A value in [-1, 1) fixed by the SHA-256 digest of the UTF-8 text.

    The first eight bytes of the digest, read as a big-endian unsigned integer
    n, give 2*n/2**64 - 1. The same text always gives the same value, on every
    machine; no random source is consulted.
    """
    import hashlib
    n = int.from_bytes(hashlib.sha256(text.encode("utf-8")).digest()[:8], "big")
    return n / 2**63 - 1


# --- periodic cubic spline ---------------------------------------------------------------

def periodic_cubic(P, keys):
    """Closed C2 cubic spline through (pip, value) keys, looping with period P.

    Keys ascend in pip within one loop (pips may be fractional); the curve
    passes through every key, and its value, slope and curvature all join up
    across the wrap. Unequal key spacing gives unequal segment times.
    """
    n = len(keys)
    if n < 3:
        raise ValueError("a periodic cubic needs at least three keys")
    t = [k[0] for k in keys]
    v = [k[1] for k in keys]
    if not all(t[i] < t[i + 1] for i in range(n - 1)) or not t[-1] < t[0] + P:
        raise ValueError("spline keys must ascend within one period")
    h = [(t[(i + 1) % n] + (P if i == n - 1 else 0)) - t[i] for i in range(n)]
    slope = [(v[(i + 1) % n] - v[i]) / h[i] for i in range(n)]
    # Cyclic tridiagonal system for the second derivatives, solved densely.
    a = [[0.0] * n + [6 * (slope[i] - slope[i - 1])] for i in range(n)]
    for i in range(n):
        a[i][(i - 1) % n] += h[i - 1]
        a[i][i] += 2 * (h[i - 1] + h[i])
        a[i][(i + 1) % n] += h[i]
    for c in range(n):
        pivot = max(range(c, n), key=lambda r: abs(a[r][c]))
        a[c], a[pivot] = a[pivot], a[c]
        for r in range(n):
            if r != c and a[r][c]:
                f = a[r][c] / a[c][c]
                a[r] = [x - f * y for x, y in zip(a[r], a[c])]
    m = [a[i][n] / a[i][i] for i in range(n)]

    def curve(p):
        q = p if p >= t[0] else p + P
        i = n - 1
        for j in range(n - 1):
            if q < t[j + 1]:
                i = j
                break
        hi = h[i]
        u = q - t[i]
        w = hi - u
        j = (i + 1) % n
        return ((m[i] * w ** 3 + m[j] * u ** 3) / (6 * hi)
                + (v[i] / hi - m[i] * hi / 6) * w + (v[j] / hi - m[j] * hi / 6) * u)

    return curve
