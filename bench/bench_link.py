"""How closely LinkClock keeps to an Ableton Link session while another peer changes the tempo.

Link finds peers by multicast on every interface, so the script first moves
itself into a private network namespace of its own (``unshare --net``, root
needed; loopback only, routing multicast). There a peer (a second Link
object, its session started first so that kinetra joins it) changes the tempo
every ``--every`` seconds to a new one between 80 and 180 BPM, and kinetra's
LinkClock is sampled about once a millisecond for ``--seconds``.

Each sample takes a moment on the monotonic clock and the same moment on
Link's host clock (CLOCK_MONOTONIC_RAW on Linux, read by the script itself,
not by the bridge), then compares kinetra's beat there with

- the session as kinetra's own Link object holds it: what LinkClock adds
  (the clock conversion, the quantum alignment) and nothing else;
- the session as the tempo-changing peer holds it: this also carries Link's
  own delivery of each change (it broadcasts at most every 50 ms), so it is
  shown apart for samples in the first 100 ms after a change.

Differences are in milliseconds of music at the tempo then (beats * 60000 /
bpm), phase against phase (each peer counts beats its own way in whole bars).
Also printed: how long after a change kinetra's pips follow it (agreement
within 1 ms again, in ms and in 60 fps frames) and what one reading costs.

    scripts/dev run -- python3 bench/bench_link.py [--seconds 30] [--every 2]
"""

import argparse
import math
import os
import random
import shutil
import statistics
import subprocess
import sys
import time

INSIDE = "KINETRA_PRIVATE_NETWORK"
QUANTUM = 4


def private_network(argv):
    """Re-run this script inside a private network namespace; return only inside it."""
    with open("/proc/self/net/dev") as devices:
        interfaces = {line.split(":")[0].strip() for line in devices.readlines()[2:]}
    if os.environ.get(INSIDE) == "1" and interfaces == {"lo"}:
        for step in (["link", "set", "lo", "up"], ["link", "set", "lo", "multicast", "on"],
                     ["route", "add", "224.0.0.0/4", "dev", "lo"]):
            subprocess.run(["ip", *step], check=True,
                           env={k: v for k, v in os.environ.items() if k != "LD_PRELOAD"})
        return
    if os.environ.get(INSIDE) == "1":
        sys.exit("bench_link: not in a private network namespace; Link is not started")
    unshare = shutil.which("unshare")
    if unshare is None:
        sys.exit("bench_link: unshare (util-linux) is needed for a private network namespace")
    env = dict(os.environ, **{INSIDE: "1"})
    os.execve(unshare, [unshare, "--net", "--", sys.executable, os.path.abspath(__file__), *argv], env)


def phase_ms(beat, other, bpm):
    gap = (beat - other) % QUANTUM
    return min(gap, QUANTUM - gap) * 60_000 / bpm


def now_both():
    """One moment as time.monotonic() seconds and as Link host microseconds."""
    before = time.monotonic_ns()
    raw = time.clock_gettime_ns(time.CLOCK_MONOTONIC_RAW)
    after = time.monotonic_ns()
    return (before + after) / 2e9, raw // 1000


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(p / 100 * len(ordered)))] if ordered else math.nan


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=30.0)
    parser.add_argument("--every", type=float, default=2.0, help="seconds between tempo changes")
    args = parser.parse_args(argv)
    private_network(argv)

    import kinetra_link
    from kinetra_tools.live.link import LinkClock

    peer = kinetra_link.Link(120.0)
    peer.enable(True)
    time.sleep(1.0)  # the older session leads when sessions meet
    clock = LinkClock()
    kinetra = clock._link  # kinetra's own Link object, for the first comparison
    end = time.monotonic() + 10
    while not (clock.peers == 1 and peer.peers() == 1):
        if time.monotonic() > end:
            sys.exit("bench_link: the peers did not meet")
        time.sleep(0.002)
    time.sleep(0.5)
    at, host = now_both()
    print(f"Link's host clock is CLOCK_MONOTONIC_RAW: |Link - raw| = "
          f"{abs(peer.clock_micros() - time.clock_gettime_ns(time.CLOCK_MONOTONIC_RAW) // 1000)} us; "
          f"CLOCK_MONOTONIC is {(at * 1e6 - host) / 1000:+.3f} ms from it here")

    tempos = random.Random(17)
    own, settled, fresh = [], [], []  # ms
    changes, follows = [], []  # (monotonic time of a change, tempo), seconds to follow
    pending = None
    reading_ns = []
    start = time.monotonic()
    next_change = start + args.every
    while (at := time.monotonic()) < start + args.seconds:
        if at >= next_change:
            bpm = round(tempos.uniform(80, 180), 2)
            peer.propose_tempo(bpm, peer.clock_micros())
            changes.append((time.monotonic(), bpm))
            pending = changes[-1]
            next_change += args.every
        at, host = now_both()
        t0 = time.perf_counter_ns()
        clock.reading(at)
        reading_ns.append(time.perf_counter_ns() - t0)
        beat = clock.beat(at)
        own_beat, _, own_bpm, *_ = kinetra.capture(host, QUANTUM)
        peer_beat, _, peer_bpm, *_ = peer.capture(host, QUANTUM)
        own.append(phase_ms(beat, own_beat, own_bpm))
        gap = phase_ms(beat, peer_beat, peer_bpm)
        since_change = at - changes[-1][0] if changes else math.inf
        (fresh if since_change < 0.1 else settled).append(gap)
        if pending is not None and gap <= 1.0 and abs(own_bpm - pending[1]) < 0.01:
            follows.append(at - pending[0])
            pending = None
        time.sleep(0.001)
    clock.close()
    peer.close()

    samples = len(own)
    print(f"{samples} samples over {args.seconds:g} s, {len(changes)} tempo changes (80..180 BPM), "
          f"quantum {QUANTUM}")
    print(f"kinetra vs the session as its Link holds it: p50 {percentile(own, 50) * 1000:.1f} us, "
          f"p99 {percentile(own, 99) * 1000:.1f} us, max {max(own) * 1000:.1f} us "
          f"(goal p99 <= 1 ms: {'met' if percentile(own, 99) <= 1 else 'MISSED'})")
    print(f"kinetra vs the tempo-changing peer, settled (>= 100 ms after a change): "
          f"p50 {percentile(settled, 50) * 1000:.1f} us, p99 {percentile(settled, 99) * 1000:.1f} us, "
          f"max {max(settled, default=math.nan):.3f} ms ({len(settled)} samples; "
          f"goal p99 <= 1 ms: {'met' if percentile(settled, 99) <= 1 else 'MISSED'})")
    everything = settled + fresh
    print(f"kinetra vs the tempo-changing peer, all samples: p99 {percentile(everything, 99):.3f} ms; "
          f"in the first 100 ms after a change: p50 {percentile(fresh, 50):.3f} ms, "
          f"max {max(fresh, default=math.nan):.3f} ms ({len(fresh)} samples)")
    if follows:
        ms = [s * 1000 for s in follows]
        print(f"a change reaches kinetra's pips (within 1 ms of the peer) after: median "
              f"{statistics.median(ms):.1f} ms, max {max(ms):.1f} ms = {max(ms) / (1000 / 60):.1f} frames "
              f"at 60 fps ({len(ms)} of {len(changes)} changes; Link broadcasts at most every 50 ms)")
    print(f"one reading costs {statistics.median(reading_ns) / 1000:.1f} us (median), "
          f"p99 {percentile(reading_ns, 99) / 1000:.1f} us")


if __name__ == "__main__":
    main(sys.argv[1:])
