"""What the motions make of a score: event envelopes, pulse trains and the
rhythm-weighted phase.

An event at time t shapes its contribution with an asymmetric raised cosine
of rise a and fall r: at distance d = p - t (around the loop)
E(d) = (1 + cos(pi*d/a))/2 for -a < d <= 0, (1 + cos(pi*d/r))/2 for
0 <= d < r, and 0 otherwise. It is 1 exactly at the event, so an event no
other envelope overlaps puts its axis exactly at its peak.
"""

import math
from functools import lru_cache

from primitives import raised_cosine

# (rise, fall) in pips per lane. The club envelopes shape the four basic
# motions; the dancefloor envelopes, a little longer, the twelve further ones.
CLUB = {"kick": (6.4, 29.44), "snare": (6.4, 23.04), "hat": (3.2, 17.92),
        "perc": (6.4, 23.04), "bass": (6.4, 29.44)}
FLOOR = {"kick": (7.04, 30.72), "snare": (7.04, 25.6), "hat": (3.52, 19.2),
         "perc": (7.04, 25.6), "bass": (7.04, 30.72)}
# Sideways ticks of off-grid hats: gone before the next sixteenth.
TICK = (3.2, 12.8)

# How much each lane drives the rhythm-weighted phase, per unit of level.
ACTIVITY = {"kick": 1.0, "snare": 0.6, "perc": 0.4, "hat": 0.15, "bass": 0.3}


def pulses(P, hits):
    """Sum over hits (t, peak, (rise, fall)) of peak * E(p - t), for p = 0 .. P-1.

    Each hit is added over its own support, in the order given.
    """
    values = [0.0] * P
    for t, peak, (rise, fall) in hits:
        if peak == 0:
            continue
        for k in range(math.floor(t - rise), math.ceil(t + fall) + 1):
            e = raised_cosine(k - t, rise, fall)
            if e:
                values[k % P] += peak * e
    return values


def alternate(events):
    """(event, sign) pairs: +1, -1, +1, ... in the order given."""
    return [(e, 1 - 2 * (k % 2)) for k, e in enumerate(events)]


def after_kick_sign(score):
    """For each event, the sign of the last kick at or before it (alternating
    kicks, the first +), wrapping round the loop; +1 in a score without kicks."""
    kicks = alternate(score.lane("kick"))
    sign = {}
    last = kicks[-1][1] if kicks else 1
    k = 0
    for e in score.events:
        while k < len(kicks) and kicks[k][0].time <= e.time:
            last = kicks[k][1]
            k += 1
        sign[id(e)] = last
    return sign


def activity(score, envelopes=CLUB, weights=ACTIVITY):
    """Every event's envelope, weighted by lane and level, summed."""
    return pulses(score.period, [(e.time, weights[e.lane] * e.level, envelopes[e.lane])
                                 for e in score.events])


def kick_drive(score, envelopes=CLUB):
    """K: the kick envelopes at their levels, summed."""
    return pulses(score.period, [(e.time, e.level, envelopes["kick"])
                                 for e in score.lane("kick")])


def rhythm_phase(weights):
    """phi(p) = (w(0) + ... + w(p-1)) / (w(0) + ... + w(P-1)), in turns."""
    running, partial = 0.0, []
    for w in weights:
        partial.append(running)
        running += w
    return [s / running for s in partial]


@lru_cache(maxsize=None)
def score_phase(score):
    """The rhythm-weighted phase of a score: each pip weighs 0.3 plus the
    activity there, so the phase hurries through events and idles between."""
    return tuple(rhythm_phase([0.3 + a for a in activity(score)]))


def saturate(a, knee=1.0, headroom=0.2):
    """a up to the knee; above it, a smooth approach to knee + headroom."""
    if a <= knee:
        return a
    return knee + headroom * math.tanh((a - knee) / headroom)
