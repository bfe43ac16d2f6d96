"""OSC output end to end: bundles to a receiver on 127.0.0.1, one per frame, in order."""
import math
import socket
import struct
import time
from fractions import Fraction

import pytest

import kinetra
from kinetra_tools.live.fixed import FixedClock
from kinetra_tools.live import LiveReading
from kinetra_tools.live.loop import LiveFrame, LiveLoop
from kinetra_tools.live.osc import OscOutput, OscSender, parse_target
from kinetra_tools.sources import DefaultPattern
from stand_ins import value_error

NAMES = ["circle", "figure_eight", "path_woven_3d"]
NTP_EPOCH = 2_208_988_800  # seconds from 1900 to 1970


def f32(value):
    return struct.unpack(">f", struct.pack(">f", value))[0]


def expected_messages(pip, beat=None, bar=None):
    out = [(f"/kinetra/{name}", "ifff", [pip, *map(f32, kinetra.sample(name, pip).as_tuple())]) for name in NAMES]
    if beat is not None:
        out.append(("/kinetra/beat", "i", [beat]))
    if bar is not None:
        out.append(("/kinetra/bar", "i", [bar]))
    return out


class Record:
    def __init__(self):
        self.frames = []

    def send(self, frame):
        self.frames.append(frame)

    def close(self):
        pass


def play(port, seconds, *, bpm=174, fps=60, latency=0.0, beats=False):
    """Run the live loop to OSC on 127.0.0.1:port; the frames it made."""
    pytest.importorskip("pyliblo3")
    record = Record()
    osc = OscOutput(OscSender(f"127.0.0.1:{port}"), NAMES, beats=beats, timetags=latency > 0)
    start = time.monotonic() + 0.1
    loop = LiveLoop(FixedClock(bpm, start), [DefaultPattern(n) for n in NAMES], [osc, record], fps, latency)
    stats = loop.run(seconds, start)
    # a busy machine (or a sanitizer build) may drop frames; every frame sent must arrive
    assert stats.frames == len(record.frames) > 10
    assert stats.frames + stats.dropped == math.ceil(Fraction(seconds) * fps)
    return record.frames, start


def test_a_liblo_server_receives_every_frame_in_order():
    liblo = pytest.importorskip("pyliblo3")
    server = liblo.Server()
    got = []
    server.add_method(None, None, lambda path, args, types, src: got.append((path, types, args)))
    try:
        frames, _ = play(server.port, "0.75", bpm=240, fps=64, beats=True)
        deadline = time.monotonic() + 2
        while len(got) < len(frames) * len(NAMES) and time.monotonic() < deadline:
            server.recv(20)
        while server.recv(0):
            pass
    finally:
        server.free()
    expected, last = [], None
    for frame in frames:
        pip = frame.reading.pip
        # 4 pips a frame: a beat starts on a frame, or on the next one sent if that one was
        # dropped; a run whose first frame was dropped starts with the beat after
        beat = pip // 64 if (pip % 64 == 0 if last is None else pip // 64 > last) else None
        last = pip // 64
        expected += expected_messages(pip, beat, beat // 4 if beat is not None and beat % 4 == 0 else None)
    assert got == expected
    assert [f.reading.pip for f in frames] == [4 * f.frame for f in frames]


def parse_bundle(data):
    """(timetag as (seconds, fraction), [(path, types, args)]) of one OSC bundle."""
    assert data[:8] == b"#bundle\0"
    seconds, fraction = struct.unpack(">II", data[8:16])
    messages, at = [], 16
    while at < len(data):
        (size,) = struct.unpack(">i", data[at:at + 4])
        messages.append(parse_message(data[at + 4:at + 4 + size]))
        at += 4 + size
    return (seconds, fraction), messages


def osc_string(data, at):
    end = data.index(b"\0", at)
    return data[at:end].decode(), (end + 4) & ~3


def parse_message(data):
    path, at = osc_string(data, 0)
    types, at = osc_string(data, at)
    args = []
    for kind in types[1:]:
        args.append(struct.unpack(">" + kind, data[at:at + 4])[0])
        at += 4
    assert at == len(data)
    return path, types[1:], args


@pytest.fixture
def receiver():
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("127.0.0.1", 0))
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 20)
    yield sock
    sock.close()


def received(sock, count):
    """The next `count` datagrams."""
    sock.settimeout(2)
    return [sock.recv(65536) for _ in range(count)]


def wall_offset():
    """time.time() - time.monotonic(), read where no preemption came between the two clocks."""
    reads = []
    for _ in range(20):
        before, wall, after = time.monotonic(), time.time(), time.monotonic()
        reads.append((after - before, wall - (before + after) / 2))
    return min(reads)[1]


@pytest.mark.parametrize("latency", [0.0, 0.2])
def test_one_bundle_a_frame_timetagged_with_when_it_applies(receiver, latency):
    frames, start = play(receiver.getsockname()[1], "0.5", latency=latency)
    bundles = [parse_bundle(data) for data in received(receiver, len(frames))]
    wall = wall_offset()
    for frame, (tag, messages) in zip(frames, bundles):
        # the pip of the moment the frame applies, sampled then
        assert frame.reading == FixedClock(174, start).reading(frame.due + latency)
        assert messages == expected_messages(frame.reading.pip)
        if latency == 0:
            assert tag == (0, 1)  # "immediately"
        else:
            applies = tag[0] - NTP_EPOCH + tag[1] / 2**32
            assert applies == pytest.approx(frame.at + wall, abs=0.005)  # the wall-clock moment
            assert applies == pytest.approx(frame.due + latency + wall, abs=0.005)
    if latency:
        tags = [tag[0] + tag[1] / 2**32 for tag, _ in bundles]
        steps = [b.frame - a.frame for a, b in zip(frames, frames[1:])]
        assert all(abs(b - a - step / 60) < 0.001 for a, b, step in zip(tags, tags[1:], steps))


def test_the_sender_alone_for_a_users_own_loop(receiver):
    pytest.importorskip("pyliblo3")
    sender = OscSender(("127.0.0.1", receiver.getsockname()[1]))
    clock = FixedClock(120)
    pip = clock.reading(time.monotonic()).pip
    sender.send(pip, {"mine": (0.5, -0.25, 1.0)}, beat=3)
    sender.send(pip + 1, [("a", (0.0, 0.0, 0.0)), ("b", (1.0, 1.0, 1.0))], at=time.monotonic() + 1)
    first, second = received(receiver, 2)
    assert parse_bundle(first) == ((0, 1), [("/kinetra/mine", "ifff", [pip, 0.5, -0.25, 1.0]),
                                            ("/kinetra/beat", "i", [3])])
    tag, messages = parse_bundle(second)
    assert [m[0] for m in messages] == ["/kinetra/a", "/kinetra/b"] and tag[0] > NTP_EPOCH
    with value_error("pip does not fit in an OSC int32: 2147483648"):
        sender.send(2**31, {"a": (0.0, 0.0, 0.0)})


@pytest.mark.parametrize(
    "text, parsed",
    [("127.0.0.1:9000", ("127.0.0.1", 9000)), ("localhost:1", ("localhost", 1)),
     ("[::1]:65535", ("::1", 65535)), (" host.example:57120 ", ("host.example", 57120))],
)
def test_osc_targets(text, parsed):
    assert parse_target(text) == parsed


@pytest.mark.parametrize(
    "text, message",
    [
        ("localhost", "OSC address must be HOST:PORT: 'localhost'"),
        (":9000", "OSC address must be HOST:PORT: ':9000'"),
        ("::1:9000", "OSC address must be HOST:PORT: '::1:9000'"),
        ("host:port", "OSC address must be HOST:PORT: 'host:port'"),
        ("host:+80", "OSC address must be HOST:PORT: 'host:+80'"),
        ("my host:80", "OSC address must be HOST:PORT: 'my host:80'"),
        ("host:0", "OSC port must be 1 to 65535: 'host:0'"),
        ("host:65536", "OSC port must be 1 to 65535: 'host:65536'"),
    ],
)
def test_malformed_osc_targets(text, message):
    with value_error(message):
        parse_target(text)


def test_hosts_that_do_not_resolve_or_have_no_route(monkeypatch):
    def no_name(*args, **kwargs):
        raise socket.gaierror(socket.EAI_NONAME, "Name or service not known")

    monkeypatch.setattr(socket, "getaddrinfo", no_name)
    with value_error("cannot resolve OSC host 'nowhere': Name or service not known"):
        OscSender("nowhere:9000")
    monkeypatch.undo()

    class NoRoute(socket.socket):
        def connect(self, address):
            raise OSError(101, "Network is unreachable")

    monkeypatch.setattr(socket, "socket", NoRoute)
    with value_error("cannot reach OSC host 127.0.0.1:9000: Network is unreachable"):
        OscSender("127.0.0.1:9000")


def test_frames_that_cannot_be_sent_are_counted_and_the_run_goes_on():
    class NetworkDown:
        def send(self, *args):
            raise OSError(101, "Network is unreachable")

        def close(self):
            pass

    out = OscOutput(NetworkDown(), ["circle"])
    frame = LiveFrame(0, 0.0, 0.0, LiveReading(0, 120.0, True), ((0.0, 0.0, 0.0),))
    out.send(frame)
    out.send(frame)
    assert (out.failed, out.last_error) == (2, "Network is unreachable")


@pytest.mark.parametrize("latency", ["0", "150"])
def test_play_sends_the_first_beat_and_bar_whatever_its_latency(receiver, capsys, latency):
    pytest.importorskip("pyliblo3")
    from command_runner import run_command

    status, _, err = run_command(capsys, "play", *NAMES, "--bpm", 120, "--fps", 60, "--osc",
                                 f"127.0.0.1:{receiver.getsockname()[1]}", "--beats", "--latency", latency,
                                 "--seconds", "0.2")
    assert status == 0, err
    _, messages = parse_bundle(received(receiver, 1)[0])
    assert messages == expected_messages(0, beat=0, bar=0)

