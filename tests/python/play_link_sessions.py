"""kinetra play --link against a Link peer, run only inside a private network
namespace (test_play.py starts it): the pips sent over OSC follow the session's
beat and tempo, a tempo change reaches them, and --bpm proposes a tempo."""

import math
import os
import socket
import subprocess
import sys
import time

import pytest

from private_network import INSIDE

with open("/proc/self/net/dev") as _devices:
    _interfaces = {line.split(":")[0].strip() for line in _devices.readlines()[2:]}
if os.environ.get(INSIDE) != "1" or _interfaces != {"lo"}:
    pytest.skip("Link tests run only inside a private network namespace (test_play.py)",
                allow_module_level=True)

kinetra_link = pytest.importorskip("kinetra_link", reason="the Link bridge is not built here")
pytest.importorskip("pyliblo3")

QUANTUM = 4


@pytest.fixture
def peer():
    link = kinetra_link.Link(130)
    link.enable(True)
    time.sleep(1.0)  # the older session leads when kinetra joins
    yield link
    link.close()


@pytest.fixture
def receiver():
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("127.0.0.1", 0))
    sock.settimeout(20)
    yield sock
    sock.close()


def play(receiver, *args):
    return subprocess.Popen([sys.executable, "-m", "kinetra_tools", "play", "circle", "--link",
                             "--osc", f"127.0.0.1:{receiver.getsockname()[1]}", *args],
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def pip_of(data):
    """The pip of the first message of an OSC bundle (/kinetra/circle, pip first)."""
    at = 16 + 4 + len(b"/kinetra/circle\0\0\0\0,ifff\0\0\0")
    return int.from_bytes(data[at:at + 4], "big", signed=True)


def beat_gap(pip, beat):
    """How far a pip is from the session's beat, in beats."""
    return abs(pip / 64 - beat)


def test_pips_follow_the_session_beat_and_its_tempo_changes(peer, receiver):
    proc = play(receiver, "--seconds", "6")
    gaps, change = [], None
    try:
        while True:
            try:
                data = receiver.recv(65536)
            except socket.timeout:
                break
            now = time.monotonic()
            beat, _, tempo, *_ = peer.capture(peer.host_time_at(now), QUANTUM)
            gaps.append((now, beat_gap(pip_of(data), beat)))
            if change is None and len(gaps) == 180:  # three seconds in
                peer.propose_tempo(100, peer.host_time_at(now))
                change = now
            if proc.poll() is not None and len(gaps) > 300:
                break
    finally:
        out, err = proc.communicate(timeout=20)
    assert proc.returncode == 0, err
    assert change is not None
    # joined by the first second; after that in step, beat and phase, up to a frame's lateness
    settled = [gap for at, gap in gaps if at > gaps[0][0] + 1]
    assert len(settled) > 200
    assert max(settled) < 0.1 and sorted(settled)[len(settled) * 9 // 10] < 0.03
    lines = out.splitlines()
    assert "130.0 BPM" in lines[len(lines) // 4] and lines[-1].split(" BPM")[0].endswith("100.0")
    # the change reaches the pips within a frame or two
    after = [gap for at, gap in gaps if at > change + 0.05]
    assert after and max(after) < 0.1


def test_bpm_is_proposed_to_the_session(peer, receiver):
    proc = play(receiver, "--bpm", "90", "--seconds", "3")
    try:
        receiver.recv(65536)
        deadline = time.monotonic() + 10
        while abs(peer.capture(peer.clock_micros(), QUANTUM)[2] - 90) > 1e-3:
            assert time.monotonic() < deadline, "the session never took kinetra's 90 BPM"
            time.sleep(0.01)
    finally:
        out, err = proc.communicate(timeout=20)
    assert proc.returncode == 0, err
    assert out.splitlines()[-1].split(" BPM")[0].endswith("90.0")
