"""Sources, timelines and the frame stream that every tool reads."""

import json
from fractions import Fraction

import pytest

import kinetra
from kinetra_tools import (DefaultPattern, Frames, LibraryPattern, Recording, Tempo, UserPattern,
                           open_source, read_loop, stream)

ROWS = [[0.25 * (i % 4), -0.5 if i % 2 else 0.5, 0.0] for i in range(96)]


@pytest.fixture(scope="module")
def mine():
    return kinetra.SampledPattern("my_loop", "a user loop", ROWS)


def test_every_kind_of_source_samples_as_its_object_does(mine):
    library = kinetra.PatternLibrary([mine])
    recording = kinetra.SampledRecording("take", ["y", "x"], [[r[1], r[0]] for r in ROWS],
                                         bpm=120.0, start_pip=10)
    cases = [
        (DefaultPattern("helix"), lambda p: kinetra.sample("helix", p).as_tuple()),
        (UserPattern(mine), lambda p: mine.sample(p).as_tuple()),
        (LibraryPattern(library, "my_loop"), lambda p: library.sample("my_loop", p).as_tuple()),
        (LibraryPattern(library, "circle"), lambda p: kinetra.circle(p).as_tuple()),
        # Columns named x and y land on their axes; outside its rows a take holds its end rows.
        (Recording(recording), lambda p: (ROWS[min(max(p - 10, 0), 95)][0],
                                          ROWS[min(max(p - 10, 0), 95)][1], 0.0)),
    ]
    for source, expected in cases:
        for pip in (-2**31, -1, 0, 9, 10, 63, 105, 106, 2**31 - 1):
            assert source.sample(pip) == expected(pip), (source, pip)
    assert Recording(recording).span == (10, 105) and Recording(recording).period_pips is None
    assert LibraryPattern(library, "my_loop").period_pips == 96


def test_unknown_names_are_refused_by_each_adapter(mine):
    with pytest.raises(ValueError, match="unknown pattern: 'helixx' \\(did you mean helix\\?\\)"):
        DefaultPattern("helixx")
    with pytest.raises(ValueError, match="Unknown kinetra: nope"):
        LibraryPattern(kinetra.PatternLibrary([mine]), "nope")


def test_a_timeline_without_an_integer_form_gives_the_same_frames():
    class Plain:
        """Tempo's seconds <-> pips, without its exact integer frame mapping."""

        def __init__(self, tempo):
            self.tempo = tempo

        def pip_at(self, seconds):
            return self.tempo.pip_at(seconds)

        def seconds_at(self, pip):
            return self.tempo.seconds_at(pip)

    tempo = Tempo("97.5", "-0.3")
    fast, plain = Frames("30000/1001", tempo), Frames("30000/1001", Plain(tempo))
    assert [fast.pip(n) for n in range(-50, 3000)] == [plain.pip(n) for n in range(-50, 3000)]
    assert fast.frame_at(Fraction(1001, 30000) * 7) == 7 and fast.frame_at("0.0333") == 0


def test_stream_gives_each_source_at_the_frame_pip(mine):
    frames = Frames(24, Tempo(140))
    sources = [DefaultPattern("figure_eight"), UserPattern(mine)]
    got = list(stream(sources, frames, 48, start=100))
    assert [f.frame for f in got] == list(range(100, 148))
    for f in got:
        assert f.seconds == Fraction(f.frame, 24) and f.pip == frames.pip(f.frame)
        assert f.points == (kinetra.figure_eight(f.pip).as_tuple(), mine.sample(f.pip).as_tuple())
    with pytest.raises(ValueError, match="span too long"):
        stream(sources, Frames(1, Tempo(10000)), 10**6)


def test_loop_files_read_as_sampled_patterns(tmp_path):
    (tmp_path / "rows.json").write_text(json.dumps(ROWS))
    (tmp_path / "keys.json").write_text(json.dumps([dict(zip("xyz", r)) for r in ROWS]))
    for name in ("rows", "keys"):
        loop = read_loop(str(tmp_path / f"{name}.json"))
        assert loop.name == name and loop.period_pips == 96
        assert [loop.sample(p).as_tuple() for p in range(96)] == [tuple(r) for r in ROWS]
    assert open_source(str(tmp_path / "rows.json")).name == "rows"
    assert open_source("circle").name == "circle"
    numpy = pytest.importorskip("numpy")
    numpy.save(tmp_path / "arr.npy", numpy.array(ROWS))
    assert read_loop(str(tmp_path / "arr.npy")).sample(5).as_tuple() == tuple(ROWS[5])


@pytest.mark.parametrize(
    "name, content, message",
    [
        ("Bad-Name.csv", "0,0,0\n", "Bad-Name.csv: "),  # the pattern's own name rule
        ("broken.json", "[[0, 0, 0],", "broken.json: not JSON"),
        ("short.json", '[{"x": 0, "y": 0}]', "short.json: a row has no 'z'"),
        ("loop.txt", "0,0,0\n", "loop.txt: a loop file is .csv, .json or .npy"),
    ],
)
def test_bad_loop_files_name_the_file(tmp_path, name, content, message):
    path = tmp_path / name
    path.write_text(content)
    with pytest.raises(ValueError) as error:
        read_loop(str(path))
    assert str(error.value).startswith(message)
