"""Beat maps: the timeline through a song's beats, its two file forms, and the
commands that follow a saved map."""

import csv
import io
import json
import math
import os
from fractions import Fraction

import pytest

from kinetra_tools import Frames
from kinetra_tools.beatmap import BeatMap
from kinetra_tools.timeline import Timeline
from command_runner import run_command

def beat_map(**kw):
    """Uneven beats with a one-beat pickup: the first downbeat is the second beat."""
    beats = [0.37, 0.9, 1.41, 1.95, 2.43, 2.95, 3.49, 4.1, 4.55, 5.11]
    return BeatMap(beats, kw.pop("downbeats", [0.9, 2.95, 5.11]), **kw)


def run(capsys, *args):
    return run_command(capsys, *args)


def test_pips_follow_the_beats_from_the_first_downbeat():
    m = beat_map()
    assert isinstance(m, Timeline)
    assert m.pip_at(0.9) == 0 and m.pip_at(0.37) == -64
    for k, t in enumerate(m.beats):
        assert m.seconds_at(64 * (k - 1)) == Fraction(str(t))
        assert m.pip_at(t) == 64 * (k - 1)          # floats as written: 0.1 is 1/10
    # Linear between neighbours: half way from 1.41 to 1.95 is pip 64 + 32.
    assert m.seconds_at(96) == Fraction("1.68")
    # Beyond the ends at the nearest interval's tempo.
    assert m.seconds_at(-128) == Fraction("0.37") - Fraction("0.53")
    assert m.seconds_at(64 * 8 + 32) == Fraction("5.11") + Fraction("0.56") / 2
    assert m.beats_per_bar == 4 and m.bpm == pytest.approx(60 / 0.53)
    assert m.bpm_at(1.5) == pytest.approx(60 / 0.54)
    assert m.bpm_at(-10) == pytest.approx(60 / 0.53) and m.bpm_at(99) == pytest.approx(60 / 0.56)


@pytest.mark.parametrize("sections, bpm", [
    ([(105, 60), (160, 80)], 105),              # 34 s at 105 outlast 30 s at 160
    ([(105, 40), (160, 80)], 160),
    ([(120, 10), (60, 1), (120, 30)], 120),     # a missed beat starts no section
    ([(120, 40), (124, 40), (128, 40)], 124),   # a gradual drift is one section
])
def test_bpm_is_the_tempo_heard_longest(sections, bpm):
    times, t = [0.5], 0.5
    for tempo, count in sections:
        for _ in range(count):
            t += 60 / tempo
            times.append(round(t, 5))
    m = BeatMap(times, times[::4], 4)
    assert m.bpm == pytest.approx(bpm, rel=1e-3)
    assert m.bpm_at(times[-1] - 0.1) == pytest.approx(sections[-1][0], rel=1e-3)


def test_seconds_and_pips_round_trip_exactly_everywhere():
    m = beat_map()
    previous = None
    for pip in range(-64 * 5 - 7, 64 * 14 + 9):
        t = m.seconds_at(pip)
        assert m.pip_at(t) == pip
        assert m.pip_at(t - Fraction(1, 10**12)) == pip - 1
        assert previous is None or t > previous
        previous = t


def test_frames_over_a_map_show_the_pip_at_each_frame_time():
    m = beat_map()
    frames = Frames("29.97", m)
    for n in range(0, 200, 7):
        assert frames.pip(n) == m.pip_at(Fraction(n * 100, 2997))


def test_default_downbeats_and_positions():
    m = BeatMap([1, 2, 3, 4, 5, 6, 7], beats_per_bar=3)
    assert m.downbeats == (1.0, 4.0, 7.0)
    assert m.positions() == [1, 2, 3, 1, 2, 3, 1]
    assert beat_map().positions() == [4, 1, 2, 3, 4, 1, 2, 3, 4, 1]


@pytest.mark.parametrize("beats, downbeats, meter, message", [
    ([1.0, 0.5, 2.0], None, 4, "strictly ascending: beat 2"),
    ([1.0, 1.0, 2.0], None, 4, "strictly ascending"),
    ([1.0], None, 4, "at least two beats, got 1"),
    ([], None, 4, "at least two beats, got 0"),
    ([0.5, math.nan, 2.0], None, 4, "beat 2 is not a number"),
    ([0.5, math.inf], None, 4, "beat 2 must be a finite number"),
    ([0.5, "x"], None, 4, "beat 2 must be a finite number"),
    ([0.5, None], None, 4, "beat 2 must be a number of seconds"),
    ([0.5, 1.0, 1.5], [1.2], 4, "downbeat 1 (1.2 s) is not one of the beats"),
    ([0.5, 1.0, 1.5], [], 4, "at least one downbeat"),
    ([0.5, 1.0], None, 0, "meter must be a whole number"),
    ([0.5, 1.0], None, 17, "meter must be a whole number"),
    ([0.5, 1.0], None, 3.0, "meter must be a whole number"),
    ([0.5, 1.0], None, True, "meter must be a whole number"),
])
def test_invalid_maps_are_refused(beats, downbeats, meter, message):
    with pytest.raises(ValueError, match=message.replace("(", r"\(").replace(")", r"\)")):
        BeatMap(beats, downbeats, meter)


@pytest.mark.parametrize("name", ["map.json", "map.beats", "map.txt", "map"])
def test_files_round_trip(tmp_path, name):
    m = BeatMap(beat_map().beats, beat_map().downbeats, 4, duration=6.25)
    path = str(tmp_path / name)
    m.save(path)
    back = BeatMap.load(path)
    assert back.beats == m.beats and back.downbeats == m.downbeats and back.beats_per_bar == 4
    with open(path) as f:
        text = f.read()
    if name.endswith((".beats", ".txt")):
        assert text.splitlines()[:3] == ["0.37\t4", "0.9\t1", "1.41\t2"]
    else:
        data = json.loads(text)
        assert data == {"beats": list(m.beats), "downbeats": [0.9, 2.95, 5.11],
                        "bpm": round(60 / 0.53, 3), "meter": 4, "duration": 6.25}
        assert back == m


def test_hand_corrected_annotation_file(tmp_path):
    path = tmp_path / "song.txt"
    path.write_text("# corrected by ear\n\n0.500 3\n1.0\t1.0\n1.5, 2\n  2.0   3  \n2.5 1\n3.0 2\n3.5 3\n4 1\n")
    m = BeatMap.load(str(path))
    assert m.beats_per_bar == 3
    assert m.downbeats == (1.0, 2.5, 4.0)
    assert m.pip_at(1.0) == 0 and m.pip_at(0.5) == -64
    times_only = tmp_path / "times.lab"
    times_only.write_text("0.5\n1.0\n1.5\n2.0\n2.5\n")
    assert BeatMap.load(str(times_only)).downbeats == (0.5, 2.5)


@pytest.mark.parametrize("name, text, message", [
    ("a.beats", "0.5 1\nabc 2\n", "line 2: not a time in seconds: 'abc'"),
    ("a.beats", "0.5 1\n1.0 x\n", "line 2: the position in the bar must be a whole number"),
    ("a.beats", "0.5 1\n1.0 0\n", "line 2: the position in the bar"),
    ("a.beats", "0.5 1\n1.0 2.5\n", "line 2: the position in the bar"),
    ("a.beats", "0.5 1\n\n1.0 2 7\n", "line 3: expected seconds and a position"),
    ("a.beats", "0.5 1\n1.0 2\n0.9 3\n", "line 3: beats must be strictly ascending"),
    ("a.beats", "0.5 1\n1.0 nan\n", "line 2: the position"),
    ("a.beats", "0.5 1\nnan 2\n", "line 2: not a time"),
    ("a.beats", "0.5 1\n1.0\n", "beat 2 has no position in the bar"),
    ("a.beats", "0.5 1\n", "at least two beats, got 1"),
    ("a.beats", "0.5 2\n1.0 3\n", "at least one downbeat"),
    ("a.json", "{\"beats\": [0.5, 1.0", "not valid JSON"),
    ("a.json", "[0.5, 1.0]", "a JSON object"),
    ("a.json", "{\"downbeats\": []}", "no \"beats\""),
    ("a.json", "{\"beats\": \"0.5 1.0\"}", "\"beats\" must be a list"),
    ("a.json", "{\"beats\": [0.5, 1.0, NaN]}", "beat 3 is not a number"),
    ("a.json", "{\"beats\": [0.5, 1.0], \"meter\": \"4\"}", "meter must be"),
    ("a.json", "{\"beats\": [0.5, 1.0], \"downbeats\": [0.7]}", "not one of the beats"),
])
def test_bad_files_are_refused_with_their_name_and_line(tmp_path, name, text, message):
    path = tmp_path / name
    path.write_text(text)
    with pytest.raises(ValueError) as error:
        BeatMap.load(str(path))
    assert str(error.value).startswith(str(path)) and message in str(error.value)


def test_unreadable_file(tmp_path):
    with pytest.raises(ValueError, match="cannot read beat map .*missing"):
        BeatMap.load(str(tmp_path / "missing.json"))
    (tmp_path / "bin.beats").write_bytes(b"\xff\xfe\x00\x81")
    with pytest.raises(ValueError, match="cannot read beat map"):
        BeatMap.load(str(tmp_path / "bin.beats"))


def test_export_follows_a_saved_map_over_the_whole_song(tmp_path, capsys):
    m = BeatMap(beat_map().beats, beat_map().downbeats, 4, duration=6)
    path = str(tmp_path / "song.json")
    m.save(path)
    status, out, err = run(capsys, "export", "circle", "--beats", path, "--fps", 25)
    assert status == 0, err
    rows = list(csv.DictReader(io.StringIO(out)))
    assert len(rows) == 150
    frames = Frames(25, m)
    assert [int(r["pip"]) for r in rows] == [frames.pip(n) for n in range(150)]
    assert int(rows[0]["pip"]) == m.pip_at(0) < 0
    status, out, _ = run(capsys, "export", "circle", "--beats", path, "--fps", 25, "--bars", 1)
    # Up to the end of the first bar after the first downbeat: beat 5 at 2.95 s.
    assert status == 0 and len(out.splitlines()) - 1 == math.ceil(2.95 * 25)


def test_show_follows_a_saved_map(tmp_path, capsys):
    path = tmp_path / "song.beats"
    path.write_text("".join(f"{t} {i % 3 + 1}\n" for i, t in enumerate([0.5, 1.0, 1.5, 2.0, 2.5, 3.0])))
    status, out, _ = run(capsys, "show", "circle", "--beats", path, "--bars", 1)
    assert status == 0 and out.startswith("circle at 120 BPM")


@pytest.mark.parametrize("args, message", [
    (["export", "circle", "--fps", 25, "--beats", "MAP", "--beat-zero", 1], "--beat-zero goes with --bpm"),
    (["export", "circle", "--fps", 25, "--bpm", 120], "one of the arguments --seconds --bars is required"),
    (["export", "circle", "--fps", 25, "--beats", "nowhere.json"], "cannot read beat map nowhere.json"),
    (["export", "circle", "--fps", 25, "--beats", "MAP", "--bpm", 120], "not allowed with argument"),
])
def test_clock_argument_errors(tmp_path, capsys, args, message):
    BeatMap([0.5, 1.0]).save(str(tmp_path / "map.json"))
    args = [str(tmp_path / "map.json") if a == "MAP" else a for a in args]
    status, out, err = run(capsys, *args)
    assert status == 2 and out == ""
    assert message in err and len(err.strip().splitlines()) == 1
    assert os.listdir(tmp_path) == ["map.json"]
