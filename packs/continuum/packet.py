"""Packet family: n oscillation packets per loop, one in each slot of 512/n pips.

Each packet is centred in its slot on a span of its own. Within a packet, u
runs from 0 to 1 over that span, and the window rises and falls over the
first and last 30 % with a quintic ease. x is the window times sin(cπu) with
c = 3, 5, 7 half-waves for packets k = 0, 1, 2 (mod 3), that is 2, 4 and 6
sign changes; each packet's x is scaled to the 0.82 peak on its own rows and
the cascading variant then scales packet k by 0.85^k. The side motion (y)
and the depth (z) are shaped humps and sways under the same window, so every
axis fades in and out with the oscillation.

Rests. The window does not close onto zero: x crossfades from the idle
level IDLE (0.0004) into the oscillation and back, x = W·osc + (1 − W)·IDLE,
so the rests between packets, the one across the wrap included, sit 0.0004
right of the centre (within 0.001 of it) rather than on it, and no table of
the family starts at the origin. The idle lies on the side that every
packet opens and closes toward (an odd number of half-waves begins and ends
on a positive lobe), so it adds no sign change.

Activity. A packet is active where it stands farther than 0.001 from the
centre; that is 79 % of its slot (203, 135, 101 and 81 rows for n = 2 to 5; see
`spans`). Because the quintic edges spend a few rows below 0.001, the span
is solved packet by packet (it depends on the half-wave count and the
cascade gain) to give exactly that many rows. y and z grow as u⁵ at the
edges, under x's u⁴, so x alone decides where a packet starts and ends.
"""

import functools
from math import ceil, pi, sin

from primitives import S5
from continuum.shaping import bisect, columns, fit_one

PACKET_DESCRIPTION = ("Compact, smooth-edged oscillation packets arranged around a closed "
                      "phrase, with shaped side motion.")
ACTIVE = 0.79       # share of its slot on which a packet stands off the centre
REST = 0.001        # a rest stays within this distance of the centre
IDLE = 0.0004       # x between packets: the level the window closes onto
EDGE = 0.3          # share of the span over which the window opens, and closes
SIDE_PEAK = 0.276
DEPTH_PEAK = 0.347
HALF_WAVES = (3, 5, 7)
P = 512


def window(u):
    return S5(min(1.0, u / EDGE)) * S5(min(1.0, (1 - u) / EDGE))


def hump(u):
    """A smooth single hump leaning early, 0 with zero slope at both ends."""
    return 16 * u * u * (1 - u) ** 2 * (1 + 0.35 * (1 - 2 * u))


def sway(u):
    """A smooth crossing from one side to the other."""
    return sin(pi * u) ** 2 * sin(2 * pi * u)


def span_u(p, n, k, span):
    """u in (0, 1) where pip p lies inside packet k on `span` of its slot, else None."""
    slot = P / n
    start = k * slot + (1 - span) / 2 * slot
    u = (p - start) / (span * slot)
    return u if 0 < u < 1 else None


def place(p, n, spans):
    """(packet k, u in [0, 1]) while a packet is active at pip p, else None."""
    k = int(p // (P / n))
    u = span_u(p, n, k, spans[k])
    return None if u is None else (k, u)


def slot_rows(n, k):
    slot = P / n
    return range(ceil(k * slot), ceil((k + 1) * slot))


def packet_rows(n, k, span, gain):
    """{pip: x} over the rows of slot k, for a packet on `span` of its slot:
    x = W·osc + (1 − W)·IDLE with osc = gain·sin(cπu) scaled to a peak of gain."""
    c = HALF_WAVES[k % 3]
    at = {p: span_u(p, n, k, span) for p in slot_rows(n, k)}
    raw = {p: window(u) * sin(c * pi * u) for p, u in at.items() if u is not None}
    top = max(abs(v) for v in raw.values())
    return {p: IDLE if u is None else gain * raw[p] / top + (1 - window(u)) * IDLE
            for p, u in at.items()}


def active(rows):
    """(rows farther than REST from the centre, rows from the first to the last
    of them)."""
    out = [p for p, v in rows.items() if abs(v) > REST]
    return len(out), out[-1] - out[0] + 1


def gain_of(k, cascade):
    return 0.82 * (0.85 ** k if cascade else 1.0)


@functools.cache
def spans(n, cascade):
    """The span (share of its slot) of each packet, solved so that the packet is
    active on the count of rows nearest to ACTIVE of its slot.

    x is symmetric about the packet's centre, so where that centre falls on a
    whole pip the active rows are odd in number and the count moves in steps
    of two (n = 2: 203 rows, 79.3 %). Of the spans that give the count, the
    one nearest the middle of their run whose oscillation never dips within
    REST of the centre between its first and last active row is taken.
    """
    slot = P / n
    solved = []
    for k in range(n):
        g = gain_of(k, cascade)

        def run(span):
            return active(packet_rows(n, k, span, g))[1]
        for target in sorted(range(int(ACTIVE * slot) - 1, int(ACTIVE * slot) + 3),
                             key=lambda t: abs(t - ACTIVE * slot)):
            low = bisect(run, 0.5, 0.99, target - 0.5, steps=32)
            high = bisect(run, 0.5, 0.99, target + 0.5, steps=32)
            if high - low > 1e-6:
                break
        middle = (low + high) / 2
        tries = sorted((low + (high - low) * i / 40 for i in range(1, 40)),
                       key=lambda s: abs(s - middle))
        solved.append(next(s for s in tries
                           if active(packet_rows(n, k, s, g)) == (target, target)))
    return tuple(solved)


def packet_x(n, cascade):
    col = [IDLE] * P
    for k, span in enumerate(spans(n, cascade)):
        for p, v in packet_rows(n, k, span, gain_of(k, cascade)).items():
            col[p] = v
    return col


def side(n, cascade, shape):
    s = spans(n, cascade)

    def y(p):
        at = place(p, n, s)
        if not at:
            return 0.0
        k, u = at
        return window(u) * shape(k, u)
    return y


SIDES = {
    "alternating": lambda k, u: (1 if k % 2 == 0 else -1) * hump(u),
    "cascading": lambda k, u: -(1 - 0.18 * k) * hump(1 - u),
    "crossing": lambda k, u: (1 if k % 2 == 0 else -0.8) * sway(u),
}


def packet(n, variant):
    def recipe(period):
        assert period == P
        shape = "alternating" if variant == "depth" else variant
        cascade = variant == "cascading"
        x = packet_x(n, cascade)
        y = fit_one(columns(P, side(n, cascade, SIDES[shape]))[0], SIDE_PEAK)
        if variant != "depth":
            return x, y
        # Depth leans late in each packet, against the early side hump, and
        # keeps its own sign pattern.
        signs = (1, 0.7, -0.85, 1, -0.6)
        z = columns(P, side(n, cascade, lambda k, u: signs[k] * hump(1 - u)))[0]
        return x, y, fit_one(z, DEPTH_PEAK)
    return recipe
