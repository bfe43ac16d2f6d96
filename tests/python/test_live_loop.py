"""The live loop's frame scheduler (on a fake clock), beat starts and the per-beat lines."""
import io
from fractions import Fraction

import pytest

import kinetra
from kinetra_tools.live import LiveReading
from kinetra_tools.live.fixed import FixedClock
from kinetra_tools.live.loop import BeatWatch, LiveLoop
from kinetra_tools.live.terminal import TraceOutput, side_by_side
from kinetra_tools.sources import DefaultPattern

START = 500.0


class FakeTime:
    """A monotonic clock that moves only when slept on (or pushed)."""

    def __init__(self, now=START, oversleep=0.0, undersleep=0.0):
        self.now = now
        self.oversleep = oversleep
        self.undersleep = undersleep
        self.sleeps = []

    def monotonic(self):
        return self.now

    def sleep(self, seconds):
        assert seconds > 0 and len(self.sleeps) < 500_000
        self.sleeps.append(seconds)
        # an early wake-up leaves a little to sleep again, then it is on time
        self.now += (seconds - self.undersleep if seconds > 2 * self.undersleep else seconds) + self.oversleep


class Record:
    """An output that keeps every frame and the time it was handed over."""

    def __init__(self, time, on_frame=None):
        self.time = time
        self.frames = []
        self.sent = []
        self.on_frame = on_frame

    def send(self, frame):
        self.frames.append(frame)
        self.sent.append(self.time.now)
        if self.on_frame:
            self.on_frame(frame)

    def close(self):
        pass


class Recorder:
    """A clock that notes the moments it is asked about."""

    def __init__(self):
        self.asked = []

    def reading(self, at):
        self.asked.append(at)
        return LiveReading(len(self.asked) * 10, 120.0, True)

    def close(self):
        pass


def loop_with(fps, time, outputs, clock=None, latency=0.0, sources=()):
    return LiveLoop(clock or Recorder(), sources, outputs, fps, latency,
                    monotonic=time.monotonic, sleep=time.sleep)


@pytest.mark.parametrize("fps, seconds, frames", [(60, 1, 60), ("29.97", 1, 30), ("30000/1001", 2, 60), (24, "0.5", 12)])
def test_frames_are_due_at_start_plus_n_over_fps(fps, seconds, frames):
    time = FakeTime(now=START - 0.25)
    out = Record(time)
    stats = loop_with(fps, time, [out]).run(seconds, start=START)
    assert stats == (frames, 0)
    rate = Fraction(fps)
    assert [f.frame for f in out.frames] == list(range(frames))
    assert [f.due for f in out.frames] == [START + float(n / rate) for n in range(frames)]
    assert out.sent == [f.due for f in out.frames]  # handed over the moment they are due
    assert len(time.sleeps) == frames  # one sleep a frame: no busy-waiting


def test_long_runs_do_not_drift():
    # ten minutes at 29.97 fps: every frame due at exactly n / fps, none a step added up
    time = FakeTime()
    out = Record(time)
    loop_with("29.97", time, [out]).run(600, start=START)
    assert len(out.frames) == 17_982
    assert all(f.due == START + f.frame * 100 / 2997 for f in out.frames)
    assert START + 17_982 * 100 / 2997 == START + 600  # the next frame: exactly ten minutes on


def test_early_wakeups_sleep_again_and_never_send_early():
    time = FakeTime(undersleep=0.004)  # every sleep ends 4 ms short
    out = Record(time)
    loop_with(60, time, [out]).run(1, start=START)
    assert len(out.frames) == 60
    assert all(sent >= f.due for sent, f in zip(out.sent, out.frames))
    assert len(time.sleeps) > 60


def test_a_late_wakeup_skips_to_the_current_frame_and_counts_drops():
    time = FakeTime()

    def stall(frame):
        if frame.frame == 10:
            time.now += 3.5 / 60  # busy for three and a half frames

    out = Record(time, stall)
    stats = loop_with(60, time, [out]).run(1, start=START)
    numbers = [f.frame for f in out.frames]
    assert numbers[:12] == list(range(11)) + [13]  # 11 and 12 dropped, 13 sent late
    assert stats == (57, 3) or stats == (58, 2)
    assert stats.frames + stats.dropped == 60
    assert numbers == sorted(set(numbers)) and numbers[-1] == 59


def test_drops_at_the_end_of_a_run_stop_it():
    time = FakeTime()
    out = Record(time, lambda f: setattr(time, "now", time.now + 1.0) if f.frame == 55 else None)
    assert loop_with(60, time, [out]).run(1, start=START) == (56, 4)


def test_the_clock_is_read_when_the_frame_applies():
    time = FakeTime()
    clock = Recorder()
    out = Record(time)
    loop_with(50, time, [out], clock, latency=0.1).run("0.1", start=START)
    assert clock.asked == [START + n / 50 + 0.1 for n in range(5)]
    assert [f.at for f in out.frames] == clock.asked
    assert [f.reading.pip for f in out.frames] == [10, 20, 30, 40, 50]


def test_frames_carry_every_source_at_the_pip():
    time = FakeTime()
    out = Record(time)
    sources = [DefaultPattern("circle"), DefaultPattern("figure_eight")]
    loop_with(60, time, [out], FixedClock(97, START), sources=sources).run(1, start=START)
    for f in out.frames:
        assert f.reading == FixedClock(97, START).reading(f.due)
        assert f.points == tuple(kinetra.sample(s.name, f.reading.pip).as_tuple() for s in sources)


def test_pips_past_the_32_bit_range_sample_the_loop_nearer_home():
    time = FakeTime()
    out = Record(time)
    start = START - 2**31 / 128  # at 120 BPM, 2**31 pips ago: a run of 194 days
    loop_with(60, time, [out], FixedClock(120, start), sources=[DefaultPattern("figure_eight")]).run(1, start=START)
    assert out.frames[0].reading.pip == 2**31
    for f in out.frames:
        assert f.points == (kinetra.sample("figure_eight", f.reading.pip % 256).as_tuple(),)


def test_stop_and_interrupt_end_the_loop_after_the_frame():
    time = FakeTime()
    loop = loop_with(60, time, [])
    out = Record(time, lambda f: loop.stop() if f.frame == 7 else None)
    loop.outputs = (out,)
    assert loop.run() == (8, 0)  # no length: runs until stopped

    def interrupt(frame):
        if frame.frame == 3:
            raise KeyboardInterrupt

    loop = loop_with(60, time, [Record(time, interrupt)])
    with pytest.raises(KeyboardInterrupt):
        loop.run()
    assert loop.frames == 3


@pytest.mark.parametrize(
    "pips, starts",
    [
        ([0, 10, 63, 64, 65, 128], [0, None, None, 1, None, 2]),
        ([5, 70, 70, 70, 130], [None, 1, None, None, 2]),  # a held pip starts nothing
        ([300, 200, 250, 260], [None, None, None, 4]),  # a jump back starts nothing
        ([0, 700], [0, 10]),  # a leap starts only the last beat
        ([-64, -1, 0], [-1, None, 0]),
    ],
)
def test_beat_watch(pips, starts):
    watch = BeatWatch()
    assert [watch.starts(p) for p in pips] == starts


def test_off_a_terminal_the_trace_prints_a_line_per_beat():
    time = FakeTime()
    out = io.StringIO()
    trace = TraceOutput(out, ["circle", "bounce"])
    sources = [DefaultPattern("circle"), DefaultPattern("bounce")]
    loop_with(32, time, [trace], FixedClock(240, START), sources=sources).run("2.01", start=START)
    lines = out.getvalue().splitlines()
    assert [line.split(" pip ")[0] for line in lines] == ["1.1", "1.2", "1.3", "1.4", "2.1", "2.2", "2.3", "2.4", "3.1"]
    c, b = kinetra.sample("circle", 64), kinetra.sample("bounce", 64)
    assert lines[1] == (f"1.2 pip 64 240.0 BPM  circle x={c.x:+.3f} y={c.y:+.3f} z={c.z:+.3f}  "
                        f"bounce x={b.x:+.3f} y={b.y:+.3f} z={b.z:+.3f}")


def test_screens_sit_side_by_side_and_wrap():
    a, b, c = "ab\ncd", "efg", "h\ni\nj"
    assert side_by_side([a, b, c], 80) == "ab   efg  h\ncd        i\n          j"
    assert side_by_side([a, b, c], 8) == "ab   efg\ncd\nh\ni\nj"
