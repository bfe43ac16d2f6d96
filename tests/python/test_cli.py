import csv
import io
import json
import os
import subprocess
import sys

import pytest

import kinetra
from kinetra_tools import FrameClock
from command_runner import run_command


def run(capsys, *args):
    """(exit status, stdout, stderr) of the kinetra command."""
    return run_command(capsys, *args)


def listed(out):
    return [line.split()[0] for line in out.splitlines()[1:]]


def test_list_shows_every_pattern_in_catalogue_order(capsys):
    status, out, _ = run(capsys, "list")
    assert status == 0
    entries = kinetra.catalogue()
    assert listed(out) == [e["name"] for e in entries]
    header, first = out.splitlines()[:2]
    assert header.split() == ["NAME", "PACK", "BEATS", "PIPS", "DIM", "DESCRIPTION"]
    assert first.split(None, 5) == ["bounce", "builtin", "1", "64", "1", entries[0]["description"]]


def pack_run(pack):
    """The catalogue positions of one pack's run, from the pack sizes of the build."""
    from kinetra_tools._built import PACKS

    start = len(kinetra.catalogue()) - sum(size for _, size in PACKS)  # after the built-ins
    if pack == "builtin":
        return slice(0, start)
    for name, size in PACKS:
        if name == pack:
            return slice(start, start + size)
        start += size
    raise KeyError(pack)


@pytest.mark.parametrize(
    "args, expected",
    [
        (["--pack", "builtin"], lambda c: c[pack_run("builtin")]),
        (["--pack", "initial"], lambda c: c[pack_run("initial")]),
        (["--pack", "expansion"], lambda c: c[pack_run("expansion")]),
        (["--grep", "ORBIT"], lambda c: [e for e in c if "orbit" in e["name"] or "orbit" in e["description"].lower()]),
        (["--pack", "builtin", "--grep", "roll"], lambda c: [e for e in c[pack_run("builtin")] if "roll" in e["name"] or "roll" in e["description"]]),
    ],
)
def test_list_filters(capsys, args, expected):
    status, out, _ = run(capsys, "list", *args)
    assert status == 0
    names = [e["name"] for e in expected(kinetra.catalogue())]
    assert names and listed(out) == names


def test_show_prints_eight_lines_a_beat_off_a_terminal(capsys):
    status, out, _ = run(capsys, "show", "figure_eight", "--bpm", "90", "--bars", "2")
    assert status == 0
    lines = out.splitlines()
    assert lines[0].startswith("figure_eight at 90 BPM, 2 bars")
    assert len(lines) == 1 + 2 * 4 * 8
    for pip, line in zip(range(0, 512, 8), lines[1:]):
        o = kinetra.sample("figure_eight", pip)
        assert line.endswith(f"x={o.x:+.3f} y={o.y:+.3f} z={o.z:+.3f}")
    assert lines[1].startswith(" 1.1 |") and lines[-8].startswith(" 2.4 |")
    # The figure's both lobes show: the dot visits both sides and y changes sign.
    columns = {line.index("@") for line in lines[1:]}
    assert min(columns) < 8 and max(columns) > 35
    assert any("y=-" in line for line in lines) and any("y=+0.7" in line for line in lines)


def parse_csv(out):
    rows = list(csv.reader(io.StringIO(out)))
    assert rows[0] == ["frame", "seconds", "pip", "x", "y", "z", "bar.beat"]
    return [(int(f), float(s), int(p), float(x), float(y), float(z), bb)
            for f, s, p, x, y, z, bb in rows[1:]]


def bar_beat(pip):
    return f"{pip // 256 + 1}.{pip // 64 % 4 + 1}"


def expected_rows(name, fps, bpm, frames, beat_zero=0, first=0):
    clock = FrameClock(fps, bpm, beat_zero)
    return [(n, float(clock.seconds(n)), clock.pip(n), *kinetra.sample(name, clock.pip(n)).as_tuple(),
             bar_beat(clock.pip(n)))
            for n in range(first, first + frames)]


@pytest.mark.parametrize(
    "args, frames",
    [
        (["--fps", "29.97", "--bpm", "174", "--bars", "1"], 42),  # 1.379 s: frames 0 to 41
        (["--fps", "25", "--bpm", "120", "--seconds", "2"], 50),  # frame 50 is at 2 s: not before it
        (["--fps", "30000/1001", "--bpm", "128", "--seconds", "0.5", "--beat-zero", "0.25"], 15),
    ],
)
def test_export_writes_each_frame_exactly(capsys, args, frames):
    opts = dict(zip(args[::2], args[1::2]))
    status, out, _ = run(capsys, "export", "helix", *args)
    assert status == 0
    want = expected_rows("helix", opts["--fps"], opts["--bpm"], frames, opts.get("--beat-zero", 0))
    assert parse_csv(out) == want  # exact: numbers are written in round-trip form
    status, out, _ = run(capsys, "export", "helix", *args, "--format", "json")
    assert status == 0
    assert [tuple(r.values()) for r in json.loads(out)] == want
    assert list(json.loads(out)[0]) == ["frame", "seconds", "pip", "x", "y", "z", "bar.beat"]


@pytest.mark.parametrize(
    "args, first, frames",
    [
        # Bars are whole bars counted from beat zero: with beat zero at 0.5 s, two bars at 120 BPM
        # end at 4.5 s (frames 0 to 44 at 10 fps).
        (["--beat-zero", "0.5", "--bars", "2"], 0, 45),
        # From bar 2 beat 3 (pip 384, at 3.5 s) to the end of that bar (4.5 s).
        (["--beat-zero", "0.5", "--start", "2.3", "--bars", "1"], 35, 10),
        (["--start", "1:01.25s", "--seconds", "0.5"], 613, 5),  # 61.25 s: the first frame at or after it
        (["--start", "3s", "--seconds", "0.05"], 30, 1),
    ],
)
def test_export_spans_start_at_a_time_or_a_bar(capsys, args, first, frames):
    status, out, _ = run(capsys, "export", "circle", "--bpm", "120", "--fps", "10", *args)
    assert status == 0, out
    opts = dict(zip(args[::2], args[1::2]))
    assert parse_csv(out) == expected_rows("circle", 10, 120, frames, opts.get("--beat-zero", 0), first)


def test_export_to_a_file_and_read_back_as_a_loop(capsys, tmp_path):
    target = tmp_path / "take.csv"
    status, out, _ = run(capsys, "export", "helix", "--bpm", "60", "--fps", "64", "--seconds", "4",
                         "-o", str(target))
    assert status == 0 and out == ""
    assert parse_csv(target.read_text()) == expected_rows("helix", 64, 60, 256)
    assert os.listdir(tmp_path) == ["take.csv"]
    # One row a pip over one loop: the file reads back as the very same loop.
    loop = tmp_path / "helix_again.csv"
    loop.write_text(target.read_text())
    status, out, _ = run(capsys, "export", str(loop), "--bpm", "60", "--fps", "64", "--seconds", "4")
    assert status == 0
    assert [r[3:6] for r in parse_csv(out)] == [r[3:6] for r in expected_rows("helix", 64, 60, 256)]


@pytest.mark.parametrize("fmt", ["json", "csv", "CSV"])
def test_list_for_scripts(capsys, fmt):
    status, out, _ = run(capsys, "list", "--pack", "Builtin", "--format", fmt)
    assert status == 0
    if fmt == "json":
        records = json.loads(out)
    else:
        records = list(csv.DictReader(io.StringIO(out)))
    assert [r["name"] for r in records] == [e["name"] for e in kinetra.catalogue()[pack_run("builtin")]]
    assert {str(r["pack"]) for r in records} == {"builtin"}
    assert str(records[2]["period_pips"]) == "64" and float(records[2]["period_beats"]) == 1.0


@pytest.mark.parametrize(
    "args, message",
    [
        (["show", "circel"], "kinetra show: unknown pattern: 'circel' (did you mean circle?)"),
        (["show", " circle"], "kinetra show: unknown pattern: ' circle' (did you mean circle?)"),
        (["show", "CIRCLE"], "kinetra show: unknown pattern: 'CIRCLE' (did you mean circle?)"),
        (["show", "fig8"], "(did you mean figure_eight"),
        (["show", "no_such_thing_at_all"], "kinetra show: unknown pattern: 'no_such_thing_at_all' (see kinetra list)"),
        (["show", "circle", "--bpm", "fast"], "kinetra show: argument --bpm: not a positive number: 'fast'"),
        (["show", "circle", "--bpm", "1e400"], "kinetra show: argument --bpm: out of range: '1e400'"),
        (["show", "circle", "--bpm", "20000"], "argument --bpm: tempo too large: '20000' (at most 10,000)"),
        (["show", "circle", "--bars", "1.5"], "kinetra show: argument --bars: not a positive whole number: '1.5'"),
        (["show", "circle", "--bars", "1_0"], "argument --bars: not a positive whole number: '1_0'"),
        (["export", "circel", "--bpm", "120", "--fps", "30", "--bars", "1"], "kinetra export: unknown pattern: 'circel'"),
        (["export", "circle", "--bpm", "0", "--fps", "30", "--bars", "1"], "argument --bpm: not a positive number: '0'"),
        (["export", "circle", "--bpm", "nan", "--fps", "30", "--bars", "1"], "argument --bpm: not a positive number"),
        (["export", "circle", "--bpm", "1e99999999", "--fps", "30", "--seconds", "1"], "argument --bpm: out of range"),
        (["export", "circle", "--bpm", "120", "--fps", "30", "--seconds", "1", "--beat-zero", "1e-99999999"],
         "argument --beat-zero: out of range"),
        (["export", "circle", "--bpm", "120", "--fps", "30", "--seconds", "1", "--beat-zero", "nan"],
         "argument --beat-zero: not a finite number: 'nan'"),
        (["export", "circle", "--bpm", "120", "--fps", "-30", "--bars", "1"], "argument --fps: not a positive number"),
        (["export", "circle", "--bpm", "120", "--fps", "1e999999", "--bars", "1"], "argument --fps: out of range"),
        (["export", "circle", "--bpm", "120", "--fps", "1e6", "--seconds", "1"], "argument --fps: frame rate too large"),
        (["export", "circle", "--bpm", "120", "--fps", "1000", "--seconds", "86400"], "too many frames: 86,400,000"),
        (["render", "circle", "-o", "v.mp4", "--bpm", "120", "--fps", "1e50", "--seconds", "1"],
         "kinetra render: argument --fps: frame rate too large: '1e50' (at most 1,000)"),
        (["render", "circle", "-o", "v.mp4", "--bpm", "0.001", "--seconds", "1e9"],
         "kinetra render: argument --seconds: span too large: '1e9' (at most 604,800)"),
        (["render", "circle", "-o", "v.mp4", "--bpm", "1e5", "--seconds", "1"], "argument --bpm: tempo too large"),
        (["render", "circle", "-o", "v.mp4", "--bpm", "120", "--fps", "1000", "--seconds", "86400"],
         "kinetra render: too many frames: 86,400,000"),
        (["render", "circle", "-o", "v.mp4", "--bpm", "120", "--size", "1e9x2"], "argument --size"),
        (["render", "circle", "-o", "v.mp4", "--bpm", "120", "--seconds", "1", "--cols", "0"],
         "kinetra render: argument --cols: not a column count from 1 to 100: '0'"),
        (["render", "circle", "-o", "v.mp4", "--bpm", "120", "--seconds", "1", "--cols", "2.5"],
         "argument --cols: not a column count from 1 to 100: '2.5'"),
        (["render", "circle", "bounce", "-o", "v.mp4", "--bpm", "120", "--seconds", "1", "--cols", "3"],
         "kinetra render: --cols 3 is more than the 2 patterns given"),
        (["render", "circle", "-o", "v.mp4", "--bpm", "120", "--seconds", "1", "--theme", "blue"],
         "argument --theme: invalid choice: 'blue'"),
        (["render", "circle", "-o", "v.mp4", "--bpm", "120", "--seconds", "1", "--title", " "],
         "kinetra render: argument --title: not a one-line title: ' '"),
        (["render", "circle", "-o", "v.mp4", "--bpm", "120", "--seconds", "1", "--title", "a\nb"],
         "argument --title: not a one-line title"),
        (["show", "circle", "--meter", "17"], "argument --meter: not a meter from 1 to 16 beats a bar: '17'"),
        (["show", "circle", "--beats", "song.beats", "--meter", "3"],
         "kinetra show: --meter does not go with --beats: a beat map has its own bars"),
        (["play", "circle", "--link", "--meter", "3"], "kinetra play: --meter does not go with --link"),
        (["play", "circle", "--link", "--quantum", "17"], "argument --quantum: not a meter from 1 to 16"),
        (["export", "circle", "--fps", "30", "--bars", "1"], "one of the arguments --bpm --audio --beats is required"),
        (["export", "circle", "--bpm", "120", "--fps", "30"], "one of the arguments --seconds --bars is required"),
        (["export", "circle", "--bpm", "120", "--fps", "30", "--bars", "1", "--seconds", "1"], "not allowed with"),
        (["export", "circle", "--bpm", "120", "--fps", "30", "--bars", "1", "--format", "xml"], "--format: invalid choice"),
        (["export", "circle", "--bpm", "120", "--fps", "30", "--bars", "1", "--start", "2.5"],
         "beat 5 is past the end of a 4-beat bar"),
        (["export", "circle", "--bpm", "120", "--fps", "30", "--bars", "1", "--start", "soon"],
         "argument --start: not a time or BAR[.BEAT]: 'soon'"),
        (["export", "circle", "--bpm", "10000", "--fps", "1", "--seconds", "604800"], "kinetra export: span too long"),
        (["export", "circle", "--bpm", "120", "--fps", "30", "--bars", "1", "-o", "/nonexistent-dir/c.csv"],
         "kinetra export: cannot write /nonexistent-dir/c.csv: No such file or directory"),
        (["export", "nope.csv", "--bpm", "120", "--fps", "30", "--bars", "1"],
         "kinetra export: cannot read nope.csv: No such file or directory"),
        (["list", "--pack", "nonsense"], "kinetra list: argument --pack: invalid choice: 'nonsense'"),
        (["list", "--grep", "zzzqqq"], "kinetra list: no pattern matches"),
        (["gallery", "/nonexistent-dir/g.html"], "kinetra gallery: cannot write /nonexistent-dir/g.html"),
        (["frobnicate"], "kinetra: argument COMMAND: invalid choice: 'frobnicate'"),
        ([], "kinetra: choose a command"),
    ],
)
def test_errors_are_one_line_and_exit_non_zero(capsys, args, message):
    status, out, err = run(capsys, *args)
    assert status != 0 and out == ""
    assert err.count("\n") == 1 and message in err, err


@pytest.mark.parametrize(
    "content, message",
    [
        ("x,y,z\n0.5,0,0\n2.0,0,0\n", "bad.csv: "),  # outside -1..1: the pattern's own message
        ("0.5,0\n", "bad.csv row 1: expected x, y and z, got 2 values"),
        ("0.5,zero,0\n", "bad.csv row 1: not a number: 'zero'"),
        ("", "bad.csv: "),  # no rows
    ],
)
def test_a_bad_loop_file_is_refused_with_the_pattern_message(capsys, tmp_path, content, message):
    bad = tmp_path / "bad.csv"
    bad.write_text(content)
    status, out, err = run(capsys, "export", str(bad), "--bpm", "120", "--fps", "30", "--bars", "1")
    assert status == 2 and out == "" and err.count("\n") == 1 and message in err, err
    expected = None
    if content.startswith("x,y,z"):
        with pytest.raises(ValueError) as expected:
            kinetra.SampledPattern("bad", "loop read from bad.csv", [[0.5, 0, 0], [2.0, 0, 0]])
    elif not content:
        with pytest.raises(ValueError) as expected:
            kinetra.SampledPattern("bad", "loop read from bad.csv", [])
    if expected is not None:
        assert err.strip().endswith(str(expected.value))


PROCESS_CASES = [
    # (shell command, expected exit status, text on stderr, file that must not be left behind)
    ("{kinetra} export circle --bpm 1e99999999 --fps 30 --seconds 1", 2, "out of range", None),
    ("{kinetra} export circle --bpm 120 --fps 30 --seconds 60 > /dev/full", 2,
     "kinetra export: cannot write output: No space left on device", None),
    ("{kinetra} list > /dev/full", 2, "kinetra list: cannot write output: No space left on device", None),
    ("{kinetra} show circle > /dev/full", 2, "kinetra show: cannot write output: No space left on device", None),
    ("set -o pipefail; {kinetra} list | head -n 1 > /dev/null", 141, "", None),
    ("set -o pipefail; {kinetra} export circle --bpm 120 --fps 1000 --seconds 600 | head -n 2 >/dev/null",
     141, "", None),
    # A write that fails midway leaves the old file as it was and no partial file.
    ("echo old > {tmp}/keep.html; ulimit -f 64; {kinetra} gallery {tmp}/keep.html", None, "", "keep.html"),
    ("ulimit -f 8; {kinetra} export circle --bpm 120 --fps 30 --seconds 100 -o {tmp}/c.csv", None, "", "c.csv"),
]


@pytest.mark.parametrize("command, status, message, target", PROCESS_CASES)
def test_the_command_fails_cleanly_as_a_process(tmp_path, command, status, message, target):
    kinetra_command = f"'{sys.executable}' -m kinetra_tools"
    script = command.format(kinetra=kinetra_command, tmp=tmp_path)
    result = subprocess.run(["bash", "-c", script], capture_output=True, text=True, env=os.environ, timeout=60)
    assert "Traceback" not in result.stderr, result.stderr
    if status is not None:
        assert result.returncode == status, result.stderr
    else:
        assert result.returncode != 0
    assert message in result.stderr
    assert result.stderr.count("\n") <= 1, result.stderr
    if target is not None:
        left = sorted(os.listdir(tmp_path))
        if target == "keep.html":
            assert left == ["keep.html"] and (tmp_path / "keep.html").read_text() == "old\n"
        else:
            assert left == []


def test_gallery_to_standard_output(capsys):
    status, out, _ = run(capsys, "gallery", "-")
    assert status == 0 and out.startswith("<!DOCTYPE html>") and not os.path.exists("-")


@pytest.mark.parametrize("command", [[], ["list"], ["show"], ["export"], ["gallery"]])
def test_every_command_has_help(capsys, command):
    status, out, _ = run(capsys, *command, "--help")
    assert status == 0
    assert out.startswith("usage: kinetra" + "".join(" " + c for c in command))
    assert "example: kinetra" in out or not command


def test_command_runs_as_a_process(tmp_path):
    result = subprocess.run([sys.executable, "-m", "kinetra_tools", "export", "circle", "--bpm", "120",
                             "--fps", "24", "--seconds", "1"], capture_output=True, text=True, check=True)
    assert len(result.stdout.splitlines()) == 25


def test_show_moves_live_in_a_terminal():
    class Terminal(io.StringIO):
        def isatty(self):
            return True

    from kinetra_tools import DefaultPattern, Tempo, trace

    screen = Terminal()
    trace.show(DefaultPattern("circle"), Tempo(3000), 1, screen)  # one bar at 3000 BPM: 80 ms
    out = screen.getvalue()
    frames = out.split("\x1b[H\x1b[2J")[1:]
    assert frames and all(f.startswith("circle  bar 1  beat ") for f in frames)
    assert frames[0].count("@") == 1 and len(frames[0].splitlines()) == 2 + trace.HEIGHT + 1
    assert out.startswith("\x1b[?25l") and out.endswith("\x1b[?25h1 bar of circle at 3000 BPM\n")


def test_show_counts_the_bars_of_a_three_four_map(capsys, tmp_path):
    waltz = tmp_path / "waltz.beats"
    waltz.write_text("".join(f"{0.5 * k}\t{k % 3 + 1}\n" for k in range(12)))
    status, out, _ = run(capsys, "show", "circle", "--beats", str(waltz), "--bars", "2")
    assert status == 0, out
    marks = [line.split("|")[0].strip() for line in out.splitlines()[1:]]
    assert len(marks) == 2 * 3 * 8
    assert [m for m in marks if m] == ["1.1", "1.2", "1.3", "2.1", "2.2", "2.3"]
