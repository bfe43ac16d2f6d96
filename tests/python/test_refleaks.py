"""Reference and memory-block leaks of every entry point, on its success path
and on each of its failure paths.

Needs a debug interpreter (sys.gettotalrefcount): `scripts/dev leaks` builds
the module for python3.14d and runs the suite there. Each case is repeated in
rounds until the interpreter's total reference count and its count of
allocated memory blocks settle; a case whose counts still grow in every
round leaks.
"""

import array
import functools
import gc
import sys

import pytest

import kinetra
from fuzz_model import Boom
from stand_ins import FloatOnly, Index, IntOnly

pytestmark = pytest.mark.skipif(not hasattr(sys, "gettotalrefcount"),
                                reason="needs a debug interpreter (scripts/dev leaks)")

ROW = (0.5, -0.25, 0.0)
PATTERN = kinetra.SampledPattern("user_loop", "d", [ROW, (0.0, 0.0, 1.0)])
LIBRARY = kinetra.PatternLibrary([PATTERN])
RECORDING = kinetra.SampledRecording("take", ["x", "y"], [[0.5, -0.5], [1.0, -1.0]], 120.0, 0.0, -1)
BOUNCE = kinetra.SampledPattern(
    "bounce", kinetra.catalogue()[0]["description"],
    [kinetra.bounce(p).as_tuple() for p in range(64)])


@functools.cache
def many():
    return [kinetra.SampledPattern(f"p{i}", "d", [ROW]) for i in range(1025)]


@functools.cache
def large():
    return [kinetra.SampledPattern(f"l{i}", "d", [ROW] * 65535) for i in range(17)]


UNDECODABLE = kinetra.SampledPattern("raw", b"\xff", [ROW])
UNINITIALISED = kinetra.SampledPattern.__new__(kinetra.SampledPattern)


def raising_rows():
    yield ROW
    raise Boom("rows")


def rows_out(count, raw=None):
    return memoryview(raw if raw is not None else bytearray(24 * count)).cast("d", (count, 3))


def shared_pips():
    """Pips lying in the memory of the out they are sampled into."""
    raw = bytearray(24 * 4)
    return memoryview(raw).cast("i")[:4], rows_out(4, raw)


CASES = {
    # Lookups.
    "sample builtin": lambda: kinetra.sample("circle", 5),
    "sample pack": lambda: kinetra.sample(kinetra.catalogue()[-1]["name"], -7),
    "sample bytes name": lambda: kinetra.sample(bytearray(b"circle"), Index(3)),
    "sample int-only pip": lambda: kinetra.sample("circle", IntOnly(3)),
    "sample unknown": lambda: kinetra.sample("nothing", 0),
    "sample unknown undecodable": lambda: kinetra.sample(b"a\xff\x00", 0),
    "sample float pip": lambda: kinetra.sample("circle", 1.0),
    "sample huge pip": lambda: kinetra.sample("circle", 2**70),
    "sample surrogate": lambda: kinetra.sample("\ud800", 0),
    "rudiment": lambda: kinetra.mirel_background(-1),
    "rudiment refused": lambda: kinetra.bounce("1"),
    "catalogue": kinetra.catalogue,
    "sample_many": lambda: kinetra.sample_many("circle", [1, IntOnly(2), Index(3)]).tolist(),
    "sample_many into out": lambda: kinetra.sample_many(
        kinetra.catalogue()[-1]["name"], array.array("q", [5, -5]), rows_out(2)),
    "sample_many pips under out": lambda: kinetra.sample_many("helix", *shared_pips()),
    "sample_many generator": lambda: kinetra.sample_many(b"sway", (p for p in range(9))),
    "sample_many unknown": lambda: kinetra.sample_many("nothing", [0], rows_out(1)),
    "sample_many refused pip": lambda: kinetra.sample_many("circle", [0, 1.5]),
    "sample_many refused buffer": lambda: kinetra.sample_many("circle", array.array("q", [2**40])),
    "sample_many raising pips": lambda: kinetra.sample_many("circle", raising_rows()),
    "sample_many bad out shape": lambda: kinetra.sample_many("circle", [0], rows_out(2)),
    "sample_many read-only out": lambda: kinetra.sample_many(
        "circle", [0], memoryview(bytes(24)).cast("d", (1, 3))),
    "offset3": lambda: kinetra.bounce(3).as_tuple() + (kinetra.bounce(3).x,),
    "offset3 constructor": lambda: kinetra.Offset3(),
    # SampledPattern.
    "pattern": lambda: kinetra.SampledPattern("p", "d", [ROW, [FloatOnly(0.5), Index(1), 0]]),
    "pattern from generator": lambda: kinetra.SampledPattern("p", b"d", (r for r in [ROW] * 3)),
    "pattern bad name": lambda: kinetra.SampledPattern("P", "d", [ROW]),
    "pattern no samples": lambda: kinetra.SampledPattern("p", "d", []),
    "pattern bad value": lambda: kinetra.SampledPattern("p", "d", [ROW, (0.0, 0.0, 2.0)]),
    "pattern short row": lambda: kinetra.SampledPattern("p", "d", [ROW, (0.0, 0.0)]),
    "pattern junk row": lambda: kinetra.SampledPattern("p", "d", [ROW, "abc"]),
    "pattern raising rows": lambda: kinetra.SampledPattern("p", "d", raising_rows()),
    "pattern properties": lambda: (PATTERN.name, PATTERN.description, PATTERN.period_pips),
    "pattern sample": lambda: PATTERN.sample(-1),
    "pattern sample refused": lambda: PATTERN.sample(IntOnly(1)),
    "pattern sample_many": lambda: PATTERN.sample_many(range(-3, 3), rows_out(6)),
    "pattern sample_many refused": lambda: PATTERN.sample_many([IntOnly(1)]),
    "pattern undecodable": lambda: UNDECODABLE.description,
    "pattern uninitialised": lambda: UNINITIALISED.name,
    # PatternLibrary.
    "library": lambda: kinetra.PatternLibrary([PATTERN, BOUNCE]),
    "library too many": lambda: kinetra.PatternLibrary(many()),
    "library duplicate": lambda: kinetra.PatternLibrary([PATTERN, PATTERN]),
    "library too large": lambda: kinetra.PatternLibrary(large()),
    "library override": lambda: kinetra.PatternLibrary(
        [kinetra.SampledPattern("circle", "x", [ROW])]),
    "library junk": lambda: kinetra.PatternLibrary([PATTERN, None]),
    "library uninitialised": lambda: kinetra.PatternLibrary([UNINITIALISED]),
    "library sample": lambda: (LIBRARY.sample("user_loop", 3), LIBRARY.sample(b"circle", 3)),
    "library sample unknown": lambda: LIBRARY.sample("nothing", 0),
    "library sample refused": lambda: LIBRARY.sample("circle", 0.5),
    "library sample_many": lambda: (LIBRARY.sample_many("user_loop", [3]),
                                    LIBRARY.sample_many(bytearray(b"circle"), (3, 4))),
    "library sample_many unknown": lambda: LIBRARY.sample_many("nothing", [0]),
    "library catalogue": LIBRARY.catalogue,
    "library catalogue undecodable": lambda: kinetra.PatternLibrary([UNDECODABLE]).catalogue(),
    # SampledRecording.
    "recording": lambda: kinetra.SampledRecording("r", ("x",), [[0.5]] * 4, 120, -1.5, 7),
    "recording bad name": lambda: kinetra.SampledRecording("R", ["x"], [[0.5]], 120.0),
    "recording bad bpm": lambda: kinetra.SampledRecording("r", ["x"], [[0.5]], 0.0),
    "recording empty": lambda: kinetra.SampledRecording("r", [], [[0.5]], 120.0),
    "recording bad axis": lambda: kinetra.SampledRecording("r", ["X"], [[0.5]], 120.0),
    "recording duplicate axis": lambda: kinetra.SampledRecording("r", ["x", "x"], [[0.5, 0.5]], 1.0),
    "recording ragged": lambda: kinetra.SampledRecording("r", ["x"], [[0.5], [0.5, 0.5]], 1.0),
    "recording bad sample": lambda: kinetra.SampledRecording("r", ["x"], [[1.5]], 1.0),
    "recording refused": lambda: kinetra.SampledRecording("r", "x", [[0.5]], 1.0),
    "recording properties": lambda: (RECORDING.name, RECORDING.dimensions, RECORDING.sample_count,
                                     RECORDING.bpm, RECORDING.beat_zero_seconds,
                                     RECORDING.start_pip),
    "recording sample": lambda: RECORDING.sample(0),
    "recording outside": lambda: RECORDING.sample(1),
    "recording sample refused": lambda: RECORDING.sample(IntOnly(0)),
}


def call(case):
    try:
        case()
    except (TypeError, ValueError, IndexError, UnicodeDecodeError, Boom):
        pass


def growth(case, rounds=6, repeat=50):
    """Per-round growth of (total references, allocated blocks) after warm-up."""
    for _ in range(repeat):
        call(case)
    gc.collect()
    counts = []
    for _ in range(rounds):
        for _ in range(repeat):
            call(case)
        gc.collect()
        counts.append((sys.gettotalrefcount(), sys.getallocatedblocks()))
    return [(b[0] - a[0], b[1] - a[1]) for a, b in zip(counts, counts[1:])]


@functools.cache
def baseline():
    """What the measuring itself adds per round (the stored counts)."""
    return growth(lambda: None)


# These copy a million samples per call; fewer calls per round still show a leak.
HEAVY = {"library too many", "library too large"}


@pytest.mark.parametrize("name", list(CASES))
def test_entry_point_does_not_leak(name):
    deltas = growth(CASES[name], repeat=5 if name in HEAVY else 50)
    refs = [d[0] - b[0] for d, b in zip(deltas, baseline())]
    blocks = [d[1] - b[1] for d, b in zip(deltas, baseline())]
    assert min(refs) <= 0, f"references grow every round: {refs}"
    assert min(blocks) <= 0, f"memory blocks grow every round: {blocks}"


def test_the_check_sees_a_leak():
    kept = []
    deltas = growth(lambda: kept.append([object()]), repeat=10)
    assert min(d[0] - b[0] for d, b in zip(deltas, baseline())) >= 20
    assert min(d[1] - b[1] for d, b in zip(deltas, baseline())) >= 20
