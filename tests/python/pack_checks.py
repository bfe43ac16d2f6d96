"""Rules every pack pattern meets, checked through the public API only.

Shared by the tests of every pack: give `record_faults` a catalogue entry and
`table_faults` the entry and its rows read back with `read_table`; each returns
a list of readable faults, empty when the pattern is sound. `club_kicks` is the
kick envelope of the beat packs' bare pulse, for checking beat tables against it.
"""

import math
import re

import kinetra

NAME = re.compile(r"[a-z][a-z0-9_]{7,31}")
DESCRIPTION_EXTRA = {"\u2013", "\u2014"}  # en dash and em dash
CLOSURE_FACTOR = 1.03
SLACK = 1e-12  # steps computed from stored values may differ in the last bit


def read_table(entry):
    """The pattern's rows 0 .. period - 1 as (x, y, z) tuples."""
    return [kinetra.sample(entry["name"], p).as_tuple() for p in range(entry["period_pips"])]


def club_kicks(p, period=256):
    """Sum at pip p of the club kick envelopes (rise 6.4, fall 29.44) of a
    kick on every beat of the period."""
    total = 0.0
    for t in range(0, period, 64):
        d = min((p - t, p - t + period, p - t - period), key=abs)
        if -6.4 < d <= 0:
            total += (1 + math.cos(math.pi * d / 6.4)) / 2
        elif 0 <= d < 29.44:
            total += (1 + math.cos(math.pi * d / 29.44)) / 2
    return total


def record_faults(entry):
    name, description = entry["name"], entry["description"]
    faults = []
    if not NAME.fullmatch(name):
        faults.append("name: not 8 to 32 of [a-z0-9_] starting with a letter")
    size = len(description.encode("utf-8"))
    if not 43 <= size <= 235:
        faults.append(f"description: {size} bytes")
    if any(not (" " <= c <= "~") and c not in DESCRIPTION_EXTRA for c in description):
        faults.append("description: character outside ASCII and the dashes")
    period = entry["period_pips"]
    if period % 32 or not 160 <= period <= 1024:
        faults.append(f"period: {period}")
    if entry["dimensions"] not in (1, 2, 3):
        faults.append(f"dimensions: {entry['dimensions']}")
    return faults


def _step(a, b):
    return math.sqrt(sum((q - p) ** 2 for p, q in zip(a, b)))


def table_faults(entry, rows):
    """Faults of one table: values, axis use, closure, and looping."""
    name, period, dimensions = entry["name"], entry["period_pips"], entry["dimensions"]
    faults = []
    for p, row in enumerate(rows):
        for axis, v in zip("xyz", row):
            if not math.isfinite(v) or not -1.0 <= v <= 1.0:
                faults.append(f"row {p} {axis}: {v!r} out of range")
            elif round(v, 12) != v:
                faults.append(f"row {p} {axis}: {v!r} is not a twelve-decimal value")
            elif v == 0 and math.copysign(1.0, v) < 0:
                faults.append(f"row {p} {axis}: negative zero")
    if faults:
        return faults

    for a in range(dimensions, 3):
        if any(row[a] != 0 for row in rows):
            faults.append(f"axis {'xyz'[a]} moves above dimensions {dimensions}")
    if dimensions > 1 and all(row[dimensions - 1] == 0 for row in rows):
        faults.append(f"axis {'xyz'[dimensions - 1]} never moves")

    steps = [_step(rows[p], rows[p + 1]) for p in range(period - 1)]
    wrap = _step(rows[-1], rows[0])
    if wrap > max(steps) + SLACK:
        faults.append(f"closure: wrap step {wrap} above the largest step {max(steps)}")
    if wrap > CLOSURE_FACTOR * max(steps[0], steps[-1]) + SLACK:
        faults.append(f"closure: wrap step {wrap} above the steps beside it")

    # Looping: one period later or earlier, the same row.
    for pip, row in ((period, 0), (-1, period - 1), (-period, 0), (3 * period + 5, 5)):
        if kinetra.sample(name, pip).as_tuple() != rows[row]:
            faults.append(f"pip {pip} is not row {row}")
    return faults
