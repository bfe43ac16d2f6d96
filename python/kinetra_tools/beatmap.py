"""A recording's own clock: its beats and bars, as a ``Timeline``.

A ``BeatMap`` holds the times of a song's beats (seconds, ascending), which of
them start a bar (the downbeats) and the meter (``beats_per_bar``). It maps
seconds to pips and back through the beats themselves:

- pip 0 is the first downbeat, and pip 64·k is beat k counted from there
  (beats before the first downbeat get negative pips), so a pattern of whole
  bars starts every bar on its own pip 0 as long as the bars are regular;
- between two neighbouring beats, pips are spread evenly;
- before the first beat and after the last one, pips run on at the local
  tempo: that of the nearest pair of beats.

Beat times are taken at the decimal value they are written with, like every
other number of the tools (``numbers.exact``): 0.1 means 1/10. All mapping is
done in exact rational arithmetic, so ``pip_at(seconds_at(p)) == p`` for
every pip, and the beat times themselves map to multiples of 64 exactly.

Bars follow the map's own downbeats, so a bar of three beats among bars of
four counts exactly everywhere (``bar_beat``, ``bar_start``); before the first
downbeat and after the last, bars of ``beats_per_bar`` beats run on.

Files (JSON, beat-annotation text) are read and written by ``beatmap_io``;
``load`` and ``save`` here are its entry points.
"""

from __future__ import annotations

import bisect
import math
import statistics
from collections.abc import Iterable
from fractions import Fraction
from typing import IO, Any

from .numbers import Number, exact, floor, integer
from .timeline import DEFAULT_METER, MAX_METER, PIPS_PER_BEAT, Bars, Timeline, check_meter

__all__ = ["BeatMap", "MAX_METER"]


def seconds_value(value: object, what: str) -> Fraction:
    """A time in seconds as given in a map (a number or its text), exactly."""
    if isinstance(value, float) and math.isnan(value):
        raise ValueError(f"{what} is not a number (NaN)")
    if not isinstance(value, (int, float, Fraction, str)) or isinstance(value, bool):
        raise ValueError(f"{what} must be a number of seconds, not {value!r}")
    return exact(value, what)


class BeatMap(Timeline):
    """The beats and bars of a recording: seconds to pips and back, exactly.

    ``beats``: the beat times in seconds, strictly ascending, at least two.
    ``downbeats``: the beats that start a bar (each one of ``beats``); by
    default every ``beats_per_bar``-th beat from the first. ``duration``: the
    length of the recording in seconds, when known.
    """

    __slots__ = ("_times", "_down", "_origin", "beats_per_bar", "duration", "_beats_f", "_down_f", "bars")

    def __init__(self, beats: Iterable[Number], downbeats: Iterable[Number] | None = None,
                 beats_per_bar: int = DEFAULT_METER, duration: Number | None = None) -> None:
        self.beats_per_bar: int = check_meter(beats_per_bar)
        times = [seconds_value(t, f"beat {i + 1}") for i, t in enumerate(beats)]
        if len(times) < 2:
            raise ValueError(f"a beat map needs at least two beats, got {len(times)}")
        for i in range(1, len(times)):
            if times[i] <= times[i - 1]:
                raise ValueError(f"beats must be strictly ascending: beat {i + 1} ({float(times[i])} s) "
                                 f"is not after beat {i} ({float(times[i - 1])} s)")
        if downbeats is None:
            down = list(range(0, len(times), self.beats_per_bar))
        else:
            index = {t: i for i, t in enumerate(times)}
            down = []
            for j, value in enumerate(downbeats):
                t = seconds_value(value, f"downbeat {j + 1}")
                if t not in index:
                    raise ValueError(f"downbeat {j + 1} ({float(t)} s) is not one of the beats")
                down.append(index[t])
            down = sorted(set(down))
            if not down:
                raise ValueError("a beat map needs at least one downbeat")
        self._times: list[Fraction] = times
        self._down: list[int] = down
        self._origin: int = down[0]
        self.duration: float | None = None
        if duration is not None:
            length = seconds_value(duration, "duration")
            if length < 0:
                raise ValueError(f"duration must not be negative: {duration!r}")
            self.duration = float(length)
        self._beats_f = tuple(float(t) for t in times)
        self._down_f = tuple(self._beats_f[i] for i in down)
        # Beat k (pip 64 k) is the map's beat origin + k; bars start on its downbeats.
        self.bars = Bars([i - self._origin for i in down], self.beats_per_bar)

    # ---- what it holds ------------------------------------------------------

    @property
    def beats(self) -> tuple[float, ...]:
        """Beat times in seconds, ascending."""
        return self._beats_f

    @property
    def downbeats(self) -> tuple[float, ...]:
        """The beats that start a bar, in seconds, ascending."""
        return self._down_f

    @property
    def bpm(self) -> float:
        """The tempo heard longest, in beats a minute: the median tempo of the longest
        stretch of steady tempo (the whole map, unless the tempo changes)."""
        gaps = [float(self._times[i + 1] - self._times[i]) for i in range(len(self._times) - 1)]
        return 60 / statistics.median(longest_steady(gaps))

    def bpm_at(self, seconds: Number) -> float:
        """The local tempo at ``seconds``: that of the beat interval around it (or nearest)."""
        i = self._interval(exact(seconds, "seconds"))
        return float(60 / (self._times[i + 1] - self._times[i]))

    def positions(self) -> list[int]:
        """Each beat's position in its bar, 1 for a downbeat.

        Beats before the first downbeat count back from the meter (a one-beat
        pickup in 4/4 is beat 4).
        """
        return [self.bars.bar_beat((i - self._origin) * PIPS_PER_BEAT).beat for i in range(len(self._times))]

    def span(self) -> tuple[Fraction, Fraction]:
        """The recording, from 0 to its duration when that is known; else its first to last beat."""
        if self.duration is not None:
            return Fraction(0), exact(self.duration, "duration")
        return self._times[0], self._times[-1]

    def __len__(self) -> int:
        return len(self._times)

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, BeatMap):
            return NotImplemented
        return (self._times == other._times and self._down == other._down
                and self.beats_per_bar == other.beats_per_bar and self.duration == other.duration)

    __hash__ = None  # type: ignore[assignment]

    def __repr__(self) -> str:
        return (f"BeatMap({len(self._times)} beats, {len(self._down)} bars of {self.beats_per_bar}, "
                f"{self.bpm:.2f} BPM, {self._beats_f[0]:.3f}-{self._beats_f[-1]:.3f} s)")

    # ---- the timeline -------------------------------------------------------

    def _interval(self, t: Fraction) -> int:
        """Index i of the beat interval [t_i, t_i+1] that maps ``t`` (clamped to the ends)."""
        i = bisect.bisect_right(self._times, t) - 1
        return min(max(i, 0), len(self._times) - 2)

    def pip_at(self, seconds: Number) -> int:
        """The pip sounding at ``seconds``: the last one started by then."""
        t = exact(seconds, "seconds")
        times = self._times
        i = bisect.bisect_right(times, t) - 1
        if i >= len(times) - 1:
            i = len(times) - 1          # after the last beat: the last interval's tempo, from there
            start, gap = times[i], times[i] - times[i - 1]
        else:
            i = max(i, 0)               # before the first beat: the first interval's tempo
            start, gap = times[i], times[i + 1] - times[i]
        return (i - self._origin) * PIPS_PER_BEAT + floor((t - start) * PIPS_PER_BEAT / gap)

    def seconds_at(self, pip: int) -> Fraction:
        """The exact time at which ``pip`` starts."""
        beat, part = divmod(integer(pip, "pip"), PIPS_PER_BEAT)
        times = self._times
        i = beat + self._origin
        if i >= len(times) - 1:
            last = len(times) - 1
            return times[last] + (times[last] - times[last - 1]) * Fraction(pip - (last - self._origin)
                                                                            * PIPS_PER_BEAT, PIPS_PER_BEAT)
        if i < 0:
            return times[0] + (times[1] - times[0]) * Fraction(pip + self._origin * PIPS_PER_BEAT,
                                                               PIPS_PER_BEAT)
        return times[i] + (times[i + 1] - times[i]) * Fraction(part, PIPS_PER_BEAT)

    # ---- files (see beatmap_io) -----------------------------------------------

    def to_json(self) -> dict[str, Any]:
        """The map as a JSON-ready object."""
        from .beatmap_io import to_json

        return to_json(self)

    def write_json(self, out: IO[str]) -> None:
        from .beatmap_io import write_json

        write_json(self, out)

    def write_annotation(self, out: IO[str]) -> None:
        """One line per beat: seconds, tab, position in the bar (1 = downbeat)."""
        from .beatmap_io import write_annotation

        write_annotation(self, out)

    def save(self, path: str, format: str | None = None) -> None:
        """Write the map to ``path`` (replaced only once complete): JSON, or
        annotation text for a ``.beats``/``.txt``/``.lab`` name or ``format="beats"``."""
        from .beatmap_io import save

        save(self, path, format)

    @classmethod
    def from_json(cls, data: object, name: str = "beat map") -> BeatMap:
        """A map from a JSON object (as ``to_json`` makes); "bpm" is recomputed."""
        from .beatmap_io import from_json

        return from_json(data, name)

    @classmethod
    def read_annotation(cls, lines: Iterable[str], name: str = "beat map", meter: int | None = None,
                        duration: Number | None = None) -> BeatMap:
        """A map from beat-annotation text: per line, seconds and (optionally) the position in the bar."""
        from .beatmap_io import read_annotation

        return read_annotation(lines, name, meter, duration)

    @classmethod
    def load(cls, path: str) -> BeatMap:
        """A map from a JSON or annotation-text file (by extension, else by content)."""
        from .beatmap_io import load

        return load(path)


# A beat interval further than this (as a ratio) from the median of the last
# STEADY_RECENT of its stretch starts a new stretch, so a gradual drift stays one
# stretch and a step does not; a single odd interval (a missed or doubled beat) does
# not either, since the intervals are first smoothed over STEADY_SMOOTHING beats.
STEADY_TOLERANCE = 0.1
STEADY_RECENT = 8
STEADY_SMOOTHING = 5


def longest_steady(gaps: list[float]) -> list[float]:
    """The beat intervals of the longest stretch (in seconds) of steady tempo."""
    half = STEADY_SMOOTHING // 2
    smooth = [statistics.median(gaps[max(0, i - half):i + half + 1]) for i in range(len(gaps))]
    best: tuple[float, int, int] = (0.0, 0, 0)
    first = 0
    for i in range(1, len(gaps) + 1):
        if i < len(gaps):
            typical = statistics.median(smooth[max(first, i - STEADY_RECENT):i])
            if abs(math.log(smooth[i] / typical)) <= math.log1p(STEADY_TOLERANCE):
                continue
        length = sum(gaps[first:i])
        if length > best[0]:
            best = (length, first, i)
        first = i
    return gaps[best[1]:best[2]]
