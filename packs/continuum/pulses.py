"""Pulses of the rhythmic families: the palette, the envelope and the score.

A pulse is a single excursion from the origin along a fixed vector and back:
the vector times an envelope that is exactly 1 at the event time and exactly
0 outside its support. The envelope is a raised cosine on each side of the
event, rising over RISE pips and falling over FALL pips when the event stands
alone (support 23 pips in all).

Pulses narrow when their neighbours are close. Each side of a pulse is cut to
the gap beside it: the rise takes RISE * min(1, ROOM * g / WIDTH) with g the
gap back to the previous event, the fall FALL * min(1, ROOM * g / WIDTH) with
g the gap on to the next one. Two neighbours g apart therefore share at most
ROOM * g pips of support, and the last quarter of every gap below 30⅔ pips
rests at exactly (0, 0, 0). Gaps are measured around the loop between the
distinct main event times of the pattern; events that coincide simply add.

Companion pulses (the depth pulses that trail an accent) sit a fixed offset
after their parent, take its width factor on both sides and do not narrow
their neighbours.

Times are exact fractions (Fraction) so that 64/3 stays 64/3 until the
envelope is evaluated.
"""

import math
from fractions import Fraction

from primitives import envelope

# The five palette vectors (x, y, z).
LEFT = (-0.31, -0.12, 0.0)
RIGHT = (0.29, -0.15, 0.0)
DEPTH = (0.08, 0.05, 0.32)
DROP = (0.06, -0.32, 0.12)
LIFT = (-0.032, 0.24, -0.072)

RISE = 9.2     # pips before an isolated event
FALL = 13.8    # pips after it
WIDTH = RISE + FALL
ROOM = 0.75    # share of a gap two neighbouring pulses may cover together

COMPANION_RISE = 5.0
COMPANION_FALL = 7.0

BEAT = 64
THIRD = Fraction(64, 3)


def combine(*terms):
    """The vector sum of (factor, vector) terms, added axis by axis in order."""
    return tuple(sum(f * v[a] for f, v in terms) for a in range(3))


class Score:
    """Pulses of one pattern with period P, gathered and then rendered."""

    def __init__(self, P):
        self.P = P
        self.events = []       # (time, factor, vector)
        self.companions = []   # (parent time, offset, factor, vector)

    def pulse(self, t, factor, vector):
        """A pulse of factor * vector at time t (pips, a Fraction or an int)."""
        self.events.append((Fraction(t) % self.P, factor, vector))

    def companion(self, t, offset, factor, vector):
        """A pulse trailing the event at t by `offset` pips, not a grid event."""
        self.companions.append((Fraction(t) % self.P, Fraction(offset), factor, vector))

    def _factors(self):
        """(rise factor, fall factor) for every distinct event time."""
        times = sorted({t for t, _, _ in self.events})
        sides = {}
        n = len(times)
        for i, t in enumerate(times):
            before = (t - times[i - 1]) % self.P if n > 1 else self.P
            after = (times[(i + 1) % n] - t) % self.P if n > 1 else self.P
            sides[t] = (min(1.0, ROOM * float(before) / WIDTH),
                        min(1.0, ROOM * float(after) / WIDTH))
        return sides

    def shapes(self):
        """(time, rise, fall, factor, vector) of every pulse, events first."""
        sides = self._factors()
        out = []
        for t, factor, vector in self.events:
            r, f = sides[t]
            out.append((t, RISE * r, FALL * f, factor, vector))
        for t, offset, factor, vector in self.companions:
            f = sides[t][1] if t in sides else 1.0
            out.append(((t + offset) % self.P, COMPANION_RISE * f, COMPANION_FALL * f,
                        factor, vector))
        return out

    def columns(self):
        """The three axes, P values each; exactly 0.0 wherever no pulse is active."""
        P = self.P
        cols = [[0.0] * P for _ in range(3)]
        for t, rise, fall, factor, vector in self.shapes():
            scaled = tuple(factor * v for v in vector)
            tf = float(t)
            shape = envelope(P, tf, rise, fall)
            for q in range(math.floor(tf - rise), math.ceil(tf + fall) + 1):
                p = q % P
                e = shape(p)
                if e:
                    for a in range(3):
                        cols[a][p] += scaled[a] * e
        return tuple(cols)

