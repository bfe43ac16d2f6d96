"""A user's loop from a file, as a ``kinetra.SampledPattern``.

One row of x, y, z per pip, from pip 0:

- ``.csv``: three numbers a line; a header line naming columns ``x``, ``y`` and
  ``z`` picks those columns (so a table written by ``kinetra export`` reads
  back as a loop);
- ``.json``: an array of ``[x, y, z]`` rows, or of objects with keys ``x``,
  ``y`` and ``z``;
- ``.npy``: a float array of shape (n, 3) (needs NumPy).

The pattern is named after the file (``my_loop.csv`` is ``my_loop``) and
validated by ``SampledPattern`` itself, so a bad name, an empty table or a
value outside -1..1 is refused with the class's own message.
"""

from __future__ import annotations

import csv
import json
import os
from typing import Any

import kinetra

# A loop holds at most this many rows (the pattern's own limit applies too);
# it stops a huge file from being read whole before it is refused.
MAX_FILE_BYTES = 64 * 1024 * 1024


def _number(text: str, where: str) -> float:
    try:
        return float(text)
    except ValueError:
        raise ValueError(f"{where}: not a number: {text!r}") from None


def _csv_rows(path: str, label: str) -> list[list[float]]:
    with open(path, newline="", encoding="utf-8") as f:
        lines = [row for row in csv.reader(f) if row and any(cell.strip() for cell in row)]
    if not lines:
        return []
    columns = [0, 1, 2]
    head = [cell.strip().lower() for cell in lines[0]]
    if all(axis in head for axis in ("x", "y", "z")):
        columns = [head.index(axis) for axis in ("x", "y", "z")]
        lines = lines[1:]
    rows = []
    for number, line in enumerate(lines, start=1):
        where = f"{label} row {number}"
        if len(line) <= max(columns):
            raise ValueError(f"{where}: expected x, y and z, got {len(line)} values")
        rows.append([_number(line[c], where) for c in columns])
    return rows


def _json_rows(path: str, label: str) -> list[Any]:
    with open(path, encoding="utf-8") as f:
        try:
            data = json.load(f)
        except json.JSONDecodeError as error:
            raise ValueError(f"{label}: not JSON: {error.msg} at line {error.lineno}") from None
    if not isinstance(data, list):
        raise ValueError(f"{label}: expected an array of rows")
    rows: list[Any] = []
    for row in data:
        if isinstance(row, dict):
            try:
                row = [row["x"], row["y"], row["z"]]
            except KeyError as missing:
                raise ValueError(f"{label}: a row has no {missing.args[0]!r}") from None
        rows.append(row)
    return rows


def _npy_rows(path: str, label: str) -> Any:
    try:
        import numpy
    except ImportError:
        raise ValueError(f"{label}: reading .npy files needs NumPy (python3-numpy)") from None
    try:
        return numpy.load(path, allow_pickle=False)
    except (OSError, ValueError) as error:
        raise ValueError(f"{label}: not a NumPy array file ({error})") from None


READERS = {".csv": _csv_rows, ".json": _json_rows, ".npy": _npy_rows}


def read_loop(path: str) -> kinetra.SampledPattern:
    """The loop held in ``path``; ValueError naming the file if it cannot be used."""
    label = os.path.basename(path) or path
    stem, suffix = os.path.splitext(label)
    reader = READERS.get(suffix.lower())
    if reader is None:
        raise ValueError(f"{label}: a loop file is .csv, .json or .npy")
    try:
        if os.path.getsize(path) > MAX_FILE_BYTES:
            raise ValueError(f"{label}: too large for a loop (over {MAX_FILE_BYTES >> 20} MiB)")
        rows = reader(path, label)
    except OSError as error:
        raise ValueError(f"cannot read {path}: {error.strerror or error}") from None
    except UnicodeDecodeError:
        raise ValueError(f"{label}: not a text file") from None
    try:
        return kinetra.SampledPattern(stem, f"loop read from {label}", rows)
    except (TypeError, ValueError) as error:
        raise ValueError(f"{label}: {error}") from None
