"""Default lookup by name and the default catalogue."""

import re

import pytest

import kinetra
from rudiment_reference import BUILTINS

BUILTIN_COUNT = len(BUILTINS)
PACK_COUNT = 28 + 24 + 256 + 320 + 144 + 944  # initial, expansion, atlas, continuum, club, dancefloor


def unknown(message):
    return pytest.raises(ValueError, match=f"^{re.escape(message)}$")


def pack_names():
    return [e["name"] for e in kinetra.catalogue()[BUILTIN_COUNT:]]


def test_catalogue_lists_builtins_then_packs_as_fresh_dicts():
    first, second = kinetra.catalogue(), kinetra.catalogue()
    assert len(first) == BUILTIN_COUNT + PACK_COUNT
    assert first == second and first is not second
    assert all(a is not b for a, b in zip(first, second))
    assert [e["name"] for e in first[:BUILTIN_COUNT]] == list(BUILTINS)
    assert first[0] == {"name": "bounce", "description": BUILTINS["bounce"][2],
                        "period_pips": 64, "dimensions": 1}
    assert first[BUILTIN_COUNT]["name"] == "lfo_breathe"
    for entry in first:
        assert list(entry) == ["name", "description", "period_pips", "dimensions"]
    assert len({e["name"] for e in first}) == len(first)


def test_changing_a_returned_catalogue_changes_no_later_one():
    pristine = kinetra.catalogue()
    library = kinetra.PatternLibrary([kinetra.SampledPattern("own", "d", [(0.5, 0.0, 0.0)])])
    for returned in (kinetra.catalogue(), library.catalogue()):
        returned[0]["name"] = "changed"
        returned[-1].clear()
        returned[1].update(extra=1)
        del returned[2]
    assert kinetra.catalogue() == pristine
    assert library.catalogue() == pristine + [
        {"name": "own", "description": "d", "period_pips": 1, "dimensions": 1}]


def test_every_catalogue_name_samples_its_own_pattern():
    for name in BUILTINS:
        for pip in (0, 17, -1):
            assert kinetra.sample(name, pip).as_tuple() == getattr(kinetra, name)(pip).as_tuple()
    # Pack names: each is found, and no two names lead to the same table.
    fingerprints = {}
    for entry in kinetra.catalogue()[BUILTIN_COUNT:]:
        rows = tuple(kinetra.sample(entry["name"], p).as_tuple()
                     for p in range(0, entry["period_pips"], 7))
        fingerprints.setdefault(rows, []).append(entry["name"])
    assert [names for names in fingerprints.values() if len(names) > 1] == []


def test_search_reaches_both_ends_of_the_index():
    names = sorted(pack_names(), key=lambda n: n.encode())
    for name in (names[0], names[1], names[-2], names[-1]):
        kinetra.sample(name, 0)
    for outside in ("a", names[0][:-1], names[-1] + "_", "zzzzzzzzzzzz"):
        with unknown(f"Unknown kinetra: {outside}"):
            kinetra.sample(outside, 0)


@pytest.mark.parametrize("name", [
    "",
    "Bounce",                  # case matters
    "LFO_BREATHE",
    "bounce ",                 # whole names only
    " lfo_breathe",
    "lfo_breath",              # a proper prefix of a pack name
    "rhythm_euclid_5_1",
    "rhythm_euclid_5_12_",
    "caf\u00e9 \u2013 \u266b",  # non-ASCII text is repeated as given
])
def test_unknown_names_are_refused_with_the_name(name):
    with unknown(f"Unknown kinetra: {name}"):
        kinetra.sample(name, 0)


def test_bytes_names_look_up_like_str():
    assert kinetra.sample(b"lfo_breathe", 64).as_tuple() == (0.8, 0.0, 0.0)
    with unknown("Unknown kinetra: caf\u00e9"):
        kinetra.sample("caf\u00e9".encode(), 0)


@pytest.mark.parametrize("name, shown", [
    (b"\xff", r"\xff"),
    (b"lfo_\xfe\xffbreathe", r"lfo_\xfe\xffbreathe"),
    (b"\xc3", r"\xc3"),                      # a sequence cut short
    (b"caf\xc3\xa9\xc3", "caf\u00e9" + r"\xc3"),  # valid text kept, the stray byte escaped
    ("lfo_breathe\0", r"lfo_breathe\x00"),  # NUL would cut the native message short
])
def test_bytes_that_are_not_text_are_escaped_in_the_refusal(name, shown):
    with unknown(f"Unknown kinetra: {shown}"):
        kinetra.sample(name, 0)


@pytest.mark.parametrize("lookup", ["module", "library"])
@pytest.mark.parametrize("new_content", [b"q" * 100_000, b"", b"lfo_breathe"])
def test_a_bytearray_name_changed_while_the_pip_converts_is_read_as_passed(lookup, new_content):
    # The pip converts after the name; its __index__ replaces the bytearray's
    # contents, which frees the buffer the name was first read from.
    name = bytearray(b"circle")

    class Rewriting:
        def __index__(self):
            name[:] = new_content
            return 3

    sample = kinetra.sample if lookup == "module" else kinetra.PatternLibrary().sample
    assert sample(name, Rewriting()).as_tuple() == kinetra.circle(3).as_tuple()
    assert name == new_content


class _LibrarySub(kinetra.PatternLibrary):
    pass


_OWN = [kinetra.SampledPattern("own_loop", "d", [(i / 8, 0.0, -0.5) for i in range(7)])]
EDGE_PIPS = [0, -1, 70, 2**30 - 1, -(2**30) + 1, 2**30, -(2**30), 2**31 - 1, -(2**31)]


@pytest.mark.parametrize("sample", [
    kinetra.sample,
    kinetra.PatternLibrary(_OWN).sample,
    _LibrarySub(_OWN).sample,
], ids=["module", "library", "library subclass"])
def test_positional_calls_agree_with_keyword_calls(sample):
    # A plain positional call with an int pip is served apart from the
    # general argument handling, which keyword calls always take; the two
    # must not differ, on either side of the pip sizes served apart.
    names = ["circle", "lfo_breathe", pack_names()[-1]]
    if sample is not kinetra.sample:
        names.append("own_loop")
    for name in names:
        for pip in EDGE_PIPS:
            expected = sample(name=name, pip_count=pip).as_tuple()
            for given in (name, name.encode(), bytearray(name.encode())):
                assert sample(given, pip).as_tuple() == expected, (given, pip)
    with unknown("Unknown kinetra: own_loo"):
        sample("own_loo", 1)
    with pytest.raises(TypeError):
        sample("circle", 2**31)
