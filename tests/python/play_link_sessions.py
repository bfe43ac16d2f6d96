"""kinetra play --link against a Link peer, run only inside a private network
namespace (test_play.py starts it): the pips sent over OSC follow the session's
beat phase and tempo, a tempo change reaches them, and --bpm proposes a tempo."""

import math
import os
import socket
import subprocess
import sys
import time

import pytest

from private_network import skip_outside

skip_outside("test_play.py")

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


NTP_EPOCH = 2_208_988_800  # seconds from 1900 to 1970


def pip_and_moment(data):
    """The pip of the first message of an OSC bundle (/kinetra/circle, pip first)
    and the moment it applies: the bundle's timetag, on time.monotonic()."""
    at = 16 + 4 + len(b"/kinetra/circle\0" b",ifff\0\0\0")
    pip = int.from_bytes(data[at:at + 4], "big", signed=True)
    seconds, fraction = int.from_bytes(data[8:12], "big"), int.from_bytes(data[12:16], "big")
    wall = seconds - NTP_EPOCH + fraction / 2**32
    return pip, wall - (time.time() - time.monotonic())


def beat_gap(pip, beat):
    """How far a pip is from the session's beat in phase, in beats (peers share the
    phase within the quantum, not the count of bars)."""
    gap = (pip / 64 - beat) % QUANTUM
    return min(gap, QUANTUM - gap)


def test_pips_follow_the_session_beat_and_its_tempo_changes(peer, receiver):
    proc = play(receiver, "--seconds", "6", "--latency", "5")
    gaps, change = [], None
    try:
        while True:
            try:
                data = receiver.recv(65536)
            except socket.timeout:
                break
            pip, at = pip_and_moment(data)
            beat, _, tempo, *_ = peer.capture(peer.host_time_at(at), QUANTUM)
            gaps.append((at, beat_gap(pip, beat)))
            if change is None and len(gaps) == 180:  # three seconds in
                change = time.monotonic()
                peer.propose_tempo(100, peer.host_time_at(change))
            if proc.poll() is not None and len(gaps) > 300:
                break
    finally:
        out, err = proc.communicate(timeout=20)
    assert proc.returncode == 0, err
    assert change is not None
    # joined within the first second; from then on each frame's pip is the
    # session's at the moment the frame applies (the pip is a floor: up to 1/64 beat)
    pip = 1 / 64 + 0.002
    settled = [gap for at, gap in gaps if gaps[0][0] + 1 < at < change]
    assert len(settled) > 60 and max(settled) < pip
    # the tempo change reaches the pips within two frames
    after = [gap for at, gap in gaps if at > change + 2 / 60]
    assert len(after) > 60 and max(after) < pip
    lines = out.splitlines()
    assert "130.0 BPM" in lines[len(lines) // 4] and lines[-1].split(" BPM")[0].endswith("100.0")


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
