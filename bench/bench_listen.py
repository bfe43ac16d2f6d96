"""Following a beat live, measured offline: kinetra's listener beside aubio's causal tempo tracker.

Each clip of the held-out sets of `bench_beats.py` (style and freedoom, and the drum-score set) is
brought to 48 kHz and fed block by block (1024 samples, as a sound card's period would come) to
`kinetra_tools.analysis.online.Listener`, and to `aubio.tempo` hop by hop. At every true beat, the
pip each would show at that moment (from what it had heard until then, carried on at its tempo) is
compared with the truth:

- beat: from the music's first beat to the first true beat of four in a row that it follows (the
  pip within 70 ms of a whole beat); lock: the same with the bar's first beat on the true downbeat;
- phase error after lock: the pip's distance from the whole beat at each true beat, in ms (p95);
- level after lock: the share of true beats after lock within 17.5 % of a beat of a whole beat;
- a tempo step (clips tagged "step") and four bars of silence cut into every style clip: how many
  true beats after it until four in a row are followed again;
- CPU: process time of the listener per second of 48 kHz audio, as a share of one core.

aubio's clock is its last beat carried on at its tempo; it has no bars, so its lock asks only for
beats. Its beats are reported after the fact: kinetra's pips are those it would have shown then.

    scripts/dev train -- python3.14 bench/bench_listen.py [--groups style,freedoom,drums] [--limit N]
"""

import argparse
import math
import statistics
import sys
import time
from pathlib import Path

import numpy as np

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import bench_beats  # noqa: E402

RATE = 48000
BLOCK = 1024
TOLERANCE = 0.07
IN_A_ROW = 4
GOALS = "lock median <= 4 s, p95 <= 8 s; phase p95 <= 25 ms; level >= 0.9; back within 4 beats; CPU <= 10 %"


def to_48k(path):
    import soundfile

    data, rate = soundfile.read(path, dtype="float32", always_2d=True)
    mono = data.mean(axis=1)
    n = int(len(mono) * RATE / rate)
    return np.interp(np.arange(n) * (rate / RATE), np.arange(len(mono)), mono).astype(np.float32)


def silenced(samples, beats, downs):
    """The clip with four bars of silence from a downbeat about 40 % in; (samples, from, to) s."""
    later = [d for d in downs if d >= 0.4 * beats[-1]]
    if len(later) < 6:
        return None
    start, end = later[0], later[4]
    out = samples.copy()
    out[int(start * RATE):int(end * RATE)] = 0
    return out, start, end


class KinetraClock:
    def __init__(self):
        from kinetra_tools.analysis import online

        self.listener = online.Listener(RATE)
        self.heard = 0.0

    def feed(self, block):
        self.listener.feed(block)
        self.heard += len(block) / RATE

    def pip(self, at):
        """(pip shown at ``at`` s, whether a beat is followed, whether it starts a bar)."""
        listener = self.listener
        follower = listener.follower
        pip = follower.pip + follower.rate * listener.fps * (at - listener.followed_at)
        return pip, follower.following, follower.bar_beat_first(round(pip / 64))


class AubioClock:
    def __init__(self):
        import aubio

        self.tempo = aubio.tempo("default", 1024, 512, RATE)
        self.pending = np.zeros(0, dtype=np.float32)
        self.last = None
        self.count = 0
        self.period = None

    def feed(self, block):
        data = np.concatenate((self.pending, block))
        hops = len(data) // 512
        for k in range(hops):
            if self.tempo(data[k * 512:(k + 1) * 512]):
                self.last = self.tempo.get_last_s()
                self.count += 1
                bpm = self.tempo.get_bpm()
                self.period = 60.0 / bpm if bpm > 0 else None
        self.pending = data[hops * 512:]

    def pip(self, at):
        if self.last is None or not self.period:
            return 0.0, False, True
        return 64 * (self.count + (at - self.last) / self.period), True, True


def follow(clock_kind, samples, beats, downs):
    """Per true beat: (phase error in s or None, followed, bar right)."""
    clock = KinetraClock() if clock_kind == "kinetra" else AubioClock()
    results = []
    down = set(downs)
    at = 0
    started = time.process_time()
    k = 0
    for first in range(0, len(samples), BLOCK):
        block = samples[first:first + BLOCK]
        clock.feed(block)
        now = (first + len(block)) / RATE
        while k < len(beats) and beats[k] <= now:
            pip, following, bar = clock.pip(beats[k])
            ibi = (beats[min(k + 1, len(beats) - 1)] - beats[max(k - 1, 0)]) / 2 or 0.5
            err = (pip - 64 * round(pip / 64)) / 64 * ibi if following else None
            results.append((err, following, bar == (beats[k] in down) or clock_kind == "aubio", ibi))
            k += 1
        at = now
    cpu = time.process_time() - started
    return results, cpu / at


def in_step(r, bars=True):
    err, following, bar, _ = r
    return following and err is not None and abs(err) <= TOLERANCE and (bar or not bars)


def first_run(results, start=0, bars=True):
    """Index of the first true beat from ``start`` that begins IN_A_ROW followed ones (their
    bars right too, if ``bars``), or None."""
    row = 0
    for i in range(start, len(results)):
        row = row + 1 if in_step(results[i], bars) else 0
        if row == IN_A_ROW:
            return i - IN_A_ROW + 1
    return None


def clip_figures(results, beats):
    beat = first_run(results, bars=False)
    lock = first_run(results)
    if lock is None:
        return {"lock": math.inf, "beat": math.inf if beat is None else beats[beat] - beats[0],
                "phase": [], "level": 0.0}
    after = results[lock:]
    phase = [abs(r[0]) * 1000 for r in after if r[0] is not None]
    level = sum(1 for r in after if r[0] is not None and abs(r[0]) <= 0.175 * r[3]) / len(after)
    return {"lock": beats[lock] - beats[0], "beat": beats[beat] - beats[0], "phase": phase,
            "level": level}


def step_at(beats):
    ibi = np.diff(beats)
    change = np.flatnonzero(np.abs(np.diff(ibi)) > 0.08 * ibi[:-1])
    return int(change[0]) + 2 if len(change) else None


def pct(values, q):
    values = sorted(values)
    if not values:
        return math.nan
    return values[min(len(values) - 1, int(round(q * (len(values) - 1))))]


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--groups", default="style,freedoom,drums")
    parser.add_argument("--limit", type=int, default=None)
    parser.add_argument("--only", default=None)
    parser.add_argument("--seed", type=int, default=17)
    parser.add_argument("--jobs", type=int, default=None)
    parser.add_argument("--trackers", default="kinetra,aubio")
    args = parser.parse_args(argv)
    trackers = args.trackers.split(",")
    print(f"goals: {GOALS}")
    header = (f"{'group':10} {'tracker':8} {'n':>3}  {'beat med':>8} {'beat p95':>8}  "
              f"{'lock med':>8} {'lock p95':>8} {'locked':>6}  "
              f"{'phase p95 ms':>12}  {'level':>5}  {'step beats':>10}  {'gap beats':>9}  {'CPU %':>5}")
    print(header)
    for group, _, clips in bench_beats.groups(args):
        for name in trackers:
            locks, firsts, phases, levels, steps, gaps, cpus = [], [], [], [], [], [], []
            for clip in clips:
                beats, downs = bench_beats.read_truth(bench_beats.truth_path(clip))
                if len(beats) < 8:
                    continue
                samples = to_48k(clip["path"])
                results, cpu = follow(name, samples, beats, downs)
                cpus.append(cpu)
                fig = clip_figures(results, beats)
                locks.append(fig["lock"])
                firsts.append(fig["beat"])
                phases += fig["phase"]
                if fig["lock"] < math.inf:
                    levels.append(fig["level"])
                s = step_at(beats) if "step" in clip.get("tags", []) else None
                if s is not None:
                    back = first_run(results, s)
                    steps.append(math.inf if back is None else back - s)
                if group == "style":
                    cut = silenced(samples, beats, downs)
                    if cut is not None:
                        quiet, _, end = cut
                        results, _ = follow(name, quiet, beats, downs)
                        resume = next(i for i, b in enumerate(beats) if b >= end)
                        back = first_run(results, resume)
                        gaps.append(math.inf if back is None else back - resume)
            locked = sum(1 for x in locks if x < math.inf)
            print(f"{group:10} {name:8} {len(locks):3}  {statistics.median(firsts):8.2f} "
                  f"{pct(firsts, 0.95):8.2f}  {statistics.median(locks):8.2f} "
                  f"{pct(locks, 0.95):8.2f} {locked:3}/{len(locks):<3} {pct(phases, 0.95):12.1f}  "
                  f"{statistics.fmean(levels) if levels else math.nan:5.3f}  "
                  f"{(f'{statistics.median(steps):.0f} / {max(steps):.0f}' if steps else '-'):>10}  "
                  f"{(f'{statistics.median(gaps):.0f} / {max(gaps):.0f}' if gaps else '-'):>9}  "
                  f"{100 * statistics.fmean(cpus):5.2f}", flush=True)
    print("beat: s from the first true beat to the first of four in a row followed; lock: the same "
          "with their bars right too (aubio has no bars: its lock is its beat); inf: never. step and "
          "gap: median / worst true beats until four in a row (bars too) are followed again")
    return 0


if __name__ == "__main__":
    sys.exit(main())
