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

Two file forms: JSON (an object with "beats", "downbeats", "bpm", "meter" and,
when known, "duration") and the plain beat-annotation text of MIR datasets,
one line per beat: the time in seconds, then the beat's position in its bar
(1 for a downbeat). ``load`` tells them apart by extension or content.
"""

from __future__ import annotations

import bisect
import json
import math
import os
import statistics
from collections import Counter
from collections.abc import Iterable, Sequence
from fractions import Fraction
from typing import IO, Any

from .numbers import Number, exact, floor, integer

PIPS_PER_BEAT = 64
MAX_METER = 16

__all__ = ["BeatMap", "MAX_METER"]


def _time(value: object, what: str) -> Fraction:
    if isinstance(value, float) and math.isnan(value):
        raise ValueError(f"{what} is not a number (NaN)")
    if not isinstance(value, (int, float, Fraction, str)) or isinstance(value, bool):
        raise ValueError(f"{what} must be a number of seconds, not {value!r}")
    return exact(value, what)


def _meter(value: object) -> int:
    if isinstance(value, bool) or not isinstance(value, int) or not 1 <= value <= MAX_METER:
        raise ValueError(f"meter must be a whole number of beats from 1 to {MAX_METER}, not {value!r}")
    return value


class BeatMap:
    """The beats and bars of a recording: seconds to pips and back, exactly.

    ``beats``: the beat times in seconds, strictly ascending, at least two.
    ``downbeats``: the beats that start a bar (each one of ``beats``); by
    default every ``beats_per_bar``-th beat from the first. ``duration``: the
    length of the recording in seconds, when known.
    """

    __slots__ = ("_times", "_down", "_origin", "beats_per_bar", "duration", "_beats_f", "_down_f")

    def __init__(self, beats: Iterable[Number], downbeats: Iterable[Number] | None = None,
                 beats_per_bar: int = 4, duration: Number | None = None) -> None:
        self.beats_per_bar: int = _meter(beats_per_bar)
        times = [_time(t, f"beat {i + 1}") for i, t in enumerate(beats)]
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
                t = _time(value, f"downbeat {j + 1}")
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
            length = _time(duration, "duration")
            if length < 0:
                raise ValueError(f"duration must not be negative: {duration!r}")
            self.duration = float(length)
        self._beats_f = tuple(float(t) for t in times)
        self._down_f = tuple(self._beats_f[i] for i in down)

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
        """The median tempo, in beats a minute."""
        gaps = [self._times[i + 1] - self._times[i] for i in range(len(self._times) - 1)]
        return float(60 / statistics.median(gaps))

    def bpm_at(self, seconds: Number) -> float:
        """The local tempo at ``seconds``: that of the beat interval around it (or nearest)."""
        i = self._interval(exact(seconds, "seconds"))
        return float(60 / (self._times[i + 1] - self._times[i]))

    def positions(self) -> list[int]:
        """Each beat's position in its bar, 1 for a downbeat.

        Beats before the first downbeat count back from the meter (a one-beat
        pickup in 4/4 is beat 4).
        """
        out = [0] * len(self._times)
        down = set(self._down)
        position = 0
        for i in range(len(self._times)):
            position = 1 if i in down else position + 1
            out[i] = position
        for i in range(self._origin):
            out[i] = (i - self._origin) % self.beats_per_bar + 1
        return out

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

    # ---- files --------------------------------------------------------------

    def to_json(self) -> dict[str, Any]:
        """The map as a JSON-ready object."""
        out: dict[str, Any] = {"beats": list(self._beats_f), "downbeats": list(self._down_f),
                               "bpm": round(self.bpm, 3), "meter": self.beats_per_bar}
        if self.duration is not None:
            out["duration"] = self.duration
        return out

    @classmethod
    def from_json(cls, data: object, name: str = "beat map") -> BeatMap:
        """A map from a JSON object (as ``to_json`` makes); "bpm" is recomputed."""
        if not isinstance(data, dict):
            raise ValueError(f"{name}: a beat map is a JSON object with \"beats\"")
        try:
            beats = data["beats"]
        except KeyError:
            raise ValueError(f"{name}: no \"beats\" in the JSON object") from None
        downbeats = data.get("downbeats")
        for key, value in (("beats", beats), ("downbeats", downbeats)):
            if value is not None and not isinstance(value, list):
                raise ValueError(f"{name}: \"{key}\" must be a list of seconds")
        try:
            return cls(beats, downbeats, data.get("meter", 4), data.get("duration"))
        except ValueError as error:
            raise ValueError(f"{name}: {error}") from None

    def write_json(self, out: IO[str]) -> None:
        json.dump(self.to_json(), out, indent=1)
        out.write("\n")

    def write_annotation(self, out: IO[str]) -> None:
        """One line per beat: seconds, tab, position in the bar (1 = downbeat)."""
        for t, position in zip(self._beats_f, self.positions()):
            out.write(f"{t!r}\t{position}\n")

    @classmethod
    def read_annotation(cls, lines: Iterable[str], name: str = "beat map", meter: int | None = None,
                        duration: Number | None = None) -> BeatMap:
        """A map from beat-annotation text: per line, seconds and (optionally) the position in the bar.

        Blank lines and lines starting with ``#`` are skipped. Without positions,
        every ``meter``-th beat (default 4) from the first starts a bar. The meter,
        unless given, is the most common bar length (the largest position if
        there are fewer than two bars).
        """
        times: list[Fraction] = []
        positions: list[int | None] = []
        for number, line in enumerate(lines, 1):
            fields = line.replace(",", " ").split()
            if not fields or fields[0].startswith("#"):
                continue
            if len(fields) > 2:
                raise ValueError(f"{name}, line {number}: expected seconds and a position in the bar, "
                                 f"got {line.strip()!r}")
            try:
                t = exact(fields[0], "time")
            except ValueError:
                raise ValueError(f"{name}, line {number}: not a time in seconds: {fields[0]!r}") from None
            position = None
            if len(fields) == 2:
                try:
                    value = float(fields[1])
                except ValueError:
                    value = math.nan
                if not (value.is_integer() and 1 <= value <= MAX_METER):
                    raise ValueError(f"{name}, line {number}: the position in the bar must be a whole "
                                     f"number from 1 to {MAX_METER}: {fields[1]!r}")
                position = int(value)
            if times and t <= times[-1]:
                raise ValueError(f"{name}, line {number}: beats must be strictly ascending: "
                                 f"{fields[0]} is not after {float(times[-1])!r}")
            times.append(t)
            positions.append(position)
        if len(times) < 2:
            raise ValueError(f"{name}: a beat map needs at least two beats, got {len(times)}")
        given = [p for p in positions if p is not None]
        if given and len(given) != len(positions):
            missing = positions.index(None)
            raise ValueError(f"{name}: beat {missing + 1} has no position in the bar while others do")
        downbeats = [t for t, p in zip(times, positions) if p == 1] if given else None
        if meter is None:
            meter = _meter_of(positions) if given else 4
        try:
            return cls(times, downbeats, meter, duration)
        except ValueError as error:
            raise ValueError(f"{name}: {error}") from None

    def save(self, path: str, format: str | None = None) -> None:
        """Write the map to ``path`` (replaced only once complete): JSON, or
        annotation text for a ``.beats``/``.txt``/``.lab`` name or ``format="beats"``."""
        from .files import replacing

        kind = format or _kind_of_name(path) or "json"
        with replacing(path) as out:
            (self.write_annotation if kind == "beats" else self.write_json)(out)

    @classmethod
    def load(cls, path: str) -> BeatMap:
        """A map from a JSON or annotation-text file (by extension, else by content)."""
        try:
            with open(path, encoding="utf-8") as f:
                text = f.read(64 << 20)
        except (OSError, UnicodeDecodeError) as error:
            raise ValueError(f"cannot read beat map {path}: {getattr(error, 'strerror', None) or error}") \
                from None
        kind = _kind_of_name(path) or ("json" if text.lstrip().startswith("{") else "beats")
        if kind == "json":
            try:
                data = json.loads(text)
            except json.JSONDecodeError as error:
                raise ValueError(f"{path}: not valid JSON (line {error.lineno}): {error.msg}") from None
            return cls.from_json(data, path)
        return cls.read_annotation(text.splitlines(), path)


def _meter_of(positions: Sequence[int | None]) -> int:
    """The most common bar length of a list of in-bar positions."""
    lengths: Counter[int] = Counter()
    run = 0
    seen_downbeat = False
    for p in positions:
        if p == 1:
            if seen_downbeat and run:
                lengths[run] += 1
            seen_downbeat, run = True, 0
        run += 1
    if lengths:
        return lengths.most_common(1)[0][0] if lengths.most_common(1)[0][0] <= MAX_METER else MAX_METER
    return max((p or 1) for p in positions) if positions else 4


def _kind_of_name(path: str) -> str | None:
    suffix = os.path.splitext(path)[1].lower()
    if suffix == ".json":
        return "json"
    if suffix in (".beats", ".txt", ".lab", ".tsv", ".csv"):
        return "beats"
    return None
