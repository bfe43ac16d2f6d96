"""Beat maps in files: JSON, and the plain beat-annotation text of MIR datasets.

JSON is an object with "beats", "downbeats", "bpm", "meter" and, when known,
"duration". Annotation text has one line per beat: the time in seconds, then
the beat's position in its bar (1 for a downbeat). ``load`` tells them apart
by extension or content; ``save`` picks by extension or the format asked for.
"""

from __future__ import annotations

import json
import math
import os
from collections import Counter
from collections.abc import Iterable, Sequence
from fractions import Fraction
from typing import IO, Any

from .beatmap import BeatMap
from .numbers import Number, exact
from .timeline import DEFAULT_METER, MAX_METER

__all__ = ["from_json", "load", "read_annotation", "save", "to_json", "write_annotation", "write_json"]



def to_json(song: BeatMap) -> dict[str, Any]:
    """The map as a JSON-ready object."""
    out: dict[str, Any] = {"beats": list(song.beats), "downbeats": list(song.downbeats),
                           "bpm": round(song.bpm, 3), "meter": song.beats_per_bar}
    if song.duration is not None:
        out["duration"] = song.duration
    return out

def from_json(data: object, name: str = "beat map") -> BeatMap:
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
        return BeatMap(beats, downbeats, data.get("meter", DEFAULT_METER), data.get("duration"))
    except ValueError as error:
        raise ValueError(f"{name}: {error}") from None

def write_json(song: BeatMap, out: IO[str]) -> None:
    json.dump(to_json(song), out, indent=1)
    out.write("\n")

def write_annotation(song: BeatMap, out: IO[str]) -> None:
    """One line per beat: seconds, tab, position in the bar (1 = downbeat)."""
    for t, position in zip(song.beats, song.positions()):
        out.write(f"{t!r}\t{position}\n")

def read_annotation(lines: Iterable[str], name: str = "beat map", meter: int | None = None,
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
        meter = _meter_of(positions) if given else DEFAULT_METER
    try:
        return BeatMap(times, downbeats, meter, duration)
    except ValueError as error:
        raise ValueError(f"{name}: {error}") from None

def save(song: BeatMap, path: str, format: str | None = None) -> None:
    """Write the map to ``path`` (replaced only once complete): JSON, or
    annotation text for a ``.beats``/``.txt``/``.lab`` name or ``format="beats"``."""
    from .files import replacing

    kind = format or _kind_of_name(path) or "json"
    with replacing(path) as out:
        (write_annotation if kind == "beats" else write_json)(song, out)

def load(path: str) -> BeatMap:
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
        return from_json(data, path)
    return read_annotation(text.splitlines(), path)


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
    return max((p or 1) for p in positions) if positions else DEFAULT_METER


def _kind_of_name(path: str) -> str | None:
    suffix = os.path.splitext(path)[1].lower()
    if suffix == ".json":
        return "json"
    if suffix in (".beats", ".txt", ".lab", ".tsv", ".csv"):
        return "beats"
    return None
