"""Link sessions, run only inside a private network namespace (test_link.py starts it).

Two of kinetra's own bridges in one session, LinkClock against such a peer,
and LinkClock against Ableton's LinkHut (a real peer written elsewhere),
driven through its keys on a JACK server of the namespace's own.
"""

from __future__ import annotations

import math
import os
import re
import shutil
import subprocess
import sys
import threading
import time
from fractions import Fraction

import pytest

from private_network import PRIVATE_SHM, plain_env, skip_outside

skip_outside("test_link.py")

kinetra_link = pytest.importorskip("kinetra_link", reason="the Link bridge is not built here")

from kinetra_tools.live.link import LinkClock  # noqa: E402

QUANTUM = 4
BAR_PIPS = QUANTUM * 64


def wait_for(condition, what, timeout=5.0):
    """Poll ``condition`` until it returns something true; fail after ``timeout`` s."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            pytest.fail(f"timed out waiting for {what}")
        time.sleep(0.002)


def reading_where(clock, test, what, timeout=5.0):
    """The first reading of ``clock`` (now, polled) that passes ``test``."""
    def probe():
        reading = clock.reading(time.monotonic())
        return reading if test(reading) else None
    return wait_for(probe, what, timeout)


def phase_gap(a, b, quantum=QUANTUM):
    """How far apart two beats are in phase, in beats (0 .. quantum/2)."""
    gap = (a - b) % quantum
    return min(gap, quantum - gap)


@pytest.fixture
def links():
    made = []

    def make(bpm, sync=False):
        link = kinetra_link.Link(bpm)
        link.enable_start_stop_sync(sync)
        made.append(link)
        return link

    yield make
    for link in made:
        link.close()


def in_step(a, b, quantum=QUANTUM):
    """Whether two bridges agree on tempo and phase now."""
    now = a.clock_micros()
    beat_a, _, tempo_a, *_ = a.capture(now, quantum)
    beat_b, _, tempo_b, *_ = b.capture(now, quantum)
    return abs(tempo_a - tempo_b) < 1e-3 and phase_gap(beat_a, beat_b, quantum) < 1e-3


def join(a, b):
    """Enable both and wait until they are one session: peers, and in step (a
    peer that joins takes a moment to take on the session's timeline)."""
    a.enable(True)
    b.enable(True)
    wait_for(lambda: a.peers() == b.peers() == 1 and in_step(a, b), "the peers to meet")


# When two sessions meet, the one running longer wins (a session starts when
# Link is enabled); sessions started within half a second of each other are
# ordered by their random ids. A peer meant to lead is enabled well before that
# (the sessions' ages are measured over the network, and under the sanitizer's
# slowdown a one-second lead was once measured as no lead at all).
OLDER = 3.0


def leading(peer):
    peer.enable(True)
    time.sleep(OLDER)
    return peer


def follow(clock, peer, quantum=QUANTUM):
    """Wait until ``clock`` and ``peer`` see each other (each side counts the
    other only once it has heard the other's news) and are in step."""
    def in_step_now():
        at = time.monotonic()
        beat, _, tempo, *_ = peer.capture(peer.host_time_at(at), quantum)
        return (clock.peers == 1 and peer.peers() == 1 and abs(clock.reading(at).bpm - tempo) < 1e-3
                and phase_gap(clock.beat(at), beat, quantum) < 1e-3)
    wait_for(in_step_now, "kinetra to join the peer's session")


# ---- the bridge ---------------------------------------------------------------

def test_host_time_is_link_clock_and_converts_monotonic_seconds(links):
    link = links(120)
    raw = time.clock_gettime_ns(time.CLOCK_MONOTONIC_RAW) // 1000
    assert abs(link.clock_micros() - raw) < 20_000  # Link's clock on Linux
    mono, raw = time.monotonic(), time.clock_gettime_ns(time.CLOCK_MONOTONIC_RAW) / 1000
    at = mono + 0.25
    assert abs(link.host_time_at(at) - (raw + 250_000)) < 20_000
    assert abs(link.host_time_at(at + 1.5) - link.host_time_at(at) - 1_500_000) < 2_000


def test_two_bridges_share_tempo_and_phase_and_a_departed_peer_leaves_the_tempo(links):
    a, b = links(120), links(90)
    join(a, b)
    b.propose_tempo(150, b.clock_micros())
    wait_for(lambda: abs(a.capture(a.clock_micros(), QUANTUM)[2] - 150) < 1e-3, "150 BPM at a")
    now = a.clock_micros()
    beat_a, phase_a, _, _, _, _ = a.capture(now, QUANTUM)
    beat_b, phase_b, _, _, _, _ = b.capture(now, QUANTUM)
    assert phase_gap(beat_a, beat_b) < 1e-3 and phase_gap(phase_a, phase_b) < 1e-3
    assert 0 <= phase_a < QUANTUM and phase_gap(beat_a, phase_a) < 1e-6
    b.close()
    wait_for(lambda: a.peers() == 0, "b to leave")
    later = a.clock_micros() + 2_000_000
    beat, _, tempo, *_ = a.capture(later, QUANTUM)
    assert abs(tempo - 150) < 1e-3
    assert beat - beat_a == pytest.approx((later - now) / 1e6 * tempo / 60, abs=1e-3)


@pytest.mark.parametrize("sync_a", [True, False])
def test_start_and_stop_reach_only_peers_that_sync_them(links, sync_a):
    a, b = links(120, sync=sync_a), links(120, sync=True)
    join(a, b)
    b.set_playing(True, b.clock_micros())
    if sync_a:
        wait_for(lambda: a.capture(a.clock_micros(), QUANTUM)[3], "a to play")
        b.set_playing(False, b.clock_micros())
        wait_for(lambda: not a.capture(a.clock_micros(), QUANTUM)[3], "a to stop")
    else:
        time.sleep(0.3)
        assert not a.capture(a.clock_micros(), QUANTUM)[3]


def test_alone_a_requested_beat_lands_exactly_and_the_start_time_is_kept(links):
    link = links(100)
    start = link.clock_micros() + 500_000
    link.set_playing(True, start)
    link.request_beat(0.0, start, QUANTUM)
    beat, phase, tempo, playing, since, since_beat = link.capture(start + 600_000, QUANTUM)
    assert (playing, since) == (True, start) and since_beat == pytest.approx(0, abs=1e-6)
    assert beat == pytest.approx(1.0, abs=1e-5) and phase == pytest.approx(1.0, abs=1e-5)


@pytest.mark.parametrize("call, message", [
    (lambda: kinetra_link.Link(19.5), "Link tempo must be 20 to 999 BPM: 19.5"),
    (lambda: kinetra_link.Link(float("inf")), "Link tempo must be 20 to 999 BPM: inf"),
    (lambda: kinetra_link.Link(120).capture(0, 0.0), "Link quantum must be 1/64 to 4096 beats: 0"),
    (lambda: kinetra_link.Link(120).capture(1 << 60, 4.0), f"Link host time is out of range: {1 << 60}"),
    (lambda: kinetra_link.Link(120).propose_tempo(float("nan"), 0), "Link tempo must be 20 to 999 BPM: nan"),
    (lambda: kinetra_link.Link(120).request_beat(1e300, 0, 4.0), "Link beat is out of range: 1e+300"),
    (lambda: kinetra_link.Link(120).host_time_at(float("nan")), "monotonic time must be finite: nan"),
    (lambda: kinetra_link.Link(120).host_time_at(1e300), "monotonic time is out of range: 1e+300"),
])
def test_bridge_refuses_values_link_cannot_take(call, message):
    with pytest.raises(ValueError) as error:
        call()
    assert str(error.value) == message


def test_a_closed_bridge_refuses_every_call():
    link = kinetra_link.Link(120)
    link.enable(True)
    link.close()
    link.close()  # twice is fine
    assert link.closed
    for call in (link.peers, link.clock_micros, lambda: link.capture(0, 4.0), lambda: link.enable(True)):
        with pytest.raises(ValueError, match="^Link session is closed$"):
            call()


@pytest.mark.skipif(not hasattr(sys, "gettotalrefcount"),
                    reason="needs a debug interpreter (scripts/dev leaks)")
def test_bridge_calls_do_not_leak_references():
    # Every call on its success and failure paths, measured together (each
    # measurement costs seconds of garbage collection here); native leaks are
    # the sanitizer run's to find.
    from test_refleaks import baseline, call, growth

    link, closed = kinetra_link.Link(120), kinetra_link.Link(120)
    closed.close()
    with LinkClock(start_stop_sync=True) as clock:
        cases = [
            lambda: link.capture(link.host_time_at(time.monotonic()), 4.0),
            lambda: link.capture(0, 0.0),
            lambda: link.host_time_at(float("nan")),
            lambda: (link.propose_tempo(121.0, 0), link.set_playing(True, 0),
                     link.request_beat(1.0, 0, 4.0), link.peers(), link.enabled),
            closed.peers,
            lambda: clock.reading(time.monotonic()),
            lambda: clock.reading("now"),
        ]
        deltas = growth(lambda: [call(case) for case in cases])
    link.close()
    refs = [d[0] - b[0] for d, b in zip(deltas, baseline())]
    blocks = [d[1] - b[1] for d, b in zip(deltas, baseline())]
    assert min(refs) <= 0, f"references grow every round: {refs}"
    assert min(blocks) <= 0, f"memory blocks grow every round: {blocks}"


# ---- LinkClock against a peer of kinetra's own ----------------------------------

def pip_of(link, host):
    return math.floor(link.capture(host, QUANTUM)[0] * 64)


def test_clock_adopts_the_session_and_a_tempo_change_reaches_the_next_reading(links):
    peer = leading(links(97))
    with LinkClock() as clock:
        follow(clock, peer)
        assert abs(clock.reading(time.monotonic()).bpm - 97) < 1e-3
        peer.propose_tempo(171, peer.clock_micros())
        seen_new = 0
        end = time.monotonic() + 5
        while seen_new < 10 and time.monotonic() < end:  # one reading a frame
            at = time.monotonic()
            reading = clock.reading(at)
            host = peer.host_time_at(at)
            if abs(reading.bpm - 171) < 1e-3:
                seen_new += 1
                assert (reading.pip - pip_of(peer, host)) % BAR_PIPS in (0, 1, BAR_PIPS - 1)
            assert reading.playing
            time.sleep(1 / 60)
        assert seen_new == 10


def test_proposed_tempo_is_put_to_the_session_found(links):
    peer = leading(links(90))  # kinetra joins the peer's session, then proposes
    with LinkClock(bpm=133, quantum=3) as clock:
        follow(clock, peer, quantum=3)
        wait_for(lambda: abs(peer.capture(peer.clock_micros(), 3)[2] - 133) < 1e-3, "133 BPM at the peer")
        follow(clock, peer, quantum=3)


@pytest.mark.parametrize("sync", [True, False])
def test_transport_with_and_without_start_stop_sync(links, sync):
    peer = leading(links(240, sync=True))  # a quick bar: the start comes soon
    with LinkClock(start_stop_sync=sync) as clock:
        follow(clock, peer)
        first = clock.reading(time.monotonic())
        assert first.playing is not sync
        if sync:
            assert first.pip == 0  # never played: waits at the start
        # The peer starts a beat into a bar (clear of any bar start) and counts from the
        # next bar, as LinkHut does.
        now = peer.clock_micros()
        _, phase, tempo, *_ = peer.capture(now, QUANTUM)
        start = now + round(((1 - phase) % QUANTUM) * 60e6 / tempo)
        peer.set_playing(True, start)
        peer.request_beat(0.0, start, QUANTUM)
        if sync:
            def started(reading):  # until the start's bar: waiting at pip 0
                assert reading.playing or reading.pip == 0
                return reading.playing
            reading = reading_where(clock, started, "kinetra to play")
            # Counted from the same bar start as the peer's own beat 0.
            at = time.monotonic()
            assert abs(clock.beat(at) - peer.capture(peer.host_time_at(at), QUANTUM)[0]) < 1e-3
            assert reading.pip >= 0
            time.sleep(0.2)
        stop = peer.clock_micros()
        peer.set_playing(False, stop)
        if sync:
            stopped_at = math.floor(peer.capture(stop, QUANTUM)[0] * 64)
            held = reading_where(clock, lambda r: not r.playing, "kinetra to stop")
            assert abs(held.pip - stopped_at) <= 1 and held.pip > 0
            peer.propose_tempo(60, peer.clock_micros())  # must not move the held pip
            wait_for(lambda: abs(clock.reading(time.monotonic()).bpm - 60) < 1e-3, "60 BPM")
            after = clock.reading(time.monotonic())
            assert (after.pip, after.playing) == (held.pip, False)
        else:
            time.sleep(0.2)
            assert clock.reading(time.monotonic()).playing


def test_reading_takes_any_real_time_and_refuses_the_rest():
    with LinkClock(bpm=60) as clock:  # alone: pip 0 when it started, 64 a second
        at = time.monotonic() + 10
        # Each reading reads the clocks afresh: a microsecond apart at most.
        assert abs(clock.reading(Fraction(at)).pip - clock.reading(at).pip) <= 1
        assert abs(clock.reading(at + 1).pip - clock.reading(at).pip - 64) <= 1
        for at in (float("nan"), "1.0", None, True):
            with pytest.raises(ValueError, match="^time must be a finite number of seconds: "):
                clock.reading(at)


# ---- kinetra against Ableton's LinkHut ---------------------------------------

HUT_LINE = re.compile(
    r"(yes|no)\s*\|\s*(\d+)\s*\|\s*([\d.]+)\s*\|\s*(yes|no)\s*\[(playing|stopped)\]\s*\|"
    r"\s*([\d.]+)\s*\|\s*(-?[\d.]+)\s*\|")


class LinkHut:
    """LinkHut on a pipe: keys in, the state line it prints every 10 ms out."""

    def __init__(self, path):
        self.process = subprocess.Popen(
            [path], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
            env=plain_env(JACK_NO_START_SERVER="1"))
        self.lines = []  # (time.monotonic() when read, parsed state)
        self.text = b""
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        pending = b""
        while chunk := os.read(self.process.stdout.fileno(), 4096):
            now = time.monotonic()
            self.text = (self.text + chunk)[-4000:]
            *complete, pending = re.split(rb"[\r\n]", pending + chunk)
            states = [m.groups() for line in complete
                      if (m := HUT_LINE.search(line.decode(errors="replace")))]
            for number, (enabled, peers, quantum, sync, transport, tempo, beats) in enumerate(states):
                self.lines.append((now, number == len(states) - 1, dict(
                    enabled=enabled == "yes", peers=int(peers), sync=sync == "yes",
                    playing=transport == "playing", tempo=float(tempo), beats=float(beats))))

    def step_tempo(self, steps):
        """Move LinkHut's tempo by ``steps`` BPM, one key at a time (keys
        pressed within one audio period land as one step); the new tempo."""
        for _ in range(abs(steps)):
            tempo = self.state()["tempo"]
            self.press("e" if steps > 0 else "w")
            self.wait("a tempo step", tempo=tempo + (1 if steps > 0 else -1))
        return self.state()["tempo"]

    def press(self, keys):
        self.process.stdin.write(keys.encode())
        self.process.stdin.flush()

    def state(self):
        if self.process.poll() is not None:
            pytest.fail(f"LinkHut exited ({self.process.returncode}):\n{self.text.decode(errors='replace')}")
        return self.lines[-1][2] if self.lines else None

    def wait(self, what, **expected):
        return wait_for(lambda: (s := self.state()) and all(s[k] == v for k, v in expected.items()),
                        f"LinkHut to show {what}")

    def quit(self):
        if self.process.poll() is None:
            self.press("q")
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self._reader.join(timeout=5)


@pytest.fixture(scope="module")
def jack():
    jackd, hut = shutil.which("jackd"), shutil.which("LinkHut")
    if jackd is None or hut is None:
        pytest.skip("LinkHut (ableton-link-utils) or jackd (jackd2) is missing")
    if os.environ.get(PRIVATE_SHM) != "1":
        pytest.skip(f"no private /dev/shm for a JACK server: {os.environ.get(PRIVATE_SHM)}")
    server = subprocess.Popen([jackd, "-d", "dummy", "-r", "48000", "-p", "256"],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              env=plain_env(JACK_NO_AUDIO_RESERVATION="1"))
    try:
        wait_for(lambda: server.poll() is not None or any(
            name.startswith("jack_default_") for name in os.listdir("/dev/shm")), "JACK to start")
        if server.poll() is not None:
            pytest.fail(f"jackd exited:\n{server.stdout.read().decode(errors='replace')}")
        yield hut
    finally:
        server.terminate()
        server.wait(timeout=10)


@pytest.fixture
def linkhut(jack):
    hut = LinkHut(jack)
    hut.wait("its first state line")
    yield hut
    hut.quit()


def hut_beat_gaps(hut, clock, samples=20):
    """kinetra's beat less LinkHut's printed one, for the next ``samples`` lines
    that were the last of what LinkHut had written when read (earlier ones are
    older by the 10 ms LinkHut waits between lines). A line is read a little
    after it is printed (and rounded to 1/100 beat): the smallest gap is the
    honest one."""
    start = len(hut.lines)
    fresh = lambda: [(at, state) for at, last, state in hut.lines[start:] if last]  # noqa: E731
    wait_for(lambda: len(fresh()) >= samples, "LinkHut's lines")
    return [clock.beat(at) - state["beats"] for at, state in fresh()[:samples]]


def test_kinetra_follows_linkhut_tempo_beat_and_tempo_changes(linkhut):
    tempo = linkhut.step_tempo(+5)  # LinkHut's own tempo, before it joins
    linkhut.press("a")
    linkhut.wait("Link on", enabled=True)
    time.sleep(OLDER)  # LinkHut's session leads
    with LinkClock() as clock:
        linkhut.wait("kinetra as a peer", peers=1)
        wait_for(lambda: clock.peers == 1, "kinetra to see LinkHut")
        reading = reading_where(clock, lambda r: abs(r.bpm - tempo) < 0.01,
                                f"kinetra at LinkHut's {tempo} BPM")
        assert reading.playing
        # Beats agree in phase (each counts bars its own way).
        assert min(phase_gap(gap, 0) for gap in hut_beat_gaps(linkhut, clock)) < 0.05

        # A tempo change made in LinkHut reaches kinetra's pips.
        linkhut.press("e")
        linkhut.wait("the new tempo", tempo=tempo + 1)
        changed = reading_where(clock, lambda r: abs(r.bpm - tempo - 1) < 0.01,
                                "kinetra at the new tempo")
        later = time.monotonic() + 0.5
        assert clock.reading(later).pip - changed.pip == pytest.approx(0.5 * (tempo + 1) / 60 * 64, abs=1)
        assert min(phase_gap(gap, 0) for gap in hut_beat_gaps(linkhut, clock)) < 0.05

        # LinkHut leaves: its last tempo stays.
        linkhut.quit()
        wait_for(lambda: clock.peers == 0, "LinkHut to leave")
        assert abs(clock.reading(time.monotonic() + 1).bpm - (tempo + 1)) < 0.01


def test_linkhut_and_kinetra_share_start_stop_and_a_proposed_tempo(linkhut):
    linkhut.press("s")
    linkhut.wait("start/stop sync", sync=True)
    linkhut.press("a")
    linkhut.wait("Link on", enabled=True)
    with LinkClock(bpm=140, start_stop_sync=True) as clock:
        linkhut.wait("kinetra as a peer", peers=1)
        wait_for(lambda: clock.reading(time.monotonic()) and clock.peers == 1, "kinetra to join")
        linkhut.wait("kinetra's proposed tempo", tempo=140.0)
        stopped = clock.reading(time.monotonic())
        assert not stopped.playing and stopped.pip == 0

        linkhut.press(" ")  # LinkHut starts: kinetra counts the same beats as LinkHut
        linkhut.wait("playing", playing=True)
        wait_for(lambda: clock.reading(time.monotonic()).playing, "kinetra to play", timeout=5)
        wait_for(lambda: linkhut.state()["beats"] > 0.5, "LinkHut's first beat")
        assert min(abs(gap) for gap in hut_beat_gaps(linkhut, clock)) < 0.05

        linkhut.press(" ")  # and stops: kinetra holds its pip
        linkhut.wait("stopped", playing=False)
        held = reading_where(clock, lambda r: not r.playing, "kinetra to stop")
        time.sleep(0.2)
        assert clock.reading(time.monotonic()) == held and held.pip > 0

        clock.set_playing(True)  # kinetra starts the session: LinkHut follows
        linkhut.wait("playing again", playing=True)
