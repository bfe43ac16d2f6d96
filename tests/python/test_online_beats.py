"""Following a beat as it arrives: the forward filter, the follower's pips and bars, the listener."""

import json

import pytest

np = pytest.importorskip("numpy")

from kinetra_tools.analysis import network, online  # noqa: E402

FPS = 100.0


def pulse(spans, seconds, strength=0.9):
    """(frames, 2) activations of beats in ``spans``: (from s, to s, bpm, meter, first beat s)."""
    act = np.full((int(seconds * FPS), 2), 0.01)
    truth = []
    for lo, hi, bpm, meter, first in spans:
        at = first
        k = 0
        while at < hi:
            if at >= lo:
                f = int(round(at * FPS))
                act[f, 0] = strength
                if k % meter == 0:
                    act[f, 1] = strength * 0.9
                truth.append((at, k % meter == 0))
            at += 60.0 / bpm
            k += 1
    return act, truth


def run(act, **kw):
    follower = online.Follower(FPS, net=network.model(), **kw)
    pips, following = [], []
    for b, d in act:
        follower.step(float(b), float(d))
        pips.append(follower.pip)
        following.append(follower.following)
    return follower, np.asarray(pips), np.asarray(following)


def in_step(follower, pips, truth, after):
    """Per true beat from ``after`` s: whether the pip there is within 3 pips of a whole
    beat that starts a bar exactly when the true beat does."""
    out = []
    for at, down in truth:
        if at < after:
            continue
        pip = pips[int(round(at * FPS))]
        beat = round(pip / 64)
        out.append(abs(pip - 64 * beat) <= 3 and follower.bar_beat_first(beat) == down)
    return out


@pytest.mark.parametrize("bpm, meter", [(128.0, 4), (97.0, 3), (140.0, 4), (70.0, 3)])
def test_it_locks_within_seconds_and_puts_bars_on_the_downbeats(bpm, meter):
    act, truth = pulse([(0, 30, bpm, meter, 1.0)], 30)
    follower, pips, following = run(act)
    lock = np.flatnonzero(following)[0] / FPS
    assert lock <= 1.0 + 8 * 60 / bpm
    # The filter alone takes a few bars to tell three beats a bar from four (a listener's
    # vote places the bars sooner).
    assert all(in_step(follower, pips, truth, lock + 4 * meter * 60 / bpm))
    assert follower.meter == meter
    assert abs(follower.bpm - bpm) < 0.03 * bpm
    assert np.all(np.diff(pips) >= 0)


@pytest.mark.parametrize("again", [20.25, 20.0])  # at another phase, on the same grid
def test_it_holds_through_a_break_and_takes_the_beat_up_again(again):
    # Four bars of nothing, then the music again.
    act, truth = pulse([(0, 12, 120, 4, 0.5), (20, 40, 120, 4, again)], 40)
    follower, pips, following = run(act)
    assert np.all(np.diff(pips) >= 0)
    quiet = slice(int(15 * FPS), int(20 * FPS))
    assert not following[quiet].any() and np.ptp(pips[quiet]) == 0
    back = in_step(follower, pips, truth, 20.0)
    assert all(back[8:]) and back.index(True) <= 4
    assert abs(follower.bpm - 120) < 4  # the silence did not pull it to a slower tempo


def test_it_is_back_in_step_within_four_beats_of_a_tempo_step():
    act, truth = pulse([(0, 15, 100, 4, 0.5), (15, 35, 130, 4, 15.0)], 35)
    follower, pips, following = run(act)
    step = in_step(follower, pips, truth, 15.0)
    assert all(step[4:]) and abs(follower.bpm - 130) < 4
    assert np.all(np.diff(pips) >= 0)


def test_the_filter_moving_its_bar_over_a_steady_beat_moves_no_beat():
    # The filter's likeliest state changes its mind mid-beat about which beat of the bar
    # this is (1 -> 3), at the same phase: no beat has begun, so the pips go on evenly,
    # and the next bar starts where the filter now puts the downbeat (the bar that
    # was running, 20-21, has two beats).
    follower = online.Follower(FPS, net=network.model())
    period, frames = 50, []
    for f in range(40 * period):
        beat, into = divmod(f, period)
        frames.append(online.State(4, period, (beat + (2 if f >= 1025 else 0)) % 4, into, 0.9))
    script = iter(frames)
    now = []

    def step(beat, down):
        now[:] = [next(script)]
        return now[0]

    def nearest_beat():
        state = now[0]
        return 4, (state.beat + (state.into > period / 2)) % 4, 0.9

    follower.filter.step = step
    follower.filter.nearest_beat = nearest_beat
    pips = []
    for _ in frames:
        follower.step(0.9, 0.1)
        pips.append(follower.pip)
    assert np.allclose(np.diff(pips)[1:], 64 / period)
    assert pips[0] == 0 and [follower.bar_beat_first(b) for b in range(12, 36)] == \
        [b % 4 == (0 if b < 21 else 2) for b in range(12, 36)]


class TestBarVote:
    """The vote's word on the bars, with the offline model's activations made up: a beat
    every PERIOD frames, and the beats whose tick is 1 modulo 4 heard as downbeats."""

    PERIOD = 50

    def vote(self, monkeypatch, down=0.8, other=0.05, quiet_from=None):
        frames = int(online.WINDOW_SECONDS * FPS)
        act = np.full((frames, 2), 0.01)
        for f in range(0, frames, self.PERIOD):
            if quiet_from is None or f < quiet_from:
                act[f] = (0.9, down if (f // self.PERIOD) % 4 == 1 else other)
        monkeypatch.setattr(online.network, "activations", lambda features, net: act)
        vote = online.BarVote(FPS, (3, 4), {3: np.log(0.2), 4: np.log(0.8)}, net=network.model())
        vote.push(np.zeros((frames, 76), np.float32))
        beats = [online.Beat(f // self.PERIOD, f) for f in range(0, frames, self.PERIOD)]
        return vote, beats

    def test_it_finds_the_meter_and_the_first_beat(self, monkeypatch):
        vote, beats = self.vote(monkeypatch)
        assert vote.judge(beats) == (4, 1)
        vote.decided = (3, 0)
        assert vote.judge(beats) == (4, 1) == vote.decided
        # A beat is judged once the model hears music on both sides of it.
        end = len(beats) * self.PERIOD
        inside = [online.LEFT_SECONDS * FPS <= b.frame <= end - online.RIGHT_SECONDS * FPS for b in beats]
        assert [b.share is not None for b in beats] == inside and not all(inside)

    def test_a_reading_stays_unless_another_is_clearly_likelier(self, monkeypatch):
        vote, beats = self.vote(monkeypatch, down=0.12, other=0.1)
        assert vote.judge(beats) == (4, 1)           # its first word is taken as it is
        vote.decided = (4, 3)
        assert vote.judge(beats) == (4, 3)

    def test_it_has_no_say_until_it_heard_enough_beats(self, monkeypatch):
        vote, beats = self.vote(monkeypatch, quiet_from=0)   # where no beat is heard
        assert vote.judge(beats) is None and all(b.share is None for b in beats)
        vote, beats = self.vote(monkeypatch)
        assert vote.judge(beats[1:online.MIN_JUDGED]) is None


def test_a_vote_moves_the_coming_bars_in_the_follower_count():
    act, _ = pulse([(0, 12, 120, 4, 0.5)], 12)
    follower, pips, _ = run(act)
    later = range(round(pips[-1] / 64) + 5, round(pips[-1] / 64) + 13)  # past the bar running
    before = [b for b in later if follower.bar_beat_first(b)]
    meter, first = follower.reading
    follower.place_bars(4, (first + 1) % 4)
    assert meter == 4 and follower.reading == (4, (first + 1) % 4)
    assert [b for b in later if follower.bar_beat_first(b)] == [b + 1 for b in before]


def test_before_the_first_beat_is_followed_it_holds_or_runs_at_the_seed():
    act = np.full((300, 2), 0.3)           # music, but no beat in it
    _, held, _ = run(act)
    assert np.ptp(held) == 0
    _, seeded, _ = run(act, seed_bpm=90.0)
    assert seeded[-1] - seeded[0] == pytest.approx(64 * 90 / 60 * 299 / FPS)


def loop(tmp_path, bpm=120.0, seconds=24, rate=44100, meter=4):
    soundfile = pytest.importorskip("soundfile")
    import drum_clips

    beats = drum_clips.beat_times(bpm, seconds, start=0.5)
    path = tmp_path / "loop.wav"
    soundfile.write(str(path), drum_clips.render(beats, meter, rate), rate)
    return str(path), np.asarray(beats), drum_clips.render(beats, meter, rate)


def test_the_listener_hears_the_same_whatever_the_blocks(tmp_path):
    _, _, samples = loop(tmp_path, seconds=6, rate=48000)
    whole = online.Listener(48000).feed(samples)
    pieces = online.Listener(48000)
    cuts = [0, 1, 100, 1024, 1025, 7000, 50000, len(samples)]
    parts = [s for a, b in zip(cuts, cuts[1:]) for s in pieces.feed(samples[a:b])]
    assert len(whole) == len(parts) == pieces.frames
    # Where the filter is sure of the beat (before, near ties may fall either way).
    sure = [i for i, s in enumerate(whole) if s.sure >= online.LOCK]
    assert len(sure) > 100
    assert [whole[i][:4] for i in sure] == [parts[i][:4] for i in sure]
    np.testing.assert_allclose([s.sure for s in whole], [s.sure for s in parts], atol=1e-4)


def test_beats_online_prints_the_beats_followed(tmp_path, capsys):
    from command_runner import run_command

    path, beats, _ = loop(tmp_path, bpm=120.0, seconds=24)
    status, out, err = run_command(capsys, "beats", path, "--online")
    assert status == 0, err
    found = json.loads(out)
    assert found["meter"] == 4 and found["bpm"] == pytest.approx(120, rel=0.02)
    got = np.asarray(found["beats"])
    late = beats[beats > 8.0]
    assert np.mean([np.min(np.abs(got - t)) <= 0.03 for t in late]) >= 0.95
    # (It goes on for a while after the last note: the music might come back.)
    down = np.asarray(found["downbeats"])
    down = down[(down > 8.0) & (down < beats[-1] + 0.1)]
    assert len(down) >= 3 and all(np.min(np.abs(beats[::4] - t)) <= 0.03 for t in down)

    silent = tmp_path / "silent.wav"
    import soundfile

    soundfile.write(str(silent), np.zeros(44100 * 3, np.float32), 44100)
    status, out, err = run_command(capsys, "beats", str(silent), "--online")
    assert (status, out, err) == (2, "", f"kinetra beats: {silent}: is silent\n")


@pytest.mark.parametrize("rate", [48000, 32000, 44100, 8000])
def test_audio_reaches_the_analysis_rate_exactly_whatever_the_blocks(rate):
    from kinetra_tools.analysis.resample import Resampler

    t = np.arange(rate * 2) / rate
    tone = np.sin(2 * np.pi * 440 * t).astype(np.float32)
    whole = Resampler(rate, 11025).feed(tone)
    pieces = Resampler(rate, 11025)
    cuts = [0, 1, 2, 999, 1000, 7777, rate, len(tone)]
    parts = np.concatenate([pieces.feed(tone[a:b]) for a, b in zip(cuts, cuts[1:])])
    np.testing.assert_array_equal(whole, parts)
    assert 0 <= 2 * 11025 - len(whole) <= 30      # the low-pass holds back its last few
    # The tone at its time (a quarter of a sample off would be 0.06) and level.
    expected = np.sin(2 * np.pi * 440 * np.arange(len(whole)) / 11025)
    np.testing.assert_allclose(whole[100:-100], expected[100:-100], atol=0.1)
