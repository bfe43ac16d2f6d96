import csv
import io
import json
import os
import subprocess
import sys

import pytest

import kinetra
from kinetra_tools import FrameClock, cli


def run(capsys, *args):
    """(exit status, stdout, stderr) of the kinetra command."""
    try:
        status = cli.main(list(args))
    except SystemExit as exit_:
        status = exit_.code
    out, err = capsys.readouterr()
    return status, out, err


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


@pytest.mark.parametrize(
    "args, expected",
    [
        (["--pack", "builtin"], lambda c: c[:15]),
        (["--pack", "initial"], lambda c: c[15:43]),
        (["--pack", "expansion"], lambda c: c[43:67]),
        (["--grep", "ORBIT"], lambda c: [e for e in c if "orbit" in e["name"] or "orbit" in e["description"].lower()]),
        (["--pack", "builtin", "--grep", "roll"], lambda c: [e for e in c[:15] if "roll" in e["name"] or "roll" in e["description"]]),
    ],
)
def test_list_filters(capsys, args, expected):
    status, out, _ = run(capsys, "list", *args)
    assert status == 0
    names = [e["name"] for e in expected(kinetra.catalogue())]
    assert names and listed(out) == names


def test_show_prints_one_line_per_half_beat_off_a_terminal(capsys):
    status, out, _ = run(capsys, "show", "figure_eight", "--bpm", "90", "--bars", "2")
    assert status == 0
    lines = out.splitlines()
    assert lines[0].startswith("figure_eight at 90 BPM, 2 bars")
    assert len(lines) == 1 + 2 * 4 * 2
    for pip, line in zip(range(0, 512, 32), lines[1:]):
        o = kinetra.sample("figure_eight", pip)
        assert line.endswith(f"x={o.x:+.3f} y={o.y:+.3f} z={o.z:+.3f}")
    assert lines[1].startswith(" 1.1 |") and lines[-2].startswith(" 2.4 |")


def parse_csv(out):
    rows = list(csv.reader(io.StringIO(out)))
    assert rows[0] == ["frame", "seconds", "pip", "x", "y", "z"]
    return [(int(f), float(s), int(p), float(x), float(y), float(z)) for f, s, p, x, y, z in rows[1:]]


def expected_rows(name, fps, bpm, frames, beat_zero=0):
    clock = FrameClock(fps, bpm, beat_zero)
    return [(n, float(clock.seconds(n)), clock.pip(n), *kinetra.sample(name, clock.pip(n)).as_tuple())
            for n in range(frames)]


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
    assert list(json.loads(out)[0]) == ["frame", "seconds", "pip", "x", "y", "z"]


@pytest.mark.parametrize(
    "args, message",
    [
        (["show", "circel"], "kinetra show: unknown pattern: circel (did you mean circle?)"),
        (["show", "no_such_thing_at_all"], "kinetra show: unknown pattern: no_such_thing_at_all (see kinetra list)"),
        (["show", "circle", "--bpm", "fast"], "kinetra show: argument --bpm: not a positive number: 'fast'"),
        (["show", "circle", "--bars", "1.5"], "kinetra show: argument --bars: not a positive whole number: '1.5'"),
        (["export", "circel", "--bpm", "120", "--fps", "30", "--bars", "1"], "kinetra export: unknown pattern: circel"),
        (["export", "circle", "--bpm", "0", "--fps", "30", "--bars", "1"], "argument --bpm: not a positive number: '0'"),
        (["export", "circle", "--bpm", "nan", "--fps", "30", "--bars", "1"], "argument --bpm: not a positive number"),
        (["export", "circle", "--bpm", "120", "--fps", "-30", "--bars", "1"], "argument --fps: not a positive number"),
        (["export", "circle", "--fps", "30", "--bars", "1"], "one of the arguments --bpm --audio --beats is required"),
        (["export", "circle", "--bpm", "120", "--fps", "30"], "one of the arguments --seconds --bars is required"),
        (["export", "circle", "--bpm", "120", "--fps", "30", "--bars", "1", "--seconds", "1"], "not allowed with"),
        (["export", "circle", "--bpm", "120", "--fps", "30", "--bars", "1", "--format", "xml"], "--format: invalid choice"),
        (["export", "circle", "--bpm", "400", "--fps", "1", "--seconds", "1e7"], "kinetra export: span too long"),
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
    # A reader that stops early is no error worth a traceback.
    head = subprocess.run(f"'{sys.executable}' -m kinetra_tools export circle --bpm 120 --fps 1000 "
                          "--seconds 600 | head -n 2", shell=True, capture_output=True, text=True,
                          env=os.environ)
    assert head.stdout.count("\n") == 2 and "Traceback" not in head.stderr


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
