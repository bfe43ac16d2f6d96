"""Live clocks: fixed tempo, tap tempo and MIDI clock (fed synthetic message streams)."""
import math
import random
import sys
import time
from types import SimpleNamespace

import pytest

from kinetra_tools.live import LiveClock, LiveReading
from kinetra_tools.live.fixed import FixedClock
from kinetra_tools.live.midi import PIPS_PER_TICK, MidiClock, MidiClockFollower, find_port, tick_pip
from kinetra_tools.live.tap import TapClock

T0 = 1000.0  # a moment on the monotonic clock


def message(kind, **fields):
    return SimpleNamespace(type=kind, **fields)


@pytest.mark.parametrize("clock", [FixedClock(120, T0), TapClock(), MidiClockFollower()])
def test_every_clock_is_a_live_clock(clock):
    assert isinstance(clock, LiveClock)
    assert isinstance(clock.reading(T0), LiveReading)


@pytest.mark.parametrize(
    "bpm, seconds, pip",
    [
        (120, 0, 0),
        (120, 1 / 128, 1),  # on a pip boundary: the new pip
        (120, 1 / 128 - 1e-9, 0),
        (120, -1 / 256, -1),  # before the start: negative pips
        (174, 3600, 668_160),  # an hour in: no drift
        ("97.5", 10, 1040),
    ],
)
def test_fixed_clock_counts_pips_from_its_start(bpm, seconds, pip):
    assert FixedClock(bpm, T0).reading(T0 + seconds) == (pip, float(bpm), True)


# -- tap tempo ------------------------------------------------------------------


def tapped(times, bpm=120):
    clock = TapClock(bpm)
    for t in times:
        clock.tap(T0 + t)
    return clock


def test_tap_clock_waits_for_the_first_tap_then_plays_at_its_tempo():
    clock = TapClock(100)
    assert clock.reading(T0) == (0, 100.0, False)
    clock.tap(T0)
    assert clock.reading(T0) == (0, 100.0, True)
    assert clock.reading(T0 + 0.6).pip == 64  # 100 BPM until a second tap
    clock.tap(T0 + 0.5)
    assert clock.bpm == pytest.approx(120)
    assert clock.reading(T0 + 0.75).pip == 64 + 32  # phase from the last tap


@pytest.mark.parametrize("sloppy", [0, 1, 2, 3])
def test_tap_tempo_settles_within_four_taps_despite_a_sloppy_one(sloppy):
    times = [0.5 * i for i in range(4)]
    times[sloppy] += 0.04  # 40 ms off at 120 BPM
    clock = tapped(times)
    # the median of pairwise tempos barely feels one stray tap
    assert clock.bpm == pytest.approx(120, rel=0.015 if sloppy in (0, 3) else 1e-9)
    # phase from the last tap: beat 3 starts there
    assert clock.reading(T0 + times[3]).pip == 3 * 64
    more = tapped(times + [2.0, 2.5])
    assert more.bpm == pytest.approx(120)


@pytest.mark.parametrize("new_bpm", [90, 160, 60])
def test_tap_tempo_follows_a_new_tempo_from_its_second_tap(new_bpm):
    times = [0.5 * i for i in range(8)]
    period = 60 / new_bpm
    times += [times[-1] + period * (i + 1) for i in range(2)]
    clock = tapped(times)
    assert clock.bpm == pytest.approx(new_bpm)
    assert clock.reading(T0 + times[-1]).pip == 9 * 64  # each tap a beat


def test_tap_after_a_pause_lands_on_the_running_beat():
    clock = tapped([0, 0.5, 1.0, 1.5])  # beat 3 at 1.5 s, 120 BPM
    clock.tap(T0 + 1.5 + 1.9)  # 3.8 beats later: a new run, on beat 7
    assert clock.reading(T0 + 3.4).pip == 7 * 64
    assert clock.bpm == pytest.approx(120)  # kept until the run's second tap
    clock.tap(T0 + 3.4 + 0.4)
    assert clock.bpm == pytest.approx(150)
    assert clock.reading(T0 + 3.8).pip == 8 * 64


# -- MIDI clock -----------------------------------------------------------------


def ticks(clock, first, count, period, start=0.0, jitter=0.0, rng=None):
    """Feed `count` clock ticks at start + k * period (k from `first`), each off by up to ±jitter."""
    for k in range(first, first + count):
        t = start + k * period + (rng.uniform(-jitter, jitter) if jitter else 0.0)
        clock.feed(T0 + t, message("clock"))
    return start + (first + count - 1) * period  # when the last one was due


def tick_period(bpm):
    return 60 / (bpm * 24)


def test_one_tick_is_eight_thirds_of_a_pip_exactly():
    assert PIPS_PER_TICK == pytest.approx(8 / 3) and PIPS_PER_TICK.denominator == 3
    assert [tick_pip(k) for k in range(7)] == [0, 2, 5, 8, 10, 13, 16]
    assert tick_pip(24 * 1000) == 64_000


def test_midi_clock_counts_ticks_to_pips_without_drift():
    clock = MidiClockFollower()
    period = tick_period(174)
    clock.feed(T0 - 0.001, message("start"))
    assert clock.reading(T0) == (0, 120.0, True)  # started, waiting for the first tick
    ticks(clock, 0, 3, period)
    for k in range(3, 24 * 500):  # 500 beats, every tick exactly on time
        clock.feed(T0 + k * period, message("clock"))
        if k % 97 == 0:
            assert clock.reading(T0 + k * period).pip == tick_pip(k)
            # between ticks: moving at the tempo, short of the next tick
            assert clock.reading(T0 + (k + 0.5) * period).pip == math.floor((k + 0.5) * 8 / 3)
    assert clock.bpm == pytest.approx(174)
    last = 24 * 500 - 1
    assert clock.reading(T0 + last * period).pip == tick_pip(last) == 31_997


def test_midi_clock_stop_holds_continue_resumes_start_restarts():
    clock = MidiClockFollower()
    period = tick_period(120)
    clock.feed(T0, message("start"))
    end = ticks(clock, 0, 48, period)  # two beats: ticks 0 .. 47
    held = clock.reading(T0 + end + period / 2)
    clock.feed(T0 + end + period / 2, message("stop"))
    for later in (0.001, 5.0):
        assert clock.reading(T0 + end + later) == (held.pip, pytest.approx(120), False)
    # ticks while stopped keep the tempo fresh but do not move
    ticks(clock, 48, 24, tick_period(100), start=end + 0.5)
    assert clock.reading(T0 + 100).pip == held.pip and clock.bpm == pytest.approx(100)
    clock.feed(T0 + 200, message("continue"))
    assert clock.reading(T0 + 200.001).pip == held.pip  # until the next tick
    ticks(clock, 0, 24, tick_period(100), start=200.01)
    assert clock.reading(T0 + 200.01 + 23 * tick_period(100)).pip == tick_pip(48 + 23)
    clock.feed(T0 + 300, message("start"))
    assert clock.reading(T0 + 300.001) == (0, pytest.approx(100), True)
    ticks(clock, 0, 2, period, start=300.01)
    assert clock.reading(T0 + 300.01 + period).pip == tick_pip(1)


def test_song_position_pointer_sets_where_continue_resumes():
    clock = MidiClockFollower()
    clock.feed(T0, message("songpos", pos=37))  # 37 sixteenths: 6 * 37 ticks
    assert clock.reading(T0) == (37 * 16, 120.0, False)
    clock.feed(T0 + 1, message("continue"))
    period = tick_period(140)
    ticks(clock, 0, 30, period, start=1.01)
    assert clock.reading(T0 + 1.01 + 29 * period) == (tick_pip(37 * 6 + 29), pytest.approx(140), True)


def test_midi_clock_that_goes_quiet_holds_its_pip():
    clock = MidiClockFollower()
    clock.feed(T0, message("start"))
    period = tick_period(120)
    end = ticks(clock, 0, 100, period)
    quiet = [clock.reading(T0 + end + s).pip for s in (0.5, 1, 10)]
    assert quiet == [tick_pip(100)] * 3  # never past the tick that did not come
    # ticks again after the silence: on from there, no leap
    ticks(clock, 0, 24, period, start=end + 20)
    assert clock.reading(T0 + end + 20 + 23 * period).pip == tick_pip(100 + 23)


def true_pip(t, steps):
    """The exact pip at t of a clock whose tempo changes at (time, bpm) steps, from pip 0 at 0."""
    position, (since, bpm) = 0.0, steps[0]
    for at, next_bpm in steps[1:]:
        if t < at:
            break
        position += (at - since) * bpm * 64 / 60
        since, bpm = at, next_bpm
    return position + (t - since) * bpm * 64 / 60


def jittered_run(steps, seconds, jitter, seed):
    """A MIDI clock following a tempo map with ±jitter on every tick; yields (t, error in pips)."""
    rng = random.Random(seed)
    clock = MidiClockFollower()
    clock.feed(T0 - 0.01, message("start"))
    # tick k is due when the tempo map reaches k * 8/3 pips
    k, t, errors = 0, 0.0, []
    step = 1e-4
    probe = rng.uniform(0, 0.01)
    while t < seconds:
        while true_pip(t, steps) >= k * 8 / 3:
            clock.feed(T0 + t + rng.uniform(-jitter, jitter), message("clock"))
            k += 1
        if t >= probe:
            reading = clock.reading(T0 + t)
            errors.append((t, reading.pip - math.floor(true_pip(t, steps))))
            probe += rng.uniform(0.002, 0.01)
        t += step
    return errors


def test_midi_clock_smooths_jitter_to_within_a_pip():
    errors = jittered_run([(0, 174)], 6, 0.002, seed=5)
    settled = [e for t, e in errors if t > 60 / 174]  # after the first beat
    assert max(abs(e) for e in settled) <= 1


@pytest.mark.parametrize("before, after", [(174, 140), (120, 174)])
def test_midi_clock_settles_within_a_beat_after_a_tempo_step(before, after):
    change = 3.0
    errors = jittered_run([(0, before), (change, after)], change + 3, 0.002, seed=7)
    beat = 60 / after
    assert max(abs(e) for t, e in errors if change + beat <= t) <= 1
    assert max(abs(e) for t, e in errors if 1 <= t < change) <= 1


@pytest.mark.parametrize(
    "wanted, names, found",
    [
        ("Midi Through:Midi Through Port-0 14:0", ["Midi Through:Midi Through Port-0 14:0"], None),
        ("through", ["Midi Through:Midi Through Port-0 14:0", "Synth:In 20:0"], "Midi Through:Midi Through Port-0 14:0"),
        ("nope", ["Synth:In 20:0"], "no MIDI input port 'nope' (ports: 'Synth:In 20:0')"),
        ("in", ["Synth:In 20:0", "Drums:In 24:0"], "MIDI input port 'in' is ambiguous: it fits 'Synth:In 20:0', 'Drums:In 24:0'"),
        ("x", [], "no MIDI input port 'x': the machine has no MIDI input ports"),
    ],
)
def test_midi_port_names(wanted, names, found):
    if found is None or not found.startswith(("no ", "MIDI")):
        assert find_port(wanted, names) == (found or wanted)
    else:
        with pytest.raises(ValueError, match="^" + __import__("re").escape(found) + "$"):
            find_port(wanted, names)


def test_midi_clock_reads_a_port_through_mido(monkeypatch):
    opened = {}

    class Port:
        def close(self):
            opened["closed"] = True

    def open_input(name, callback):
        opened.update(name=name, callback=callback)
        return Port()

    names = ["Midi Through:Midi Through Port-0 14:0", "Drums:Out 20:0"]
    monkeypatch.setitem(sys.modules, "mido", SimpleNamespace(get_input_names=lambda: names, open_input=open_input))
    monkeypatch.setitem(sys.modules, "rtmidi", SimpleNamespace())
    clock = MidiClock("drums")
    assert (opened["name"], clock.port_name) == ("Drums:Out 20:0", "Drums:Out 20:0")
    receive = opened["callback"]
    receive(message("songpos", pos=4))
    receive(message("continue"))
    for _ in range(3):
        receive(message("clock"))
    pip, _, playing = clock.reading(time.monotonic())
    assert playing and tick_pip(4 * 6 + 2) <= pip <= tick_pip(4 * 6 + 3)
    clock.close()
    assert opened["closed"]
