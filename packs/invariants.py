"""The rules every generated table and registry record must meet.

Each check returns a list of violations, each a (pattern name, rule, detail)
triple; an empty list means the table or registry is sound. The generator
refuses to emit anything while a violation remains.
"""

import math
import os
import re

from primitives import is_twelve_decimal

# The built-in rudiments' table, one entry a line: `{{"name", "description", ...`.
BUILTINS_SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                               os.pardir, "core", "rudiments.hpp")


def builtin_names(path=BUILTINS_SOURCE):
    """The built-in rudiments' names, read from their table in the C++ source."""
    with open(path, encoding="utf-8") as f:
        source = f.read()
    table = re.search(r"inline constexpr Builtin builtins\[\] = \{\n(.*?)\n\};", source, re.S)
    if table is None:
        raise SystemExit(f"{path}: no table of built-ins found")
    names = re.findall(r'^\s*\{\{"([^"]*)"', table.group(1), re.M)
    if len(names) != table.group(1).count("\n") + 1:
        raise SystemExit(f"{path}: a line of the built-ins table is not one entry")
    return frozenset(names)


BUILTIN_NAMES = builtin_names()

NAME_PATTERN = re.compile(r"[a-z][a-z0-9_]*")
NAME_BYTES = (8, 32)
DESCRIPTION_BYTES = (43, 235)
PERIOD_RANGE = (160, 1024)
PERIOD_STEP = 32
# Besides printable ASCII, descriptions may use the en dash and the em dash.
DESCRIPTION_EXTRA = frozenset("\u2013\u2014")

# A step at the wrap may exceed the larger step beside it by this factor.
CLOSURE_FACTOR = 1.03
# Steps are computed from rounded values; equal steps may differ in the last bit.
STEP_SLACK = 1e-12

AXES = "xyz"

# The largest |x|, |y|, |z| over every table of the registry, as stored.
REGISTRY_LARGEST = (1.0, 0.92, 0.92)


def _step(a, b):
    return math.sqrt((b[0] - a[0]) ** 2 + (b[1] - a[1]) ** 2 + (b[2] - a[2]) ** 2)


def check_table(name, period, dimensions, rows):
    """Violations of the table rules for one pattern's rounded rows."""
    found = []

    def fail(rule, detail):
        found.append((name, rule, detail))

    if len(rows) != period:
        fail("row count", f"{len(rows)} rows for a period of {period}")
        return found

    for p, row in enumerate(rows):
        for axis, v in zip(AXES, row):
            where = f"row {p} {axis} = {v!r}"
            if not math.isfinite(v):
                fail("finite", where)
            elif not -1.0 <= v <= 1.0:
                fail("range", where + " outside [-1, 1]")
            elif not is_twelve_decimal(v):
                fail("twelve decimals", where + " is not a twelve-decimal value")
            elif v == 0 and math.copysign(1.0, v) < 0:
                fail("positive zero", where + " is a negative zero")
    if found:
        return found

    # Axis use: every axis above `dimensions` is +0.0; the highest one moves.
    if dimensions not in (1, 2, 3):
        fail("dimensions", f"{dimensions} is not 1, 2 or 3")
        return found
    for a in range(dimensions, 3):
        moving = [p for p, row in enumerate(rows) if row[a] != 0]
        if moving:
            fail("axis use", f"{AXES[a]} moves (row {moving[0]}) but dimensions is {dimensions}")
    if dimensions > 1 and all(row[dimensions - 1] == 0 for row in rows):
        fail("axis use", f"dimensions is {dimensions} but {AXES[dimensions - 1]} never moves")

    # Closure: the loop may not jump from its last row back to row 0.
    if period >= 3:
        steps = [_step(rows[p], rows[p + 1]) for p in range(period - 1)]
        wrap = _step(rows[-1], rows[0])
        largest = max(steps)
        beside = max(steps[-1], steps[0])
        if wrap > largest + STEP_SLACK:
            fail("closure", f"step at the wrap {wrap!r} exceeds the largest step {largest!r}")
        elif wrap > CLOSURE_FACTOR * beside + STEP_SLACK:
            fail("closure", f"step at the wrap {wrap!r} exceeds {CLOSURE_FACTOR} times "
                            f"the larger step beside it {beside!r}")
    return found


def check_record(name, period, dimensions, description):
    """Violations of the record rules for one pattern."""
    found = []

    def fail(rule, detail):
        found.append((name, rule, detail))

    encoded = name.encode("utf-8")
    if not NAME_BYTES[0] <= len(encoded) <= NAME_BYTES[1]:
        fail("name", f"{len(encoded)} bytes, not {NAME_BYTES[0]} to {NAME_BYTES[1]}")
    if not NAME_PATTERN.fullmatch(name) or not name.isascii():
        fail("name", "not a lower-case letter followed by lower-case letters, digits, underscores")
    if name in BUILTIN_NAMES:
        fail("name", "is the name of a built-in rudiment")

    size = len(description.encode("utf-8"))
    if not DESCRIPTION_BYTES[0] <= size <= DESCRIPTION_BYTES[1]:
        fail("description", f"{size} bytes, not {DESCRIPTION_BYTES[0]} to {DESCRIPTION_BYTES[1]}")
    odd = sorted({c for c in description
                  if not (" " <= c <= "~") and c not in DESCRIPTION_EXTRA})
    if odd:
        fail("description", "characters outside the allowed set: "
                            + ", ".join(f"U+{ord(c):04X}" for c in odd))

    if not (isinstance(period, int) and PERIOD_RANGE[0] <= period <= PERIOD_RANGE[1]
            and period % PERIOD_STEP == 0):
        fail("period", f"{period} is not a multiple of {PERIOD_STEP} "
                       f"from {PERIOD_RANGE[0]} to {PERIOD_RANGE[1]}")
    if dimensions not in (1, 2, 3):
        fail("dimensions", f"{dimensions} is not 1, 2 or 3")
    return found


def check_unique(names):
    """Violations for names that occur more than once."""
    seen = set()
    found = []
    for name in names:
        if name in seen:
            found.append((name, "unique name", "the name occurs more than once"))
        seen.add(name)
    return found


def check_registry_largest(extremes, targets=REGISTRY_LARGEST):
    """Violations of the registry's largest magnitudes, given name -> (largest
    |x|, |y|, |z|) of every table in the registry.

    The comparison is exact: a stored record of 0.91999997792 is no 0.92. A
    record that falls short is charged to the table nearest to it, one that
    overshoots to the table that holds it.
    """
    found = []
    if not extremes:
        return found
    for a, target in enumerate(targets):
        value, holder = max((e[a], name) for name, e in extremes.items())
        if value != target:
            found.append((holder, "registry largest magnitude",
                          f"{AXES[a]} reaches {value!r}, not {target!r}"))
    return found
