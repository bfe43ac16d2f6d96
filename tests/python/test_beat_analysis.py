"""The analysis of recordings: short synthesised drum loops whose beats are
known, and the files it must refuse."""

import json
import os
import shutil
import subprocess

import pytest

np = pytest.importorskip("numpy")
soundfile = pytest.importorskip("soundfile")

import drum_clips  # noqa: E402
from kinetra_tools import Frames  # noqa: E402
from kinetra_tools.analysis import analyse  # noqa: E402
from kinetra_tools.beatmap import BeatMap  # noqa: E402
from command_runner import run_command

RATE = 22050


def write(path, samples, rate=RATE):
    soundfile.write(str(path), samples, rate)
    return str(path)


def matched(truth, found, tolerance=0.05):
    """Fraction of true beats with a found beat within ``tolerance`` seconds, and vice versa."""
    truth, found = np.asarray(truth), np.asarray(found)
    hit = [np.min(np.abs(found - t)) <= tolerance for t in truth]
    back = [np.min(np.abs(truth - t)) <= tolerance for t in found]
    return np.mean(hit), np.mean(back)


def run(capsys, *args):
    return run_command(capsys, *args)


@pytest.mark.parametrize("bpm, meter", [(120, 4), (96, 3), (150, 4)])
def test_beats_and_bars_of_a_steady_loop(tmp_path, bpm, meter):
    beats = drum_clips.beat_times(bpm, 12, start=0.8)
    path = write(tmp_path / "loop.flac", drum_clips.render(beats, meter, RATE))
    m = analyse(path)
    assert matched(beats, m.beats) == (1.0, 1.0)
    assert m.beats_per_bar == meter
    assert matched(beats[::meter], m.downbeats) == (1.0, 1.0)
    assert m.bpm == pytest.approx(bpm, rel=0.01)
    assert m.duration == pytest.approx(len(beats) and beats[-1] + 1.0, abs=0.01)
    # Pip 0 is the first downbeat: the music's first beat here.
    assert abs(float(m.seconds_at(0)) - 0.8) < 0.03


@pytest.mark.parametrize("rate", [48000, 32000, 16000])
def test_files_at_any_rate_are_analysed_alike(tmp_path, rate):
    # The network's bands are laid out for one analysis rate, which 48 kHz does not divide.
    beats = drum_clips.beat_times(120, 12, start=0.8)
    m = analyse(write(tmp_path / "loop.wav", drum_clips.render(beats, 4, rate), rate))
    assert matched(beats, m.beats) == (1.0, 1.0)
    assert m.bpm == pytest.approx(120, rel=0.01)


def test_a_tempo_step_is_followed(tmp_path):
    beats = drum_clips.beat_times(100, 20, start=0.5, step_at=10, step_bpm=130)
    path = write(tmp_path / "step.wav", drum_clips.render(beats, 4, RATE, noise=0.02))
    m = analyse(path, meter=4)
    # The beat on the step itself may come a little early: the tempo turns within a beat or two.
    away = np.abs(np.asarray(beats) - 10.1) > 0.5
    assert matched(np.asarray(beats)[away], m.beats)[0] == 1.0
    assert matched(beats, m.beats, 0.07) == (1.0, 1.0)
    assert m.bpm_at(5) == pytest.approx(100, rel=0.02)
    assert m.bpm_at(16) == pytest.approx(130, rel=0.02)


def test_long_files_are_read_block_by_block(tmp_path, monkeypatch):
    from kinetra_tools.analysis import decode

    monkeypatch.setattr(decode, "BLOCK_SECONDS", 0.5)
    path = write(tmp_path / "song.flac", drum_clips.render(drum_clips.beat_times(120, 6), rate=44100), 44100)
    stream = decode.open_audio(path)
    sizes = [len(b) for b in stream.blocks()]
    assert stream.rate == 11025 and max(sizes) == 11025 // 2 and len(sizes) > 10
    assert sum(sizes) == pytest.approx(stream.seconds * 11025, abs=4)


def test_progress_is_reported_up_to_the_end(tmp_path):
    beats = drum_clips.beat_times(120, 6)
    path = write(tmp_path / "short.ogg", drum_clips.render(beats))
    seen = []
    analyse(path, progress=seen.append)
    assert seen[-1] == 1.0 and seen == sorted(seen)


@pytest.mark.skipif(shutil.which("ffmpeg") is None, reason="needs the ffmpeg program")
@pytest.mark.parametrize("name", ["loop.mp3", "concat:loop.mp3"])
def test_other_formats_are_decoded_by_ffmpeg(tmp_path, monkeypatch, name):
    beats = drum_clips.beat_times(110, 8, start=0.6)
    wav = write(tmp_path / "loop.wav", drum_clips.render(beats))
    subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-i", wav, "-b:a", "128k",
                    str(tmp_path / name)], check=True)
    if name != "loop.mp3":
        # What ffmpeg's concat protocol would read instead: silence.
        write(tmp_path / "silence.wav", np.zeros(RATE, np.float32))
        subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-i", str(tmp_path / "silence.wav"),
                        str(tmp_path / "loop.mp3")], check=True)
    monkeypatch.chdir(tmp_path)
    m = analyse(name, meter=4)
    hits, _ = matched(beats[1:], m.beats)   # the encoder's priming may blur the first hit
    assert hits == 1.0 and m.bpm == pytest.approx(110, rel=0.01)


def _clip(kind):
    rng = np.random.default_rng(5)
    if kind == "silence":
        return np.zeros(RATE * 5, np.float32)
    if kind == "noise":
        return (0.3 * rng.standard_normal(RATE * 8)).astype(np.float32)
    if kind == "tone":      # a steady 440 Hz sine: sound, but no onset to beat to
        return (0.3 * np.sin(2 * np.pi * 440 * np.arange(RATE * 8) / RATE)).astype(np.float32)
    if kind == "short":
        return drum_clips.render(np.array([0.1, 0.6]))[:RATE]
    raise AssertionError(kind)


@pytest.mark.parametrize("kind, message", [
    ("silence", "is silent"),
    ("noise", "no steady beat found"),
    ("tone", "no steady beat found"),
    ("short", "too short to hold a beat"),
])
def test_recordings_without_a_beat_are_refused(tmp_path, kind, message):
    path = write(tmp_path / f"{kind}.wav", _clip(kind))
    with pytest.raises(ValueError, match=f"^{path}: {message}"):
        analyse(path)


@pytest.mark.parametrize("name, content, message", [
    ("missing.wav", None, "no such file"),
    ("text.wav", b"not audio at all\n" * 50, "not an audio file"),
    ("text.mp3", b"not audio at all\n" * 50, "not an audio file"),
    ("empty.flac", b"", "not an audio file"),
], ids=["missing", "text-wav", "text-mp3", "empty-flac"])
def test_files_that_are_not_audio_are_refused(tmp_path, name, content, message):
    path = tmp_path / name
    if content is not None:
        path.write_bytes(content)
    if name.endswith(".mp3") and shutil.which("ffmpeg") is None:
        pytest.skip("needs the ffmpeg program")
    with pytest.raises(ValueError, match=f"^{path}: {message}"):
        analyse(str(path))


@pytest.mark.parametrize("fmt, suffix", [("json", ".json"), ("beats", ".beats")])
def test_beats_command_writes_a_map_that_loads_back(tmp_path, capsys, fmt, suffix):
    beats = drum_clips.beat_times(125, 8, start=0.4)
    song = write(tmp_path / "song.wav", drum_clips.render(beats))
    status, printed, err = run(capsys, "beats", song, "--format", fmt, "--meter", 4)
    assert status == 0, err
    out = tmp_path / f"map{suffix}"
    status, nothing, err = run(capsys, "beats", song, "-o", out)
    assert status == 0 and nothing == "" and err == ""
    assert out.read_text() == printed
    m = BeatMap.load(str(out))
    assert m.beats_per_bar == 4 and matched(beats, m.beats) == (1.0, 1.0)


def test_beats_command_failure_leaves_no_file(tmp_path, capsys):
    song = write(tmp_path / "quiet.wav", _clip("silence"))
    out = tmp_path / "map.json"
    out.write_text("old")
    status, printed, err = run(capsys, "beats", song, "-o", out)
    assert status == 2 and printed == ""
    assert err == f"kinetra beats: {song}: is silent\n"
    assert out.read_text() == "old" and sorted(os.listdir(tmp_path)) == ["map.json", "quiet.wav"]
    status, _, err = run(capsys, "beats", song, "--meter", 0)
    assert status == 2 and "not a positive whole number" in err


def test_export_follows_a_song(tmp_path, capsys):
    beats = drum_clips.beat_times(120, 8, start=0.5)
    song = write(tmp_path / "song.wav", drum_clips.render(beats))
    status, out, err = run(capsys, "export", "circle", "--audio", song, "--fps", 10)
    assert status == 0, err
    rows = [line.split(",") for line in out.splitlines()[1:]]
    assert len(rows) == int(np.ceil((beats[-1] + 1.0) * 10))     # the whole song
    frames = Frames(10, analyse(song))
    assert [int(r[2]) for r in rows] == [frames.pip(n) for n in range(len(rows))]
    assert abs(int(rows[5][2])) <= 1        # pip 0 on the first downbeat, at 0.5 s


def test_a_tempo_range_settles_which_level_is_the_beat(tmp_path, capsys):
    beats = drum_clips.beat_times(150, 12, start=0.5)
    song = write(tmp_path / "fast.wav", drum_clips.render(beats))
    assert analyse(song, meter=4).bpm == pytest.approx(150, rel=0.01)
    slow = analyse(song, meter=4, max_bpm=100)
    assert slow.bpm == pytest.approx(75, rel=0.01)
    hits, back = matched(beats, slow.beats)
    assert back == 1.0 and hits == pytest.approx(0.5, abs=0.05)   # every other beat
    status, printed, err = run(capsys, "beats", song, "--meter", 4, "--min-bpm", 60, "--max-bpm", "100")
    assert status == 0, err
    assert BeatMap.from_json(json.loads(printed)) == slow


@pytest.mark.parametrize("bpm, low, high, level", [(120, 40, 100, 60), (150, 60, 120, 75), (90, 100, 200, 180)])
def test_a_range_picks_a_level_of_the_beat_never_a_tempo_in_between(tmp_path, bpm, low, high, level):
    # 120 BPM in 40..100 is 60, although 80 (3:2) is nearer the middle of the range.
    song = write(tmp_path / "loop.wav", drum_clips.render(drum_clips.beat_times(bpm, 20, start=0.5)))
    assert analyse(song, min_bpm=low, max_bpm=high).bpm == pytest.approx(level, rel=0.01)


@pytest.mark.parametrize("kwargs, message", [
    ({"min_bpm": 30}, "min_bpm must be from 40 to 240 BPM, not 30"),
    ({"max_bpm": 250.5}, "max_bpm must be from 40 to 240 BPM, not 250.5"),
    ({"min_bpm": True}, "min_bpm must be a number of beats a minute, not True"),
    ({"max_bpm": "120"}, "max_bpm must be a number of beats a minute, not '120'"),
    ({"min_bpm": 130, "max_bpm": 120}, r"min_bpm \(130\) is above max_bpm \(120\)"),
    ({"min_bpm": float("nan")}, "min_bpm must be from 40 to 240 BPM, not nan"),
])
def test_tempo_ranges_are_checked_before_reading(tmp_path, kwargs, message):
    with pytest.raises(ValueError, match=f"^{message}$"):
        analyse(str(tmp_path / "not-read.wav"), **kwargs)


@pytest.mark.parametrize("args, message", [
    (["--min-bpm", "300"], "argument --min-bpm: not a tempo from 40 to 240 BPM: '300'"),
    (["--max-bpm", "fast"], "argument --max-bpm: not a positive number: 'fast'"),
    (["--min-bpm", "120", "--max-bpm", "100"], "--min-bpm 120 is above --max-bpm 100"),
])
def test_beats_command_tempo_range_errors(tmp_path, capsys, args, message):
    status, printed, err = run(capsys, "beats", str(tmp_path / "song.wav"), *args)
    assert status == 2 and printed == "" and message in err
