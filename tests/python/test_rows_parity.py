"""The sequence readers (the row readers and the pips of batch sampling)
against pybind11's own vector conversions, with and without conversion.

Each odd input is made afresh for each path and read both ways; the results,
the errors raised while reading and the calls made into the objects must be
the same. The readers keep at most 65,536 pattern rows and drop a recording's
values past 8,388,608 (the constructors refuse such tables on their size
before reading a value), so those are compared as the layout they promise.
"""
import array
import math
import struct

import pytest

from stand_ins import FloatOnly, FloatSub, Index, IntOnly

reference = pytest.importorskip("kinetra_rows_reference")

PATTERN_KEEP = 65536
MAX_VALUES = 8388608


class Raised(Exception):
    pass


class Log:
    """Objects that record every call made into them, in order."""

    def __init__(self):
        self.calls = []

    def value(self, v, *, shrink=None, grow=None):
        log = self

        class Value:
            def __float__(self):
                log.calls.append(("float", v))
                if shrink is not None:
                    del shrink[-1:]
                if grow is not None:
                    grow.append([0.25] * len(grow[0]) if grow and isinstance(grow[0], list)
                                else (0.25, 0.25, 0.25))
                return v

        return Value()

    def sequence(self, items, *, length=None, fail=None):
        log = self

        class Sequence:
            def __len__(self):
                log.calls.append("len")
                if fail == "len":
                    raise Raised("len")
                return len(items) if length is None else length

            def __getitem__(self, i):
                log.calls.append(("item", i))
                if fail == "item":
                    raise Raised("item")
                return items[i]

        return Sequence()

    def iterating_list(self, items):
        log = self

        class IterList(list):
            def __iter__(self):
                log.calls.append("iter")
                return iter(list.__iter__(self))

        return IterList(items)


def gen(items):
    return (x for x in items)


ROW = (0.5, -0.25, 1.0)

# Each case: a function of a Log returning a fresh input.
COMMON = {
    "empty list": lambda log: [],
    "empty tuple": lambda log: (),
    "list of tuples": lambda log: [ROW, (0.0, -0.0, -1.0)],
    "tuple of lists": lambda log: ([0, 1, -1], [True, False, 0.5]),
    "generator of rows": lambda log: gen([ROW, [1, 0, 0]]),
    "map of rows": lambda log: map(tuple, [ROW, ROW]),
    "zip rows": lambda log: zip([0.5, 0.25], [0.0, 0.0], [1.0, -1.0]),
    "dict values": lambda log: {"a": ROW, "b": [0, 0, 0]}.values(),
    "set of rows": lambda log: {ROW},
    "rows as generators": lambda log: [gen(ROW), gen([0, 0, 0])],
    "rows as sets": lambda log: [{0.5}, {0.25, 0.75, 1.0}],
    "rows as dict keys": lambda log: [{0.5: 0, 0.25: 0, 0.125: 0}.keys()],
    "rows as ranges": lambda log: [range(3), range(0)],
    "rows as array.array": lambda log: [array.array("d", ROW)],
    "rows as memoryview": lambda log: [memoryview(array.array("d", ROW))],
    "rows as bytearray": lambda log: [bytearray(b"\x01\x02\x03")],
    "rows as bytes": lambda log: [b"\x01\x02\x03"],
    "rows as str": lambda log: ["abc"],
    "row of numbers of every kind": lambda log: [
        (Index(1), FloatOnly(0.5), FloatSub(-0.25)), (True, 2**53 + 1, -0.0)],
    "row with __int__ only": lambda log: [(IntOnly(1), 0.0, 0.0)],
    "row with None": lambda log: [(0.0, None, 0.0)],
    "row with str": lambda log: [(0.0, 0.0, "1")],
    "row with complex": lambda log: [(1j, 0.0, 0.0)],
    "row with huge int": lambda log: [(0.0, 10**400, 0.0)],
    "non-finite values": lambda log: [(math.nan, math.inf, -math.inf)],
    "Offset3 row": lambda log: [__import__("kinetra").bounce(0)],
    "str": lambda log: "abc",
    "bytes": lambda log: b"abc",
    "bytearray": lambda log: bytearray(b"abc"),
    "dict": lambda log: {0: ROW},
    "plain iterator": lambda log: iter([ROW]),
    "number": lambda log: 3,
    "None": lambda log: None,
    "wrong width first": lambda log: [(0.0, 0.0), ROW],
    "wrong width later": lambda log: [ROW, (0.0, 0.0, 0.0, 0.0)],
    "empty row": lambda log: [[]],
    "bad value after bad width": lambda log: [ROW, (0.0,), (None, 0.0, 0.0)],
    "custom sequence outer": lambda log: log.sequence([ROW, ROW]),
    "custom sequence rows": lambda log: [log.sequence([0.5, 0.25, 0.0]), log.sequence([1, 2])],
    "custom sequence lying about its length": lambda log: [log.sequence([0.5, 0.25, 0.0, 9.0], length=3)],
    "len raises (outer)": lambda log: log.sequence([ROW], fail="len"),
    "len raises (row)": lambda log: [log.sequence(ROW, fail="len")],
    "item raises (row)": lambda log: [log.sequence(ROW, fail="item")],
    "list subclass with own __iter__ (outer)": lambda log: log.iterating_list([ROW, ROW]),
    "list subclass with own __iter__ (row)": lambda log: [log.iterating_list(list(ROW))],
    "pips": lambda log: [0, -1, 2**31 - 1, -(2**31)],
    "pips of every kind": lambda log: (True, Index(7), IntOnly(3), 2**31, 1.0, FloatSub(2.0)),
    "pips from a generator": lambda log: gen([5, Index(-6)]),
    "pips as a range": lambda log: range(-3, 3),
    "pips as array.array": lambda log: array.array("q", [1, -1]),
    "pips that log their conversion": lambda log: [log.value(0.5), 1],
    "values that log their conversion": lambda log: [
        (log.value(0.5), log.value(0.25), log.value(-0.5)), [log.value(1.0), 0.0, log.value(0.0)]],
}


def shrinking_row(log):
    row = [0.0, 0.0, 0.0]
    row[0] = log.value(0.5, shrink=row)
    return [row]


def growing_outer(log):
    rows = [[0.5, 0.5, 0.5]]
    rows[0][0] = log.value(0.5, grow=rows)
    return rows


def shrinking_outer(log):
    rows = [[0.5, 0.5, 0.5], [0.1, 0.1, 0.1], [0.2, 0.2, 0.2]]
    rows[0][1] = log.value(0.5, shrink=rows)
    return rows


MUTATING = {
    "row shrunk by its own value": shrinking_row,
    "outer list grown while read": growing_outer,
    "outer list shrunk while read": shrinking_outer,
}

CASES = {**COMMON, **MUTATING}


def outcome(read, make):
    log = Log()
    source = make(log)
    try:
        result = ("value", read(source))
    except Exception as e:  # noqa: BLE001 - the class and text are what is compared
        result = ("raised", type(e), str(e))
    return result, log.calls


def bits(rows):
    """Rows with each value as its exact bit pattern (-0.0 and NaN included)."""
    return [tuple(struct.pack("<d", v) for v in row) for row in rows]


def flat_layout(rows):
    """The flat table the recording reader promises for these nested rows."""
    width = len(rows[0]) if rows else 0
    uniform = next((k for k, row in enumerate(rows) if len(row) != width), len(rows))
    values = [v for row in rows[:uniform] for v in row]
    if uniform * width > MAX_VALUES:
        values = []
    return (len(rows), width, uniform, values)


def flat_bits(flat):
    return (*flat[:3], bits([flat[3]]))


# Each reader: (pybind11's own conversion, the reader, what the reader promises
# for pybind11's result, the reader's result in the same form).
READERS = {
    "pattern rows": (reference.pattern_pybind11, reference.pattern_rows,
                     lambda rows: bits(rows[:PATTERN_KEEP]), bits),
    "recording rows": (reference.recording_pybind11, reference.recording_rows,
                       lambda rows: flat_bits(flat_layout(rows)), flat_bits),
    "pips": (reference.pips_pybind11, reference.pips, list, list),
}


@pytest.mark.parametrize("case", list(CASES))
@pytest.mark.parametrize("convert", [True, False], ids=["convert", "noconvert"])
@pytest.mark.parametrize("reader", list(READERS))
def test_readers_read_as_pybind11_reads_them(reader, convert, case):
    pybind11_read, read, promised, as_read = READERS[reader]
    expected, expected_calls = outcome(lambda src: pybind11_read(src, convert), CASES[case])
    got, calls = outcome(lambda src: read(src, convert), CASES[case])
    assert calls == expected_calls
    if expected[0] == "value" and expected[1] is not None:
        assert got[0] == "value" and got[1] is not None
        assert as_read(got[1]) == promised(expected[1])
    else:
        assert got == expected


@pytest.mark.parametrize(
    "rows, kept",
    [
        ([ROW] * 65537, 65536),  # one past the limit is enough to be refused
        ([ROW] * 65536, 65536),
    ],
)
def test_pattern_rows_past_the_limit_are_converted_but_not_kept(rows, kept):
    assert len(reference.pattern_rows(rows, True)) == kept
    assert reference.pattern_rows(rows + [(0.0, 0.0)], True) is None  # a late bad row still counts


def test_recording_values_past_the_limit_are_dropped():
    row = [0.5] * 4096
    fits = [row] * (MAX_VALUES // 4096)
    assert reference.recording_rows(fits, True)[:3] == (2048, 4096, 2048)
    assert len(reference.recording_rows(fits, True)[3]) == MAX_VALUES
    assert reference.recording_rows(fits + [row], True) == (2049, 4096, 2049, [])
    # Dropping stops nothing else: the first other width and a late bad value.
    assert reference.recording_rows(fits + [row, [0.5], row], True) == (2051, 4096, 2049, [])
    assert reference.recording_rows(fits + [row, [None]], True) is None
