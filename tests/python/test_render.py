"""kinetra render: the video's layout, where the point is drawn in each frame, and bad input."""

import json
import math
import os
import re
import shutil
import subprocess
from fractions import Fraction

import pytest

import kinetra
from command_runner import INTERRUPTIBLE
from kinetra_tools import cli
from kinetra_tools.clock import Tempo
from kinetra_tools.beatmap import BeatMap
from kinetra_tools.render import Layout, Motion, parse_size
from kinetra_tools.render.layout import Box
from kinetra_tools.sources import DefaultPattern
from kinetra_tools.frames import Frames

HAVE_FFMPEG = shutil.which("ffmpeg") is not None and shutil.which("ffprobe") is not None
needs_ffmpeg = pytest.mark.skipif(not HAVE_FFMPEG, reason="needs ffmpeg and ffprobe")


@pytest.fixture
def cairo():
    return pytest.importorskip("cairo")


def make_song(path, seconds, rate=44100):
    subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                    f"sine=f=330:d={seconds}:sample_rate={rate}", "-ac", "2", str(path)], check=True)
    return str(path)


def probe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-show_entries",
                          "stream=codec_type,codec_name,width,height,nb_read_frames,start_time,pix_fmt,color_space:"
                          "format=format_name,duration", "-of", "json", str(path)],
                         capture_output=True, text=True, check=True).stdout
    return json.loads(out)


def render(capsys, *args):
    try:
        status = cli.main(["render", *map(str, args)])
    except SystemExit as exit:  # argparse's refusals
        status = exit.code
    captured = capsys.readouterr()
    return status, captured.err


# -- layout (no drawing library needed) ---------------------------------------

@pytest.mark.parametrize("text, expected", [
    ("1280x720", (1280, 720)), ("640X360", (640, 360)), (" 320 x 180 ", (320, 180)),
    ("1280", "WIDTHxHEIGHT"), ("1280x", "WIDTHxHEIGHT"), ("-640x360", "WIDTHxHEIGHT"),
    ("1.5x2", "WIDTHxHEIGHT"), ("1281x720", "even"), ("32x32", "64 to 7680"), ("99999x720", "64 to 7680"),
])
def test_size_is_width_x_height_with_even_sides(text, expected):
    if isinstance(expected, tuple):
        assert parse_size(text) == expected
    else:
        with pytest.raises(ValueError, match=expected):
            parse_size(text)


EPS = 1e-9  # boxes that only touch do not overlap, whatever the rounding


def overlap(a, b):
    return a.x < b.right - EPS and b.x < a.right - EPS and a.y < b.bottom - EPS and b.y < a.bottom - EPS


def inside(inner, outer):
    return (outer.x - EPS <= inner.x and inner.right <= outer.right + EPS and outer.y - EPS <= inner.y
            and inner.bottom <= outer.bottom + EPS)


@pytest.mark.parametrize("size", [(1280, 720), (1920, 1080), (720, 1280), (1080, 1080), (640, 360)])
@pytest.mark.parametrize("count", [1, 2, 3, 5, 16, 40])
def test_plots_stay_in_their_cells_clear_of_each_other_and_of_the_header(size, count):
    width, height = size
    layout = Layout(width, height, count)
    assert layout.columns * layout.rows >= count > (layout.rows - 1) * layout.columns
    frame = Box(0, 0, width, height - layout.progress_height)
    boxes = []
    for i, cell in enumerate(layout.cells):
        # The plot's square, with room for the largest point, stays in its cell under its label line.
        r = layout.radius(1.0)
        left, right = layout.point(i, -1, 0)[0] - r, layout.point(i, 1, 0)[0] + r
        top, bottom = layout.point(i, 0, 1)[1] - r, layout.point(i, 0, -1)[1] + r
        assert right - left == pytest.approx(2 * (cell.half + r))
        plot = Box(left, top, right - left, bottom - top)
        assert inside(plot, Box(cell.x, cell.y + layout.label, cell.width, cell.height - layout.label))
        whole = Box(cell.x, cell.y, cell.width, cell.height)
        assert inside(whole, frame) and not overlap(whole, layout.header.box)
        boxes.append(whole)
    assert not any(overlap(a, b) for i, a in enumerate(boxes) for b in boxes[i + 1:])
    parts = layout.header
    for part in (parts.title, parts.counter, parts.beats, parts.tempo, *layout.beat_slots(16)):
        assert inside(part, parts.box)


@pytest.mark.parametrize("count, grid", [(1, (1, 1)), (4, (2, 2)), (16, (4, 4)), (100, (17, 6))])
def test_names_and_axis_tags_fit_their_cells_without_overlap(cairo, count, grid):
    from kinetra_tools.render.painter import Painter

    names = [entry["name"] for entry in kinetra.catalogue()]
    # The longest names, so that some must shrink and some be shortened.
    names = sorted(names, key=len, reverse=True)[:count]
    layout = Layout(1280, 720, count)
    assert (layout.columns, layout.rows) == grid
    axes = ["xyz"[: 1 + i % 3] for i in range(count)]
    painter = Painter(layout, names, axes=axes)
    sizes = {label.size for label in painter.labels}
    assert len(sizes) == 1 and min(sizes) >= min(9.0, layout.label * 0.7)
    boxes = []
    for cell, name, label, tag in zip(layout.cells, names, painter.labels, painter.tags):
        line = Box(cell.label_x, cell.y, cell.label_width, layout.label)
        assert inside(label.box, line) and inside(tag.box, line), name
        assert tag.text in ("x", "xy", "xyz")
        if label.text != name:
            head, _, tail = label.text.partition("…")
            assert head and tail and name.startswith(head) and name.endswith(tail), label.text
        boxes += [label.box, tag.box]
    assert not any(overlap(a, b) for i, a in enumerate(boxes) for b in boxes[i + 1:])
    if count == 100:
        assert any("…" in label.text for label in painter.labels)


@pytest.mark.parametrize("room, expected", [
    (99, "beat_four_floor_flute"),
    (16, "beat_four…_flute"),  # a cut at the underscores keeps whole words
    (9, "beat…lute"),  # no words fit whole: the middle goes
    (1, "…"),
    (0, ""),
])
def test_long_names_lose_their_middle(room, expected):
    from kinetra_tools.render.painter import shorten

    assert shorten("beat_four_floor_flute", lambda text: len(text) <= room) == expected


@pytest.mark.parametrize("name, axes", [("bounce", "x"), ("figure_eight", "xy"), ("helix", "xyz")])
def test_axes_are_those_the_pattern_moves(name, axes):
    assert Motion(DefaultPattern(name)).axes == axes


def test_y_runs_up_and_too_many_patterns_are_refused():
    layout = Layout(640, 360, 1)
    assert layout.point(0, 0, 1)[1] < layout.point(0, 0, -1)[1]
    assert layout.point(0, -1, 0)[0] < layout.point(0, 1, 0)[0]
    assert layout.radius(1) > layout.radius(0) > layout.radius(-1)
    with pytest.raises(ValueError, match="do not fit in 640x360"):
        Layout(640, 360, 200)


def test_trail_is_the_beat_before_the_point():
    motion = Motion(DefaultPattern("figure_eight"))
    for pip in (0, 1, 127, 128, 1001, -5):
        trail = motion.trail(pip)
        assert len(trail) == 32
        last = pip - 1 - (pip - 1) % 2  # on the even grid, before the point
        assert trail[-1] == kinetra.sample("figure_eight", last).as_tuple()
        assert trail[0] == kinetra.sample("figure_eight", last - 62).as_tuple()


def meter(timeline):
    """beat -> its place in the bar the beat indicator lights, 0 on the bar's first beat."""
    return lambda beat: timeline.bar_beat(beat * 64).beat - 1


def test_beat_indicator_follows_the_bars_of_the_clock():
    assert [meter(Tempo(120))(b) for b in (-1, 0, 1, 4, 7)] == [3, 0, 1, 0, 3]
    # A one-beat pickup (beat -1), then bars of four, counted on before and after the map.
    song = BeatMap([0.5, 1, 1.5, 2, 2.5, 3, 3.5], downbeats=[1, 3], beats_per_bar=4)
    place = meter(song)
    assert [place(b) for b in range(-3, 9)] == [1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0]
    # A bar of four, a bar of two, then a bar that runs on past the map's last beat.
    song = BeatMap([0.5, 1, 1.5, 2, 2.5, 3, 3.5], downbeats=[0.5, 2.5, 3.5], beats_per_bar=4)
    assert [meter(song)(b) for b in range(-1, 9)] == [3, 0, 1, 2, 3, 0, 1, 0, 1, 2]


# -- frames as YUV -------------------------------------------------------------

def ffmpeg_yuv(numpy, pixels, width, height):
    """ffmpeg's own conversion of cairo RGB24 pixels to yuv420p, as the video's colours."""
    from kinetra_tools.render import encode

    out = subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-f", "rawvideo", "-pix_fmt", "bgr0",
                          "-s", f"{width}x{height}", "-i", "-", *encode.colour_options("bgr0"),
                          "-f", "rawvideo", "-"], input=pixels.tobytes(), capture_output=True, check=True).stdout
    return numpy.frombuffer(out, numpy.uint8)


@needs_ffmpeg
def test_yuv_conversion_is_ffmpegs_luma_and_the_blocks_mean_chroma():
    numpy = pytest.importorskip("numpy")
    from kinetra_tools.render.planes import TILE, Planes

    rng = numpy.random.default_rng(7)
    # Random pixels for luma; for chroma, random colours in blocks 2 wide and 16 high, so
    # that ffmpeg's taller chroma filter sees one colour in the middle rows of each.
    width, height = 1024, 256
    noise = rng.integers(0, 1 << 24, size=(height, width), dtype=numpy.uint32)
    blocks = rng.integers(0, 1 << 24, size=(height // 16, width // 2), dtype=numpy.uint32)
    flat = blocks.repeat(16, 0).repeat(2, 1)
    planes = Planes(width, height)
    every = numpy.ones((height // TILE, width // TILE), dtype=bool)
    area = width * height
    mine = planes.convert(0, every, noise.ravel()).copy()
    assert numpy.array_equal(mine[:area], ffmpeg_yuv(numpy, noise, width, height)[:area])
    mine = planes.convert(0, every, flat.ravel()).astype(int)
    theirs = ffmpeg_yuv(numpy, flat, width, height).astype(int)
    assert numpy.array_equal(mine[:area], theirs[:area])
    chroma = numpy.concatenate([mine[area:], theirs[area:]]).reshape(2, 2, height // 2, width // 2)
    middle = chroma[:, :, [r for r in range(height // 2) if 2 <= r % 8 <= 5]]
    assert numpy.abs(middle[0] - middle[1]).max() <= 1
    # Greys are grey.
    grey = numpy.full(area, 0x7F7F7F, dtype=numpy.uint32)
    assert set(planes.convert(0, every, grey)[area:]) == {128}


@needs_ffmpeg
@pytest.mark.parametrize("size, count, theme", [((640, 360), 16, "dark"), ((330, 186), 1, "light"),
                                                ((1000, 562), 4, "dark")])
def test_frames_drawn_tile_by_tile_are_the_whole_frames(cairo, size, count, theme):
    # Each frame, drawn over the last one's tiles and converted only where it can differ
    # from its buffer, is the frame a new painter draws and converts whole; it stays as it
    # is while the next frames are drawn; and it is ffmpeg's conversion of the drawn pixels.
    numpy = pytest.importorskip("numpy")
    from kinetra_tools.render import scene, tempo_text
    from kinetra_tools.frames import stream
    from kinetra_tools.render.painter import Painter

    names = [entry["name"] for entry in kinetra.catalogue()[:count]]
    sources = [DefaultPattern(n) for n in names]
    motions = [Motion(s) for s in sources]
    timeline, frames = Tempo(150), 45
    scenes = [list(scene(f, motions, timeline, frames))
              for f in stream(sources, Frames(Fraction(30), timeline), frames)]
    for shown in scenes[20:32]:  # bars of three for a while: another background
        shown[5] = 3

    def painter():
        return Painter(Layout(*size, count), names, axes=[m.axes for m in motions], title="song",
                       tempo=tempo_text(150), theme=theme, buffers=3)

    drawing, handed = painter(), []
    assert any(s[3] < 0.3 for s in scenes) and any(s[3] > 0.3 for s in scenes)  # flashes and not
    for n, shown in enumerate(scenes):
        frame = drawing.frame(*shown)
        handed.append((frame, frame.copy()))
        assert numpy.array_equal(frame, painter().frame(*shown)), n
        if n >= 2:
            old, copy = handed[n - 2]
            assert numpy.array_equal(old, copy), n
    width, height = size
    pixels = numpy.frombuffer(drawing.surface.get_data(), numpy.uint32)
    theirs = ffmpeg_yuv(numpy, pixels, width, height).astype(int)
    area = width * height
    assert numpy.array_equal(handed[-1][1][:area], theirs[:area])
    error = handed[-1][1][area:].astype(int) - theirs[area:]
    assert 10 * math.log10(255 ** 2 / numpy.mean(error ** 2)) > 45  # PSNR of the chroma, dB


# -- videos ---------------------------------------------------------------------

@needs_ffmpeg
@pytest.mark.parametrize("out, fps, codecs, seconds", [
    ("clip.mp4", "30", ("h264", "aac"), None),
    ("clip.mkv", "30000/1001", ("h264", "aac"), "0.7"),
    ("clip.webm", "25", ("vp9", "opus"), None),
    ("silent.mp4", "24", ("h264",), "1.25"),
    ("light.mp4", "24", ("h264",), "0.5"),
])
def test_stream_layout_frame_count_and_length(cairo, capsys, tmp_path, out, fps, codecs, seconds):
    song = make_song(tmp_path / "song.wav", 1.3)
    args = ["circle", "bounce", "-o", tmp_path / out, "--fps", fps, "--size", "320x180", "--bpm", "128"]
    args += ["--audio", song] if len(codecs) == 2 else []
    args += ["--seconds", seconds] if seconds else []
    args += ["--theme", "light", "--cols", "1", "--title", "A song"] if out == "light.mp4" else []
    status, err = render(capsys, *args)
    assert status == 0, err
    assert sorted(os.listdir(tmp_path)) == sorted({"song.wav", out})
    info = probe(tmp_path / out)
    streams = info["streams"]
    assert [s["codec_name"] for s in streams] == list(codecs)
    video = streams[0]
    assert (video["width"], video["height"], video["pix_fmt"], video["color_space"]) == (320, 180, "yuv420p", "bt709")
    length = Fraction(seconds or "1.3")
    count = math.ceil(length * Fraction(fps))
    assert int(streams[0]["nb_read_frames"]) == count  # every frame shown before the end
    assert float(info["format"]["duration"]) == pytest.approx(float(length), abs=1.5 / float(Fraction(fps)))
    assert all(float(s["start_time"]) == pytest.approx(0, abs=0.002) for s in streams)


@needs_ffmpeg
def test_names_that_look_like_ffmpeg_protocols_are_files(cairo, capsys, tmp_path, monkeypatch):
    # ffmpeg would read "concat:song.wav" as song.wav, and "http:clip.mp4" as an address.
    monkeypatch.chdir(tmp_path)
    make_song(tmp_path / "concat:song.wav", 1.3)
    make_song(tmp_path / "song.wav", 0.5)
    status, err = render(capsys, "circle", "--bpm", "120", "--size", "320x180", "--audio", "concat:song.wav",
                         "-o", "http:clip.mp4")
    assert status == 0, err
    assert float(probe(tmp_path / "http:clip.mp4")["format"]["duration"]) == pytest.approx(1.3, abs=0.1)


def decoded_frames(path, numpy, width, height):
    raw = subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-i", str(path), "-f", "rawvideo",
                          "-pix_fmt", "rgb24", "-"], capture_output=True, check=True).stdout
    return numpy.frombuffer(raw, numpy.uint8).reshape(-1, height, width, 3).astype(float)


def bright_centre(frame, numpy, box):
    """Centre of mass of the near-white pixels (the point's core) inside box = (x0, y0, x1, y1)."""
    x0, y0, x1, y1 = (int(v) for v in box)
    luma = frame[y0:y1, x0:x1] @ numpy.array([0.299, 0.587, 0.114])
    weight = numpy.clip(luma - 215, 0, None)
    assert weight.sum() > 0, "no point found"
    ys, xs = numpy.indices(weight.shape)
    return x0 + (weight * xs).sum() / weight.sum(), y0 + (weight * ys).sum() / weight.sum()


def clock_arguments(kind, folder):
    """Command-line arguments for a clock, and the timeline they should give."""
    if kind == "bpm":
        return ["--bpm", "124"], Tempo(124)
    if kind == "beats":
        # Uneven beats: the tempo changes from beat to beat.
        path = folder / "song.beats"
        path.write_text("0.13\t4\n0.6\t1\n0.95\t2\n1.4\t3\n1.61\t4\n2.0\t1\n")
        return ["--beats", path], BeatMap.load(str(path))
    pytest.importorskip("numpy")
    soundfile = pytest.importorskip("soundfile")
    import drum_clips
    from kinetra_tools.analysis import analyse

    path = folder / "drums.wav"
    soundfile.write(path, drum_clips.render(drum_clips.beat_times(132, 3.5)), 22050)
    return ["--audio", path], analyse(str(path))


@needs_ffmpeg
@pytest.mark.parametrize("clock", ["bpm", "beats", "audio"])
def test_each_frame_draws_the_point_at_its_pip(cairo, capsys, tmp_path, clock):
    # circle turns once a beat: a pip off moves its point by about 14 pixels here.
    numpy = pytest.importorskip("numpy")
    names, width, height, fps = ["circle", "helix"], 640, 360, Fraction(30)
    arguments, timeline = clock_arguments(clock, tmp_path)
    out = tmp_path / "v.mp4"
    status, err = render(capsys, *names, "-o", out, "--fps", fps, "--seconds", 1, *arguments,
                         "--size", f"{width}x{height}")
    assert status == 0, err
    frames = decoded_frames(out, numpy, width, height)
    assert len(frames) == 30
    layout = Layout(width, height, len(names))
    shown = Frames(fps, timeline)
    for n in (0, 1, 2, 7, 16, 29):
        pip = shown.pip(n)
        for cell, name in enumerate(names):
            x, y, z = kinetra.sample(name, pip).as_tuple()
            px, py = layout.point(cell, x, y)
            c = layout.cells[cell]
            found = bright_centre(frames[n], numpy, (c.x, c.label_y, c.x + c.width, c.y + c.height))
            assert found == pytest.approx((px - 0.5, py - 0.5), abs=1.0), (n, name, pip)


# -- bad input ------------------------------------------------------------------

@needs_ffmpeg
@pytest.mark.parametrize("case, args, message", [
    ("missing song", ["circle", "--audio", "{tmp}/nothing.wav"], "no such song: "),
    ("unreadable song", ["circle", "--audio", "{tmp}/noise.wav"], "cannot read song "),
    ("song without sound", ["circle", "--audio", "{tmp}/picture.png"], "cannot read song .*no audio"),
    ("missing beat map", ["circle", "--beats", "{tmp}/nothing.beats", "--seconds", "1"], "cannot read beat map"),
    ("unknown pattern", ["circle", "no_such_pattern", "--bpm", "120", "--seconds", "1"], "no_such_pattern"),
    ("no ffmpeg", ["circle", "--bpm", "120", "--seconds", "1"], "ffmpeg not found"),
    ("missing folder", ["circle", "--bpm", "120", "--seconds", "1", "-o", "{tmp}/no/v.mp4"],
     "cannot write .*No such file"),
    ("output is a folder", ["circle", "--bpm", "120", "--seconds", "1", "-o", "{tmp}/folder.mp4"],
     "cannot write .*folder.mp4: Is a directory"),
    ("unknown container", ["circle", "--bpm", "120", "--seconds", "1", "-o", "{tmp}/v.xyz"],
     "cannot write .xyz video"),
    ("size not WxH", ["circle", "--bpm", "120", "--seconds", "1", "--size", "1280"], "WIDTHxHEIGHT"),
    ("odd size", ["circle", "--bpm", "120", "--seconds", "1", "--size", "641x360"], "even sides"),
    ("size too small", ["circle", "--bpm", "120", "--seconds", "1", "--size", "64x64"], "does not fit in 64x64"),
    ("no tempo", ["circle", "--seconds", "1"], "--bpm"),
    ("no length", ["circle", "--bpm", "120"], "--seconds"),
])
def test_bad_input_is_one_line_exit_2_and_no_file(cairo, capsys, tmp_path, monkeypatch, case, args, message):
    (tmp_path / "noise.wav").write_bytes(b"RIFF not really a wave file" * 10)
    (tmp_path / "folder.mp4").mkdir()
    if case == "song without sound":
        subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-f", "lavfi", "-i", "color=c=red:s=16x16",
                        "-frames:v", "1", str(tmp_path / "picture.png")], check=True)
    before = sorted(os.listdir(tmp_path))
    if case == "no ffmpeg":
        monkeypatch.setenv("PATH", str(tmp_path))
    args = [a.format(tmp=tmp_path) for a in args]
    if "-o" not in args:
        args += ["-o", str(tmp_path / "video.mp4")]
    status, err = render(capsys, *args)
    assert status == 2
    assert err.count("\n") == 1 and err.startswith("kinetra render: "), err
    assert "Traceback" not in err
    assert re.search(message, err), err
    assert sorted(os.listdir(tmp_path)) == before
    assert os.listdir(tmp_path / "folder.mp4") == []


@needs_ffmpeg
def test_a_stop_while_ffmpeg_starts_stops_it(cairo, tmp_path, monkeypatch):
    from kinetra_tools.render import encode

    started = []
    real_popen = subprocess.Popen

    def popen(*args, **kwargs):
        started.append(real_popen(*args, **kwargs))
        return started[-1]

    def interrupted(*args):
        raise KeyboardInterrupt

    monkeypatch.setattr(encode.subprocess, "Popen", popen)
    monkeypatch.setattr(encode.fcntl, "fcntl", interrupted)  # the first thing after ffmpeg starts
    with pytest.raises(KeyboardInterrupt):
        encode.Encoder(str(tmp_path / "v.mp4"), 64, 64, Fraction(30), "bgra")
    assert len(started) == 1 and started[0].returncode is not None


@needs_ffmpeg
def test_ctrl_c_stops_ffmpeg_and_leaves_nothing(cairo, tmp_path):
    import signal
    import sys
    import time

    process = subprocess.Popen([sys.executable, "-m", "kinetra_tools", "render", "circle", "--bpm", "120",
                                "--seconds", "600", "--size", "160x90", "-o", str(tmp_path / "v.mp4")],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **INTERRUPTIBLE)
    children = f"/proc/{process.pid}/task/{process.pid}/children"
    deadline = time.monotonic() + 60
    ffmpeg = None
    while time.monotonic() < deadline and process.poll() is None:
        # Rendering has begun once the temporary file exists and ffmpeg runs.
        if os.listdir(tmp_path) and os.path.exists(children):
            with open(children) as f:
                ffmpeg = f.read().split()
            if ffmpeg and os.path.getsize(tmp_path / os.listdir(tmp_path)[0]) > 0:
                break
        time.sleep(0.05)
    assert ffmpeg, "the render did not start"
    process.send_signal(signal.SIGINT)
    out, err = process.communicate(timeout=60)
    assert process.returncode == 130, err
    assert "Traceback" not in err
    assert os.listdir(tmp_path) == []
    for pid in ffmpeg:
        assert not os.path.exists(f"/proc/{pid}"), "ffmpeg still running"


@needs_ffmpeg
def test_ffmpeg_dying_midway_is_one_line_and_keeps_the_old_file(cairo, capsys, tmp_path, monkeypatch):
    from kinetra_tools.render import encode

    started = []
    real_init, real_write = encode.Encoder.__init__, encode.Encoder.write

    def init(self, *args, **kwargs):
        real_init(self, *args, **kwargs)
        started.append(self)

    def write(self, frame):
        if len(started) == 1 and getattr(self, "written", 0) == 5:
            self.process.kill()
            self.process.wait()
        self.written = getattr(self, "written", 0) + 1
        real_write(self, frame)

    monkeypatch.setattr(encode.Encoder, "__init__", init)
    monkeypatch.setattr(encode.Encoder, "write", write)
    (tmp_path / "v.mp4").write_bytes(b"an older video")
    status, err = render(capsys, "circle", "--bpm", "120", "--seconds", "2", "--size", "320x180",
                         "-o", tmp_path / "v.mp4")
    assert status == 2 and err.startswith("kinetra render: ffmpeg failed") and err.count("\n") == 1, err
    assert os.listdir(tmp_path) == ["v.mp4"]
    assert (tmp_path / "v.mp4").read_bytes() == b"an older video"
