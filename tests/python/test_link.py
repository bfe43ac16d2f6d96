"""The Ableton Link clock: what needs no network here, the sessions inside a private one.

Everything that makes a Link object runs in link_sessions.py, inside a
private network namespace (see private_network.py): two of kinetra's own
bridges, and kinetra against Ableton's LinkHut on a JACK server.
"""

import os
import subprocess
import sys
import types

import pytest

from private_network import run_inside

from kinetra_tools.live import LiveClock
from kinetra_tools.live.link import LinkClock

HERE = os.path.dirname(os.path.abspath(__file__))


def test_sessions_in_a_private_network():
    run_inside(os.path.join(HERE, "link_sessions.py"))


def test_without_the_bridge_the_clock_says_how_to_get_it(monkeypatch):
    monkeypatch.setitem(sys.modules, "kinetra_link", None)  # import fails
    with pytest.raises(ValueError) as error:
        LinkClock()
    assert str(error.value) == ("Ableton Link support is not built: install Debian's "
                                "ableton-link-dev and libasio-dev and reinstall kinetra")


@pytest.mark.parametrize("arguments, message", [
    (dict(bpm=19.99), "Link tempo must be 20 to 999 BPM: 19.99"),
    (dict(bpm="1000"), "Link tempo must be 20 to 999 BPM: '1000'"),
    (dict(bpm=float("nan")), "BPM must be a finite number: 'nan'"),
    (dict(quantum=0), "quantum must be 1/64 to 4096 beats: 0"),
    (dict(quantum="1/128"), "quantum must be 1/64 to 4096 beats: '1/128'"),
    (dict(quantum=True), "quantum must be a number, not True"),
])
def test_bad_tempo_or_quantum_is_refused_before_joining(monkeypatch, arguments, message):
    def join(bpm):
        raise AssertionError("joined a session")

    # The bridge's own limits, and a join that must not happen.
    bridge = types.SimpleNamespace(MIN_TEMPO=20.0, MAX_TEMPO=999.0, MIN_QUANTUM=1 / 64, MAX_QUANTUM=4096.0,
                                   Link=join)
    monkeypatch.setitem(sys.modules, "kinetra_link", bridge)
    with pytest.raises(ValueError) as error:
        LinkClock(**arguments)
    assert str(error.value) == message


def test_link_clock_is_a_live_clock_and_kinetra_never_loads_the_bridge():
    assert issubclass(LinkClock, LiveClock)
    probe = ("import sys, kinetra, kinetra_tools, kinetra_tools.cli, kinetra_tools.live.link\n"
             "print('kinetra_link' in sys.modules)")
    result = subprocess.run([sys.executable, "-c", probe], capture_output=True, text=True, check=True)
    assert result.stdout.strip() == "False"
