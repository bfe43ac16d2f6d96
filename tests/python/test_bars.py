"""Bars: one count of bars and beats, from the timeline's own downbeats, read alike by every output.

Two maps, both with a one-beat pickup and a beat every half second: a regular one (bars of
four) and an irregular one whose first bar has three beats and the rest four. The timeline's
``bar_beat`` and ``bar_start`` are checked first; export's column, ``--start``, ``--bars``,
the terminal trace and the OSC bar messages are then checked against them.
"""

import csv
import io
import types

import pytest

from command_runner import run_command
from kinetra_tools.beatmap import BeatMap
from kinetra_tools.clock import Tempo
from kinetra_tools.live import LiveReading
from kinetra_tools.live.loop import LiveFrame
from kinetra_tools.live.osc import OscOutput
from kinetra_tools.live.terminal import TraceOutput, compact
from kinetra_tools.timeline import BarBeat, Bars

BEATS = [0.5 + 0.5 * k for k in range(16)]  # 0.5 .. 8.0 s; pip 0 at 1.0 s
MAPS = {
    "regular": BeatMap(BEATS, downbeats=[1.0, 3.0, 5.0, 7.0]),
    "irregular": BeatMap(BEATS, downbeats=[1.0, 2.5, 4.5, 6.5]),
}
# The bar and beat of every beat of each map, the pickup (0.5 s) first, then on past its end.
COUNTS = {
    "regular": ["0.4"] + [f"{b // 4 + 1}.{b % 4 + 1}" for b in range(20)],
    "irregular": ["0.4", "1.1", "1.2", "1.3"] + [f"{b // 4 + 2}.{b % 4 + 1}" for b in range(17)],
}


def beat_labels(timeline, count=21):
    return [str(timeline.bar_beat(64 * b)) for b in range(-1, count - 1)]


@pytest.mark.parametrize("kind", MAPS)
def test_bars_follow_the_maps_own_downbeats(kind):
    song = MAPS[kind]
    assert beat_labels(song) == COUNTS[kind]
    # Every pip of a beat is in that beat; each bar starts where the count says 1.
    assert [str(song.bar_beat(64 * b + 63)) for b in range(-1, 20)] == COUNTS[kind]
    starts = [64 * (b - 1) for b, label in enumerate(COUNTS[kind]) if label.endswith(".1")]
    assert [song.bar_start(n) for n in range(1, len(starts) + 1)] == starts
    for n in range(-3, 9):
        assert song.bar_beat(song.bar_start(n)) == BarBeat(n, 1)
        assert song.bar_start(n + 1) - song.bar_start(n) == 64 * song.beats_per_bar_at(song.bar_start(n))
    # The map's downbeats are its bar starts, in seconds.
    assert [float(song.seconds_at(song.bar_start(n))) for n in range(1, 5)] == list(song.downbeats)
    assert song.positions() == [int(label.split(".")[1]) for label in COUNTS[kind][:16]]


@pytest.mark.parametrize("meter", [3, 4, 7])
def test_a_tempo_counts_bars_of_its_meter_from_beat_zero(meter):
    tempo = Tempo(120, "0.25", meter)
    assert tempo.bars == Bars.regular(meter) and tempo.span() is None
    assert tempo.bar_beat(-1) == (0, meter) and tempo.bar_beat(0) == (1, 1)
    assert tempo.bar_start(3) == 2 * meter * 64 and tempo.beats_per_bar_at(10**6) == meter


def test_bars_refuse_what_is_not_a_bar_line():
    for starts, meter in [((), 4), ((1, 4), 4), ((0, 3, 3), 4), ((0,), 0), ((0,), True)]:
        with pytest.raises(ValueError):
            Bars(starts, meter)


def export(capsys, kind, tmp_path, *args):
    path = tmp_path / f"{kind}.beats"
    MAPS[kind].save(str(path))
    status, out, err = run_command(capsys, "export", "circle", "--beats", path, "--fps", 2, *args)
    assert status == 0, err
    rows = list(csv.reader(io.StringIO(out)))[1:]
    return [(int(row[0]), row[-1]) for row in rows]


@pytest.mark.parametrize("kind", MAPS)
def test_export_start_and_bars_count_the_maps_bars(capsys, tmp_path, kind):
    song = MAPS[kind]
    # Frame n is at n / 2 s: on every beat of the map, so each row is a beat.
    rows = export(capsys, kind, tmp_path, "--seconds", 8)
    labels = COUNTS[kind][:15]
    assert rows == [(n, str(song.bar_beat(song.pip_at(n / 2)))) for n in range(16)]
    assert [label for _, label in rows[1:]] == labels
    # --start BAR[.BEAT] lands on that beat of the map; --bars N ends with its N-th bar from there.
    for start, bars in [("2", 1), ("2.3", 2), ("3", 2), ("1.2", 1)]:
        bar, _, beat = start.partition(".")
        first_pip = song.bar_start(int(bar)) + 64 * (int(beat or 1) - 1)
        got = export(capsys, kind, tmp_path, "--start", start, "--bars", bars)
        assert got[0] == (int(song.seconds_at(first_pip) * 2), f"{bar}.{beat or 1}")
        end = song.seconds_at(song.bar_start(int(bar) + bars))
        assert got[-1][0] == int(end * 2) - 1 and got[-1][1].split(".")[0] == str(int(bar) + bars - 1)


def test_a_beat_past_the_end_of_a_short_bar_is_refused(capsys, tmp_path):
    path = tmp_path / "irregular.beats"
    MAPS["irregular"].save(str(path))
    status, _, err = run_command(capsys, "export", "circle", "--beats", path, "--fps", 2, "--start", "1.4",
                                 "--bars", 1)
    assert status == 2 and err == "kinetra export: beat 4 is past the end of a 3-beat bar\n"


@pytest.mark.parametrize("kind", MAPS)
def test_the_terminal_trace_counts_the_maps_bars(capsys, tmp_path, kind):
    path = tmp_path / f"{kind}.beats"
    MAPS[kind].save(str(path))
    status, out, err = run_command(capsys, "show", "circle", "--beats", path, "--bars", 3)
    assert status == 0, err
    marks = [line.split("|")[0].strip() for line in out.splitlines()[1:]]
    assert [m for m in marks if m] == [label for label in COUNTS[kind][1:] if int(label.split(".")[0]) <= 3]


class Sent:
    """A stand-in OSC sender: what each bundle would carry."""

    def __init__(self):
        self.bundles = []

    def send(self, pip, points, at=None, beat=None, bar=None):
        self.bundles.append((pip, beat, bar))

    def close(self):
        pass


def live_frames(pips):
    return [LiveFrame(n, n / 60, n / 60, LiveReading(pip, 120.0, True), ((0.0, 0.0, 0.0),))
            for n, pip in enumerate(pips)]


@pytest.mark.parametrize("kind", MAPS)
def test_osc_bar_messages_and_the_trace_off_a_terminal_count_the_same_bars(kind):
    song = MAPS[kind]
    sender, out = Sent(), io.StringIO()
    osc = OscOutput(sender, ["circle"], beats=True, bars=song.bars)
    trace = TraceOutput(out, ["circle"], bars=song.bars)
    for frame in live_frames(range(-64, 19 * 64, 16)):
        osc.send(frame)
        trace.send(frame)
    beats = [(pip, beat, bar) for pip, beat, bar in sender.bundles if beat is not None]
    assert [beat for _, beat, _ in beats] == list(range(-1, 19))
    # /kinetra/bar n is sent on bar n + 1's first beat (bars counted from 0 there).
    labels = COUNTS[kind][:20]
    assert [bar for _, _, bar in beats] == [int(label.split(".")[0]) - 1 if label.endswith(".1") else None
                                            for label in labels]
    assert [line.split(" pip ")[0] for line in out.getvalue().splitlines()] == labels


def test_a_link_quantum_is_the_bar_on_and_off_a_terminal(monkeypatch):
    import os
    import shutil

    from kinetra_tools.live.link import LinkClock

    monkeypatch.setattr(shutil, "get_terminal_size", lambda fallback=None: os.terminal_size((80, 24)))
    bridge = types.SimpleNamespace(MIN_TEMPO=20.0, MAX_TEMPO=999.0, MIN_QUANTUM=1 / 64, MAX_QUANTUM=4096.0,
                                   Link=lambda bpm: types.SimpleNamespace(enable=lambda on: None))
    monkeypatch.setitem(__import__("sys").modules, "kinetra_link", bridge)
    assert LinkClock(quantum=3).bars == Bars.regular(3)
    assert LinkClock(quantum=1.5).bars == Bars.regular(1)

    class Terminal(io.StringIO):
        def isatty(self):
            return True

    screen, lines = Terminal(), io.StringIO()
    for out in (screen, lines):
        trace = TraceOutput(out, ["circle"], bars=LinkClock(quantum=3).bars)
        for frame in live_frames(range(0, 4 * 64, 64)):
            trace.send(frame._replace(due=frame.frame))  # a second apart: every frame is drawn
    drawn = [part.split("  pip")[0] for part in screen.getvalue().split("circle  ")[1:]]
    assert drawn == ["bar 1  beat 1", "bar 1  beat 2", "bar 1  beat 3", "bar 2  beat 1"]
    assert [line.split(" pip ")[0] for line in lines.getvalue().splitlines()] == ["1.1", "1.2", "1.3", "2.1"]


@pytest.mark.parametrize("size, shown", [((80, 24), 4), ((200, 60), 4), ((80, 4), 2)])
def test_the_live_view_fits_the_terminal(monkeypatch, size, shown):
    import os
    import shutil

    class Terminal(io.StringIO):
        def isatty(self):
            return True

    monkeypatch.setattr(shutil, "get_terminal_size", lambda fallback=None: os.terminal_size(size))
    names = ["circle", "bounce", "figure_eight", "helix"]
    screen = Terminal()
    trace = TraceOutput(screen, names)
    frame = live_frames([70])[0]._replace(points=((0.0, 0.0, 0.0),) * 4)
    trace.send(frame)
    drawn = screen.getvalue().split("\x1b[H")[1].split("\x1b[K\n")
    columns, lines = size
    assert len(drawn) - 1 <= lines and all(len(line) <= columns for line in drawn)
    assert sum(name in "".join(drawn) for name in names) == shown
    if size == (80, 4):
        assert compact(names, frame.points, 70, BarBeat(1, 2), 80, 3).endswith("... and 2 more")
