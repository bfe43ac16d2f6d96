"""kinetra play: bad input in one line, a short run, clean ends on signals and keys, taps from a terminal."""
import os
import re
import select
import signal
import socket
import subprocess
import sys
import threading
import time

import pytest

import kinetra
from command_runner import INTERRUPTIBLE, run_command


def run(capsys, *args):
    return run_command(capsys, "play", *args)


@pytest.mark.parametrize(
    "args, message",
    [
        (["nosuch"], "kinetra play: unknown pattern: 'nosuch'"),
        (["circle", "circle"], "kinetra play: pattern given twice: circle"),
        (["circle", "--osc", "localhost"], "kinetra play: OSC address must be HOST:PORT: 'localhost'"),
        (["circle", "--osc", "127.0.0.1:99999"], "kinetra play: OSC port must be 1 to 65535: '127.0.0.1:99999'"),
        (["circle", "--osc", "[::1:9000"], "kinetra play: OSC address must be HOST:PORT: '[::1:9000'"),
        (["circle", "--tap", "--link"], "kinetra play: argument --link: not allowed with argument --tap"),
        (["circle", "--quantum", "3"], "kinetra play: --quantum goes with --link"),
        (["circle", "--start-stop-sync"], "kinetra play: --start-stop-sync goes with --link"),
        (["circle", "--midi-clock", "x", "--bpm", "120"],
         "kinetra play: --bpm does not go with --midi-clock: the clock sets the tempo"),
        (["circle", "--latency", "20"], "kinetra play: --latency goes with --osc"),
        (["circle", "--beats"], "kinetra play: --beats goes with --osc"),
        (["circle", "--latency", "-1"], "kinetra play: argument --latency: not a latency of 0 to 10000 ms: '-1'"),
        (["circle", "--fps", "0"], "kinetra play: argument --fps: not a positive number: '0'"),
        (["circle", "--seconds", "nan"], "kinetra play: argument --seconds: not a positive number: 'nan'"),
        (["circle", "--bpm", "1e999"], "kinetra play: argument --bpm: out of range: '1e999'"),
        (["circle", "--bpm", "20000"], "kinetra play: argument --bpm: tempo too large: '20000'"),
    ],
)
def test_bad_input_is_one_line_and_status_2(capsys, args, message):
    status, out, err = run(capsys, *args, "--seconds", "0.1") if "--seconds" not in args else run(capsys, *args)
    assert status == 2 and out == ""
    assert err.startswith(message) and err.endswith("\n") and err.count("\n") == 1


def test_midi_clock_without_a_midi_system_says_what_is_missing(capsys):
    status, _, err = run(capsys, "circle", "--midi-clock", "no such port", "--seconds", "0.1")
    assert status == 2
    if not os.path.exists("/dev/snd/seq"):
        try:
            import mido, rtmidi  # noqa: F401, E401
        except ImportError:
            assert "MIDI clock needs mido and python-rtmidi" in err
        else:
            assert err == "kinetra play: no MIDI system: ALSA sequencer /dev/snd/seq not found\n"


def test_link_without_its_bridge_says_how_to_get_it(capsys, monkeypatch):
    from kinetra_tools.live.link import MISSING

    monkeypatch.setitem(sys.modules, "kinetra_link", None)  # as where it is not built
    status, _, err = run(capsys, "circle", "--link", "--seconds", "0.1")
    assert (status, err) == (2, f"kinetra play: {MISSING}\n")
    # Link's limits come from the bridge: without it, its absence is the one thing to say.
    status, _, err = run(capsys, "circle", "--link", "--bpm", "1000", "--seconds", "0.1")
    assert (status, err) == (2, f"kinetra play: {MISSING}\n")


def test_play_follows_a_link_session():
    from private_network import run_inside

    run_inside(os.path.join(os.path.dirname(os.path.abspath(__file__)), "play_link_sessions.py"))


def test_a_short_run_prints_a_line_per_beat(capsys):
    status, out, err = run(capsys, "circle", "bounce", "--bpm", "240", "--fps", "32", "--seconds", "1.01")
    assert status == 0
    played, dropped = re.fullmatch(r"played (\d+) frames(?:, (\d+) dropped)?\n", err).groups(default="0")
    assert int(played) + int(dropped) == 33  # a busy machine may drop a frame or two
    lines = out.splitlines()
    assert [line.split()[0] for line in lines] == ["1.1", "1.2", "1.3", "1.4", "2.1"]
    for beat, line in enumerate(lines):
        pip = int(line.split()[2])
        assert 64 * beat <= pip <= 64 * beat + 8 * int(dropped)  # a beat starts on its frame, or the next one sent
        c, b = kinetra.sample("circle", pip), kinetra.sample("bounce", pip)
        assert line.endswith(f"circle x={c.x:+.3f} y={c.y:+.3f} z={c.z:+.3f}  "
                             f"bounce x={b.x:+.3f} y={b.y:+.3f} z={b.z:+.3f}")


def command(*args):
    return [sys.executable, "-m", "kinetra_tools", "play", *args]


def wait_for(stream_text, pattern, seconds=20):
    deadline = time.monotonic() + seconds
    while not re.search(pattern, stream_text()):
        assert time.monotonic() < deadline, f"no {pattern!r} in {stream_text()[-300:]!r}"
        time.sleep(0.02)


@pytest.mark.parametrize("number", [signal.SIGINT, signal.SIGTERM])
def test_interrupted_runs_end_cleanly(number):
    pytest.importorskip("pyliblo3")
    receiver = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    receiver.bind(("127.0.0.1", 0))
    try:
        proc = subprocess.Popen(command("circle", "--bpm", "600", "--osc", f"127.0.0.1:{receiver.getsockname()[1]}"),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True,
                                **INTERRUPTIBLE)
        receiver.settimeout(20)
        for _ in range(10):  # it is playing
            receiver.recv(65536)
        proc.send_signal(number)
        out, err = proc.communicate(timeout=20)
    finally:
        receiver.close()
    assert proc.returncode == 0
    assert re.fullmatch(r"played \d+ frames(, \d+ dropped)?\n", err), err
    assert re.match(r"1\.\d pip \d+ 600\.0 BPM  circle x=", out)


class Terminal:
    """A pseudo-terminal as the command's standard input and output."""

    def __init__(self):
        self.master, self.slave = os.openpty()
        self.before = __import__("termios").tcgetattr(self.slave)
        self.chunks = []
        self._done = threading.Event()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        while not self._done.is_set():
            if select.select([self.master], [], [], 0.05)[0]:
                try:
                    self.chunks.append(os.read(self.master, 65536).decode(errors="replace"))
                except OSError:
                    return

    def text(self):
        return "".join(self.chunks)

    def attributes(self):
        return __import__("termios").tcgetattr(self.slave)

    def close(self):
        self._done.set()
        self._reader.join()
        os.close(self.master)
        os.close(self.slave)


@pytest.fixture
def terminal():
    pytest.importorskip("termios")
    term = Terminal()
    yield term
    term.close()


def start_in(terminal, *args):
    return subprocess.Popen(command(*args), stdin=terminal.slave, stdout=terminal.slave,
                            stderr=subprocess.PIPE, text=True, **INTERRUPTIBLE)


def test_taps_from_the_terminal_set_the_tempo_and_q_ends(terminal):
    proc = start_in(terminal, "circle", "bounce", "--tap")
    wait_for(terminal.text, r"stopped\s+tap: Enter or space")  # drawn, waiting for the first tap
    assert terminal.attributes() != terminal.before  # keys one by one, no echo
    for _ in range(4):
        os.write(terminal.master, b" ")
        time.sleep(0.4)
    wait_for(terminal.text, r"playing")
    os.write(terminal.master, b"q")
    _, err = proc.communicate(timeout=20)
    assert proc.returncode == 0 and "Traceback" not in err
    assert terminal.attributes() == terminal.before  # the terminal as it was
    bpm = float(re.findall(r"([\d.]+) BPM  playing", terminal.text())[-1])
    assert bpm == pytest.approx(150, rel=0.05)
    assert "circle  bar" in terminal.text() and "bounce  bar" in terminal.text()
    assert terminal.text().endswith("\x1b[?25h")  # the cursor shown again


def test_ctrl_c_restores_the_terminal(terminal):
    proc = start_in(terminal, "circle", "--tap")
    wait_for(terminal.text, r"stopped")
    proc.send_signal(signal.SIGINT)
    _, err = proc.communicate(timeout=20)
    assert proc.returncode == 0 and re.fullmatch(r"played \d+ frames(, \d+ dropped)?\n", err), err
    assert terminal.attributes() == terminal.before
