"""Drum score notation shared by the beat packs.

A score is five lanes over a loop of whole bars (256 pips a bar of 4/4):

    kick    kick drum
    snare   snare or clap
    hat     hi-hat or shaker
    perc    toms, rim and other percussion
    bass    bass onsets, a cue lane

A lane is written as a grid string, one bar after another separated by "|".
A bar written as four blank-separated groups is read beat by beat, each
group dividing its beat evenly: "x..x" sixteenths, "x.x" eighth triplets,
"xoxoxo" sixteenth triplets, "xoxoxoxo" thirty-seconds. Any other bar,
blanks ignored, divides the whole bar evenly: 16 steps are sixteenths, 12
eighth triplets, and so on. A lane shorter than the loop repeats. A step is a rest "." or a hit whose
letter is its level:

    X  accent 1.0     x  normal 0.9     o  soft 0.6     g  ghost 0.35

In the perc lane "T" and "t" are toms (1.0 and 0.9); every other letter there
is rim, clave, bell or hand drum. With swing s, every odd sixteenth of every
lane comes s pips late. Where a hit sits off every grid, the lane is an event
table instead: a list of (pip, level) pairs.
"""

from dataclasses import dataclass
from fractions import Fraction

BAR = 256
LANES = ("kick", "snare", "hat", "perc", "bass")
LEVELS = {"X": 1.0, "x": 0.9, "o": 0.6, "g": 0.35}
TOMS = {"T": 1.0, "t": 0.9}


@dataclass(frozen=True)
class Event:
    time: float     # pip within the loop, may fall between pips
    lane: str
    level: float
    tom: bool = False

    @property
    def on_grid(self):
        """True where the hit falls on the sixteenth grid."""
        return self.time % 16 == 0


@dataclass(frozen=True)
class Score:
    period: int
    events: tuple   # every hit, ordered by time, then by lane order

    def lane(self, *lanes):
        return [e for e in self.events if e.lane in lanes]


def read_lane(lane, written, period, swing=0):
    """The events of one lane written as a grid string or an event table."""
    if not isinstance(written, str):
        return [Event(float(t), lane, float(level)) for t, level in written]
    bars = [_spans(bar) for bar in written.split("|")]
    loop_bars = period // BAR
    if loop_bars % len(bars):
        raise ValueError(f"{lane}: {len(bars)} bars do not fill a loop of {loop_bars}")
    events = []
    for k in range(loop_bars):
        for start, length, steps in bars[k % len(bars)]:
            for i, mark in enumerate(steps):
                if mark == ".":
                    continue
                if lane == "perc" and mark in TOMS:
                    level, tom = TOMS[mark], True
                elif mark in LEVELS:
                    level, tom = LEVELS[mark], False
                else:
                    raise ValueError(f"{lane}: unknown mark {mark!r}")
                time = k * BAR + start + Fraction(length * i, len(steps))
                if len(steps) * BAR == 16 * length and i % 2:  # an odd sixteenth
                    time += swing
                events.append(Event(float(time), lane, level, tom))
    return events


def _spans(bar):
    """(start pip, length in pips, steps) of each evenly divided span of a bar."""
    groups = bar.split()
    if len(groups) == 4:
        return [(BAR // 4 * b, BAR // 4, g) for b, g in enumerate(groups)]
    return [(0, BAR, "".join(groups))]


def score(period, swing=0, **lanes):
    unknown = set(lanes) - set(LANES)
    if unknown:
        raise ValueError(f"unknown lanes {sorted(unknown)}")
    events = [e for lane in LANES if lane in lanes
              for e in read_lane(lane, lanes[lane], period, swing)]
    events.sort(key=lambda e: (e.time, LANES.index(e.lane)))
    for e in events:
        if not 0 <= e.time < period:
            raise ValueError(f"{e.lane} hit at pip {e.time} outside the loop")
    return Score(period, tuple(events))


def without(written, mark):
    """A grid string with every `mark` hit turned into a rest."""
    return written.replace(mark, ".")
