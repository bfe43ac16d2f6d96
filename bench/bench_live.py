"""How closely live output keeps time, and what it costs.

OSC: the live loop of `kinetra play` sends 8 patterns at 60 fps to a receiver
on 127.0.0.1 (another process, so its CPU time is not counted) for 60 s, at a
fixed tempo. Prints frames sent, dropped and received; the deviation of each
send from the moment its frame was due (p50, p99, max; goal: p99 <= 2 ms);
and the CPU time of the sending process as a share of one core (goal: <= 3 %).

With --realtime, the OSC run is repeated with the process on the real-time
round-robin scheduler (where permitted), which separates the loop's own
timing from the wait for a core on a busy machine.

MIDI clock: a synthetic clock at 174 BPM whose every tick arrives up to
+-2 ms off (uniform), read every millisecond for 60 s: the error of the pip
read against the true pip (goal: within 1 pip); then steps of tempo, and how
long after each step the error last exceeded 1 pip, in beats of the new tempo
(goal: within one beat). Several seeds each; the worst is printed.

    scripts/dev run -- python3 bench/bench_live.py [--seconds S]
"""

import argparse
import math
import os
import random
import resource
import socket
import statistics
import subprocess
import sys
import time
from types import SimpleNamespace

from kinetra_tools.live.fixed import FixedClock
from kinetra_tools.live.loop import LiveLoop
from kinetra_tools.live.midi import MidiClockFollower
from kinetra_tools.live.osc import OscOutput, OscSender
from kinetra_tools.sources import DefaultPattern

PATTERNS = ["circle", "figure_eight", "bounce", "single_paradiddle", "path_woven_3d",
            "lfo_triplet_wobble", "ease_elastic", "mech_scotch_yoke"]

RECEIVER = r"""
import socket, sys
sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sock.bind(("127.0.0.1", 0))
sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 22)
print(sock.getsockname()[1], flush=True)
count = 0
sock.settimeout(30)
try:
    while True:
        sock.settimeout(2 if count else 30)
        sock.recv(65536)
        count += 1
except socket.timeout:
    pass
print(count, flush=True)
"""


class Timed:
    """Wraps an output: notes how late each frame is handed to it."""

    def __init__(self, output):
        self.output = output
        self.late = []

    def send(self, frame):
        self.late.append(time.monotonic() - frame.due)
        self.output.send(frame)

    def close(self):
        self.output.close()


def percentile(values, q):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, math.ceil(q * len(ordered)) - 1)]


def realtime():
    """Put this process on the real-time round-robin scheduler, if allowed; whether it worked."""
    try:
        os.sched_setscheduler(0, os.SCHED_RR, os.sched_param(10))
        return True
    except (AttributeError, OSError):
        return False


def normal():
    os.sched_setscheduler(0, os.SCHED_OTHER, os.sched_param(0))


def bench_osc(seconds, fps=60, label=""):
    receiver = subprocess.Popen([sys.executable, "-c", RECEIVER], stdout=subprocess.PIPE, text=True)
    port = int(receiver.stdout.readline())
    sources = [DefaultPattern(name) for name in PATTERNS]
    osc = Timed(OscOutput(OscSender(f"127.0.0.1:{port}"), PATTERNS, beats=True))
    start = time.monotonic() + 0.2
    loop = LiveLoop(FixedClock(128, start), sources, [osc], fps)
    before = resource.getrusage(resource.RUSAGE_SELF)
    wall = time.monotonic()
    stats = loop.run(seconds, start)
    wall = time.monotonic() - wall
    after = resource.getrusage(resource.RUSAGE_SELF)
    received = int(receiver.communicate(timeout=60)[0])
    cpu = after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime
    late_ms = [1000 * x for x in osc.late]
    print(f"OSC, {len(PATTERNS)} patterns at {fps} fps for {seconds:g} s{label}:")
    print(f"  frames sent {stats.frames}, dropped {stats.dropped} (goal 0), received {received}")
    print(f"  send time after due: p50 {statistics.median(late_ms):.3f} ms, "
          f"p99 {percentile(late_ms, 0.99):.3f} ms (goal <= 2), max {max(late_ms):.3f} ms")
    print(f"  CPU {100 * cpu / wall:.2f} % of one core (goal <= 3), "
          f"{1e6 * cpu / max(1, stats.frames):.0f} us a frame")


def tempo_map(steps):
    """(position in ticks at t, time of tick k) for tempo steps [(t, bpm), ...] from tick 0 at 0."""
    spans = []  # (from time, from tick, ticks a second)
    tick = 0.0
    for i, (at, bpm) in enumerate(steps):
        if i:
            tick += (at - spans[-1][0]) * spans[-1][2]
        spans.append((at, tick, bpm * 24 / 60))

    def position(t):
        at, first, rate = next(s for s in reversed(spans) if s[0] <= t)
        return first + (t - at) * rate

    def time_of(k):
        at, first, rate = next(s for s in reversed(spans) if s[1] <= k)
        return at + (k - first) / rate

    return position, time_of


def midi_run(steps, seconds, jitter, seed):
    """(probe time, pip error) every millisecond of a jittered clock following `steps`."""
    rng = random.Random(seed)
    position, time_of = tempo_map(steps)
    clock = MidiClockFollower()
    clock.feed(-0.01, SimpleNamespace(type="start"))
    tick_message = SimpleNamespace(type="clock")
    errors = []
    k = 0
    arrival = time_of(0) + rng.uniform(-jitter, jitter)
    for ms in range(int(seconds * 1000)):
        t = ms / 1000
        while arrival <= t:
            clock.feed(arrival, tick_message)
            k += 1
            arrival = time_of(k) + rng.uniform(-jitter, jitter)
        errors.append((t, clock.reading(t).pip - math.floor(position(t) * 8 / 3)))
    return errors


def bench_midi(seconds, seeds=5, jitter=0.002):
    print(f"MIDI clock, ticks +-{jitter * 1000:g} ms off, read every ms ({seeds} seeds):")
    worst, within = 0, []
    for seed in range(seeds):
        errors = [e for t, e in midi_run([(0, 174)], seconds, jitter, seed) if t >= 60 / 174]
        worst = max(worst, max(abs(e) for e in errors))
        within.append(sum(abs(e) <= 1 for e in errors) / len(errors))
    print(f"  174 BPM for {seconds:g} s: largest pip error {worst} (goal <= 1), "
          f"reads within 1 pip {100 * min(within):.3f} %")
    for before, after in [(174, 140), (140, 174), (120, 174), (174, 180), (128, 126)]:
        change, settle = 4.0, 0.0
        for seed in range(seeds):
            errors = midi_run([(0, before), (change, after)], change + 4, jitter, seed)
            bad = [t for t, e in errors if t >= change and abs(e) > 1]
            if bad:
                settle = max(settle, (max(bad) - change) * after / 60)
        print(f"  step {before} -> {after} BPM: error above 1 pip until {settle:.2f} beats after it (goal <= 1)")
    clock = MidiClockFollower()
    clock.feed(0, SimpleNamespace(type="start"))
    tick = SimpleNamespace(type="clock")
    n = 20_000
    begin = time.perf_counter()
    for k in range(n):
        clock.feed(k / 69.6, tick)
    fed = time.perf_counter()
    for k in range(n):
        clock.reading(k / 69.6 + 0.003)
    read = time.perf_counter()
    print(f"  cost: {1e6 * (fed - begin) / n:.1f} us a tick, {1e6 * (read - fed) / n:.1f} us a reading")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=float, default=60, help="length of the OSC and MIDI runs (default 60)")
    parser.add_argument("--realtime", action="store_true",
                        help="run the OSC figures again on the real-time scheduler, where permitted: "
                             "on a busy machine, this shows how much of the lateness is waiting for a core")
    args = parser.parse_args()
    load = ", ".join(f"{x:.1f}" for x in os.getloadavg())
    print(f"machine: {os.cpu_count()} cores, load average {load} (timing suffers on a busy machine)")
    bench_osc(args.seconds)
    if args.realtime:
        if realtime():
            try:
                bench_osc(args.seconds, label=", real-time scheduling (SCHED_RR)")
            finally:
                normal()
        else:
            print("(real-time scheduling not permitted here: no second OSC run)")
    bench_midi(args.seconds)


if __name__ == "__main__":
    main()
