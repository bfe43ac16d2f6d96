"""Where a command's output goes (a file replaced whole, a symlink's target, a device, a FIFO,
a socket; a directory refused) and how a command ends on SIGTERM and SIGHUP."""

import errno
import os
import shutil
import signal
import socket
import stat
import subprocess
import sys
import threading
import time

import pytest

from command_runner import run_command
from kinetra_tools.beatmap import BeatMap
from kinetra_tools.signals import Stopped, stops_as_interrupts

HAVE_FFMPEG = shutil.which("ffmpeg") is not None and shutil.which("ffprobe") is not None

# command -> (arguments before the output, how the output is given, its extension)
COMMANDS = {
    "export": (["export", "circle", "--bpm", "120", "--fps", "10", "--seconds", "1"], "-o", ".csv"),
    "beats": (["beats", "song.wav"], "-o", ".json"),
    "gallery": (["gallery"], "", ".html"),
    "render": (["render", "circle", "--bpm", "120", "--fps", "10", "--seconds", "0.5", "--size", "160x90"],
               "-o", ".mp4"),
}
KINDS = ["file", "symlink", "null device", "fifo", "pipe", "socket", "directory", "missing directory"]
# A video needs a seekable file: render is checked on the kinds it can write.
RENDER_KINDS = {"file", "symlink", "null device", "directory", "missing directory"}


@pytest.fixture
def song_map(monkeypatch):
    """`kinetra beats` with the analysis replaced by a fixed map: only the writing is under test."""
    from kinetra_tools.commands import timing

    found = BeatMap([0.5, 1.0, 1.5, 2.0, 2.5], [0.5, 2.5], 4, 3.0)
    monkeypatch.setattr(timing, "beat_map", lambda *args, **kwargs: found)


def command_args(command, path):
    before, option, _ = COMMANDS[command]
    return [*before, *([option] if option else []), str(path)]


def printed(capsys, command):
    """What the command writes to standard output, as bytes: the content every -o must get."""
    before, option, _ = COMMANDS[command]
    status, out, err = run_command(capsys, *before, *(["-"] if not option else []))
    assert status == 0, err
    return out.encode()


def null_device(folder, name):
    """A node of the null device (1, 3) in ``folder``: if the command replaced it, only this copy
    would go. Without the right to make one, the system's own, which such a user cannot replace."""
    path = folder / name
    try:
        os.mknod(path, stat.S_IFCHR | 0o666, os.makedev(1, 3))
        with open(path, "wb") as probe:
            probe.write(b"x")
    except PermissionError:
        if os.geteuid() == 0:
            pytest.skip("cannot make a device node here")
        return "/dev/null"
    return str(path)


class Reader(threading.Thread):
    """Reads everything that arrives through a FIFO, a pipe (a shell's ``>(...)``, named
    /dev/fd/N) or at a listening socket."""

    def __init__(self, path, kind):
        super().__init__(daemon=True)
        self.path, self.kind, self.data = path, kind, None
        if kind == "pipe":
            self.end, writing = os.pipe()
            self.path = f"/dev/fd/{writing}"
        elif kind == "socket":
            self.listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            self.listener.bind(path)
            self.listener.listen(1)
            self.listener.settimeout(60)
        else:
            os.mkfifo(path)
        self.start()

    def run(self):
        if self.kind == "socket":
            connection, _ = self.listener.accept()
            with connection:
                self.data = b"".join(iter(lambda: connection.recv(1 << 16), b""))
        elif self.kind == "pipe":
            with open(self.end, "rb") as pipe:
                self.data = pipe.read()
        else:
            with open(self.path, "rb") as fifo:
                self.data = fifo.read()

    def finish(self):
        if self.kind == "pipe":
            os.close(int(self.path.rsplit("/", 1)[1]))  # the writing end the command opened by name
        elif self.kind == "fifo":
            # If nothing was written the reader still waits in open: open the other end so it
            # sees the end. ENXIO means no reader holds the FIFO at this instant: it is either
            # about to open it or has just read the end, so look again until it has finished.
            deadline = time.monotonic() + 60
            while self.is_alive() and time.monotonic() < deadline:
                try:
                    os.close(os.open(self.path, os.O_WRONLY | os.O_NONBLOCK))
                except OSError as error:
                    if error.errno != errno.ENXIO:
                        raise
                self.join(0.05)
        self.join(60)
        if self.kind == "socket":
            self.listener.close()


@pytest.mark.parametrize("command", list(COMMANDS))
@pytest.mark.parametrize("kind", KINDS)
def test_output_goes_where_the_path_leads(capsys, tmp_path, monkeypatch, song_map, command, kind):
    if command == "render":
        if kind not in RENDER_KINDS:
            pytest.skip("a video is written to a seekable file")
        if not HAVE_FFMPEG:
            pytest.skip("needs ffmpeg and ffprobe")
        pytest.importorskip("cairo")
    ext = COMMANDS[command][2]
    expected = None if command == "render" else printed(capsys, command)
    out = tmp_path / "out"
    out.mkdir()
    monkeypatch.chdir(tmp_path)
    elsewhere = tmp_path / "elsewhere"
    reader = None
    if kind == "file":
        path = out / f"old{ext}"
        path.write_bytes(b"old")
        path.chmod(0o640)
    elif kind == "symlink":
        elsewhere.mkdir()
        (elsewhere / f"real{ext}").write_bytes(b"old")
        path = out / f"link{ext}"
        path.symlink_to(f"../elsewhere/real{ext}")
    elif kind == "null device":
        path = null_device(out, f"null{ext}")
        device = os.stat(path).st_rdev
    elif kind in ("fifo", "pipe", "socket"):
        reader = Reader(str(out / f"{kind}{ext}"), kind)
        path = reader.path
    elif kind == "directory":
        path = out / f"folder{ext}"
        path.mkdir()
    else:
        path = out / "no" / f"new{ext}"
    try:
        status, _, err = run_command(capsys, *command_args(command, path))
    finally:
        if reader is not None:
            reader.finish()

    if kind in ("directory", "missing directory"):
        reason = "Is a directory" if kind == "directory" else "No such file or directory"
        assert status == 2 and err == f"kinetra {command}: cannot write {path}: {reason}\n"
        assert sorted(os.listdir(out)) == ([f"folder{ext}"] if kind == "directory" else [])
        if kind == "directory":
            assert os.listdir(path) == []
        return
    assert status == 0, err
    if kind == "file":
        written = path.read_bytes()
        assert stat.S_IMODE(path.stat().st_mode) == 0o640
    elif kind == "symlink":
        assert os.readlink(path) == f"../elsewhere/real{ext}"
        assert os.listdir(elsewhere) == [f"real{ext}"]
        written = (elsewhere / f"real{ext}").read_bytes()
    elif kind == "null device":
        assert stat.S_ISCHR(os.stat(path).st_mode) and os.stat(path).st_rdev == device
        written = None
    else:
        if kind != "pipe":
            assert (stat.S_ISSOCK if kind == "socket" else stat.S_ISFIFO)(os.stat(path).st_mode)
        written = reader.data
    if path != "/dev/null":
        assert os.listdir(out) == ([] if kind == "pipe" else [os.path.basename(path)])  # nothing beside it
    if written is not None:
        if command == "render":
            assert written[4:8] == b"ftyp" and len(written) > 1000
        else:
            assert written == expected


# -- stops ------------------------------------------------------------------------

def test_a_stop_signal_becomes_an_interrupt_and_ignored_ones_stay_ignored():
    previous = signal.signal(signal.SIGHUP, signal.SIG_IGN)
    try:
        with stops_as_interrupts() as received:
            assert signal.getsignal(signal.SIGHUP) is signal.SIG_IGN  # as under nohup
            with pytest.raises(Stopped) as stopped:
                os.kill(os.getpid(), signal.SIGTERM)
                time.sleep(10)
            assert isinstance(stopped.value, KeyboardInterrupt)
            assert received.number == stopped.value.number == signal.SIGTERM
            assert stopped.value.name == "SIGTERM"
        assert signal.getsignal(signal.SIGTERM) is signal.SIG_DFL
    finally:
        signal.signal(signal.SIGHUP, previous)


def children(pid):
    try:
        with open(f"/proc/{pid}/task/{pid}/children") as f:
            return f.read().split()
    except FileNotFoundError:
        return []


@pytest.mark.parametrize("number", [signal.SIGTERM, signal.SIGHUP], ids=["SIGTERM", "SIGHUP"])
@pytest.mark.parametrize("command", [
    ["render", "circle", "--bpm", "120", "--seconds", "600", "--size", "160x90"],
    ["export", "circle", "--bpm", "120", "--fps", "1000", "--seconds", "10000"],
], ids=["render", "export"])
def test_a_stop_midway_removes_the_temporary_file_and_stops_ffmpeg(tmp_path, command, number):
    if command[0] == "render":
        if not HAVE_FFMPEG:
            pytest.skip("needs ffmpeg and ffprobe")
        pytest.importorskip("cairo")
    target = tmp_path / ("v.mp4" if command[0] == "render" else "rows.csv")
    target.write_bytes(b"the old file")
    # The stop as a terminal sends it, whatever this run ignores (nohup ignores SIGHUP,
    # and a command that inherits that rightly keeps running).
    process = subprocess.Popen([sys.executable, "-m", "kinetra_tools", *command, "-o", str(target)],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                               stdin=subprocess.DEVNULL,
                               preexec_fn=lambda: signal.signal(number, signal.SIG_DFL))
    deadline = time.monotonic() + 60
    started = []
    while time.monotonic() < deadline and process.poll() is None:
        # Writing has begun once the temporary file beside the target holds something.
        partial = [name for name in os.listdir(tmp_path) if ".part" in name]
        if partial and os.path.getsize(tmp_path / partial[0]) > 0:
            started = children(process.pid)
            if started or command[0] != "render":
                break
        time.sleep(0.05)
    assert process.poll() is None and (started or command[0] != "render"), "writing did not start"
    process.send_signal(number)
    out, err = process.communicate(timeout=60)
    assert process.returncode == 128 + number, err
    assert err == f"kinetra {command[0]}: stopped by {signal.Signals(number).name}\n"
    assert os.listdir(tmp_path) == [target.name] and target.read_bytes() == b"the old file"
    for pid in started:
        assert not os.path.exists(f"/proc/{pid}"), "ffmpeg still running"
