"""Packet family: n oscillation packets per loop, one in each slot of 512/n pips.

A packet is active for 79 % of its slot, centred in it, so it rests at the
centre before and after (and across the wrap). Within a packet, u runs from
0 to 1; the window rises and falls over the first and last 30 % with a
quintic ease, and x is the window times sin(cπu) with c = 3, 5, 7 half-waves
for packets k = 0, 1, 2 (mod 3), that is 2, 4 and 6 sign changes. Each
packet's x is scaled to the 0.82 peak on its own rows; the cascading
variant then scales packet k by 0.85^k.
"""

from math import pi, sin

from primitives import S5
from continuum.shaping import columns, fit_one

PACKET_DESCRIPTION = ("Compact, smooth-edged oscillation packets arranged around a closed "
                      "phrase, with shaped side motion.")
ACTIVE = 0.79
SIDE_PEAK = 0.276
DEPTH_PEAK = 0.347
HALF_WAVES = (3, 5, 7)


def window(u):
    return S5(min(1.0, u / 0.3)) * S5(min(1.0, (1 - u) / 0.3))


def hump(u):
    """A smooth single hump leaning early, 0 with zero slope at both ends."""
    return 16 * u * u * (1 - u) ** 2 * (1 + 0.35 * (1 - 2 * u))


def sway(u):
    """A smooth crossing from one side to the other."""
    return sin(pi * u) ** 2 * sin(2 * pi * u)


def packet_of(p, n):
    """(packet k, u in [0, 1]) while a packet is active at pip p, else None."""
    slot = 512 / n
    k = int(p // slot)
    start = k * slot + (1 - ACTIVE) / 2 * slot
    u = (p - start) / (ACTIVE * slot)
    return (k, u) if 0 < u < 1 else None


def packet_x(n, cascade):
    def x(P):
        col = [0.0] * P
        for k in range(n):
            rows = []
            for p in range(P):
                at = packet_of(p, n)
                if at and at[0] == k:
                    rows.append(p)
            c = HALF_WAVES[k % 3]
            raw = {p: window(packet_of(p, n)[1]) * sin(c * pi * packet_of(p, n)[1])
                   for p in rows}
            top = max(abs(v) for v in raw.values())
            gain = 0.82 * (0.85 ** k if cascade else 1.0)
            for p, v in raw.items():
                col[p] = gain * (v / top)
        return col
    return x


def side(n, shape):
    def y(p):
        at = packet_of(p, n)
        if not at:
            return 0.0
        k, u = at
        return shape(k, u)
    return y


SIDES = {
    "alternating": lambda k, u: (1 if k % 2 == 0 else -1) * hump(u),
    "cascading": lambda k, u: -(1 - 0.18 * k) * hump(1 - u),
    "crossing": lambda k, u: (1 if k % 2 == 0 else -0.8) * sway(u),
}


def packet(n, variant):
    def recipe(P):
        shape = "alternating" if variant == "depth" else variant
        x_variant = "alternating" if variant in ("crossing", "depth") else variant
        x = packet_x(n, x_variant == "cascading")(P)
        y = fit_one(columns(P, side(n, SIDES[shape]))[0], SIDE_PEAK)
        if variant != "depth":
            return x, y
        # Depth leans late in each packet, against the early side hump, and
        # keeps its own sign pattern.
        signs = (1, 0.7, -0.85, 1, -0.6)
        z = columns(P, side(n, lambda k, u: signs[k] * hump(1 - u)))[0]
        return x, y, fit_one(z, DEPTH_PEAK)
    return recipe
