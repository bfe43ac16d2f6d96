"""Beats and bars followed as the music arrives: forward filtering over the bar pointer.

The causal counterpart of ``barpointer``. The hidden state is (meter, tempo,
frames since the bar started); each frame the state moves one frame on, a bar
that ends starts the next one, and at every beat of a bar the tempo may move to
a neighbouring state (as in ``barpointer``, at the same cost, and weighed by
the same learned prior). A frame's activations weigh the states by how much
likelier the network finds a beat (or a downbeat) there than none, as the
offline decoder scores its beats. The filter keeps the probability of every
state given the frames so far, frame by frame (no look back), with a little of
it spread evenly each frame so that a new song, a jump of phase or a tempo step
larger than the neighbours is found again within a few beats.

``Filter.step`` gives, per frame, the likeliest state and how sure the filter
is of its phase: the share of the probability within a tenth of a beat of it,
at the same place in the bar.
"""

from __future__ import annotations

import math
from collections.abc import Callable
from typing import NamedTuple

import numpy as np

from ..beatmap import BeatMap
from ..timeline import Bars
from . import barpointer, network
from .spectrum import Spectrum, features_of

# Share of the probability spread evenly over all states each frame.
SPREAD = 1e-4
# A state is near the likeliest in phase within this share of a beat.
NEAR = 0.1


class State(NamedTuple):
    """The likeliest state at one frame."""

    meter: int
    period: int       # frames a beat at its tempo
    beat: int         # beats since the bar started (0 = the downbeat's)
    into: int         # frames since that beat
    sure: float       # share of the probability at about that phase and place in the bar


class Filter:
    """Forward filtering of the bar pointer over activations given frame by frame."""

    def __init__(self, fps: float, meters: tuple[int, ...], bpm_range: tuple[float, float],
                 prior_bpm: np.ndarray, prior_log: np.ndarray, meter_log: dict[int, float]) -> None:
        self.fps = fps
        periods = barpointer.tempo_periods(fps, *bpm_range)
        self.periods = periods
        k_count = len(periods)
        bpm = 60.0 * fps / periods
        prior = np.exp(barpointer.PRIOR_WEIGHT
                       * np.interp(np.log2(bpm), np.log2(prior_bpm), prior_log))
        # Tempo moves at a beat: row = tempo before, column = tempo after, each row
        # summing to one, then each column weighed by the tempo prior.
        ratio = np.abs(np.log(periods[None, :] / periods[:, None]))
        near = np.abs(np.arange(k_count)[None, :] - np.arange(k_count)[:, None]) <= barpointer.REACH
        move = np.where(near, np.exp(-barpointer.CHANGE_COST * ratio), 0.0)
        self._move = move / move.sum(axis=1, keepdims=True) * prior[None, :]

        meter_of, tempo_of, pos_of, prev = [], [], [], []
        starts: list[np.ndarray] = []   # per meter: (beats, tempos) indices of beat starts
        offset = 0
        for m in meters:
            first = np.empty((m, k_count), dtype=np.int64)
            for k, p in enumerate(periods):
                length = m * int(p)
                idx = offset + np.arange(length)
                prev.append(np.roll(idx, 1))          # position 0 comes from the bar's last
                meter_of.append(np.full(length, m))
                tempo_of.append(np.full(length, k))
                pos_of.append(np.arange(length))
                first[:, k] = offset + np.arange(m) * int(p)
                offset += length
            starts.append(first)
        self._prev = np.concatenate(prev)
        self._meter = np.concatenate(meter_of)
        self._tempo = np.concatenate(tempo_of)
        self._pos = np.concatenate(pos_of)
        self._starts = starts
        self._down = np.concatenate([s[0] for s in starts])
        self._beats = np.concatenate([s[1:].ravel() for s in starts])
        # Every meter and tempo starts (and is spread to) alike, whatever its number of states.
        length = self._meter * periods[self._tempo]
        weight = np.array([math.exp(meter_log.get(int(m), -math.inf)) for m in meters])
        self._even = (np.exp(np.array([meter_log.get(int(m), -math.inf) for m in self._meter]))
                      / weight.sum() / k_count / length)
        self._alpha = self._even.copy()
        self._where = self._pos / periods[self._tempo]     # beats into the bar

    @property
    def states(self) -> int:
        return len(self._alpha)

    def step(self, beat: float, down: float) -> State:
        """Moves on one frame whose activations are ``beat`` and ``down``; the likeliest state."""
        alpha = self._alpha[self._prev]
        for first in self._starts:
            arriving = alpha[first]                      # (beats, tempos)
            alpha[first] = arriving @ self._move
        a = min(max(beat, barpointer.FLOOR), 1 - barpointer.FLOOR)
        first_share = min(max((down + 0.25 * barpointer.DOUBT) / (a + barpointer.DOUBT),
                              barpointer.CERTAINTY), 1 - barpointer.CERTAINTY)
        odds = a / (1 - a)
        alpha[self._beats] *= odds * (1 - first_share)
        alpha[self._down] *= odds * first_share
        alpha *= (1 - SPREAD) / alpha.sum()
        alpha += SPREAD * self._even
        self._alpha = alpha
        top = int(np.argmax(alpha))
        meter = int(self._meter[top])
        period = int(self.periods[self._tempo[top]])
        beat_in_bar, into = divmod(int(self._pos[top]), period)
        # How much of the probability agrees with it on the place in the bar.
        diff = np.abs(self._where - self._where[top])
        agree = (np.minimum(diff, meter - diff) <= NEAR) & (self._meter == meter)
        return State(meter, period, beat_in_bar, into, float(alpha[agree].sum()))


# The filter must be this sure of the place in the bar to start following,
LOCK = 0.5
# and stays with the beat until it is less sure than this.
LOSE = 0.2
# The music has stopped when no frame of the last two seconds has a beat activation this high.
QUIET = 0.15
QUIET_SECONDS = 2.0


class Follower:
    """A beat count that follows the filter's likeliest state: pips that only move on.

    While it follows, the pip is 64 a beat of the filter's beats, counted on from
    where it was; every beat the filter puts first in its bar starts a bar. When
    the filter grows unsure it goes on at the last tempo (or at ``seed_bpm`` before
    the first beat was followed), and when the music stops it holds still. A pip
    never goes back: if the filter's beat moves behind it, it waits for it.
    """

    def __init__(self, fps: float, meter: int | None = None,
                 bpm_range: tuple[float, float] | None = None, seed_bpm: float | None = None,
                 net: network.Model | None = None) -> None:
        net = net if net is not None else network.live_model()
        if meter is None:
            meters: tuple[int, ...] = (3, 4)
            meter_log = barpointer.log_prior(float(net.meta["three_share"]))
        else:
            meters, meter_log = (meter,), {meter: 0.0}
        from .trained import DEFAULT_BPM

        self.filter = Filter(fps, meters, bpm_range or DEFAULT_BPM, net["prior_bpm"],
                             net["prior_log"], meter_log)
        self.fps = fps
        self.pip = 0.0                 # at the frame last stepped
        self.rate = 0.0                # pips a frame from there on
        self.bpm = float(seed_bpm) if seed_bpm else 120.0
        self.following = False
        self.meter = meter or 4
        self.bar_starts = [0]          # beats on which bars started, with ``meter`` on from the last
        self._seed = bool(seed_bpm)
        self._count = 0                # the whole beats of the filter's beat counted so far
        self._last: State | None = None
        self._recent = np.zeros(max(1, int(round(QUIET_SECONDS * fps))), dtype=np.float32)
        self._frames = 0

    def step(self, beat: float, down: float) -> State:
        state = self.filter.step(beat, down)
        self._recent[self._frames % len(self._recent)] = beat
        self._frames += 1
        music = float(self._recent.max()) >= QUIET
        sure = state.sure >= (LOSE if self.following else LOCK)
        was = self.following and self._last is not None
        self.following = music and sure
        if self.following:
            into = state.into / state.period
            if was:
                assert self._last is not None
                # A beat begins where the phase in the beat starts over; the filter
                # may also change its mind about the place in the bar at the same
                # phase, which is no new beat.
                step = into - self._last.into / self._last.period
                if step < -0.5:
                    self._count += 1
                elif step > 0.5:
                    self._count -= 1  # back before the beat's start: the pip waits for it
            else:
                # Take up the beat nearest the pip reached.
                self._count = round(self.pip / 64 - into)
            if not was or state.beat != self._last.beat:  # type: ignore[union-attr]
                self._bar(self._count - state.beat, state.meter)
            self.pip = max(self.pip, 64.0 * (self._count + into))
            self.bpm = 60.0 * self.fps / state.period
            self.rate = 64.0 / state.period
            self._last = state
        else:
            self._last = None
            if music and (self._seed or self.rate):
                self.rate = self.rate or 64.0 * self.bpm / 60.0 / self.fps
            else:
                self.rate = 0.0
            self.pip += self.rate
        return state

    @property
    def bars(self) -> Bars:
        """The bars followed so far, and the meter on from the last."""
        return Bars(self.bar_starts, self.meter)

    def bar_beat_first(self, beat: int) -> bool:
        """Whether beat ``beat`` (counted from 0 at pip 0) starts a bar."""
        starts = self.bar_starts
        last = starts[-1]
        if beat >= last:
            return (beat - last) % self.meter == 0
        return beat in starts

    def _bar(self, start: int, meter: int) -> None:
        """Records a bar starting on beat ``start`` (after the last one recorded), and
        ``meter`` beats a bar from there on."""
        last = self.bar_starts[-1]
        if start <= last or (meter == self.meter and (start - last) % meter == 0):
            return
        self.bar_starts.extend(range(last + self.meter, start, self.meter))
        self.bar_starts.append(start)
        self.meter = meter


class _Frames(Spectrum):
    """A spectrum whose new frames are taken as they are cut, and then forgotten."""

    def take(self) -> np.ndarray:
        """(frames, bands) levels of the frames cut since the last call."""
        levels = self.levels()
        self._levels = []
        return levels


# The analysis rate: the input is brought down to about this by a whole factor.
RATE = 11025.0
TAPS = 48            # of the low-pass before the decimation


class Listener:
    """Follows the beat of mono audio at ``rate`` fed in blocks of any length.

    The audio is brought down to about 11 kHz, cut into the offline analysis'
    frames, run through the causal network (which hears ``lookahead`` frames
    ahead) and followed (``Follower``). The follower's pip is that of the frame
    last followed, ``followed_at`` seconds into the audio fed; ``latency`` is how
    far that frame lies behind the end of the audio fed.
    """

    def __init__(self, rate: float, meter: int | None = None,
                 bpm_range: tuple[float, float] | None = None, seed_bpm: float | None = None) -> None:
        if not rate > 0:
            raise ValueError(f"sample rate must be positive, not {rate!r}")
        self.rate = float(rate)
        self.factor = max(1, int(round(rate / RATE)))
        self._spectrum = _Frames(self.rate / self.factor)
        net = network.live_model()
        self._net = network.Stream(net)
        self.follower = Follower(self._spectrum.fps, meter, bpm_range, seed_bpm, net)
        cut = 0.45 / self.factor
        n = np.arange(TAPS) - (TAPS - 1) / 2
        lowpass = np.sinc(2 * cut * n) * np.hanning(TAPS + 2)[1:-1]
        self._lowpass = (lowpass / lowpass.sum()).astype(np.float32)
        self._tail = np.zeros(TAPS - 1, dtype=np.float32)
        self._phase = 0               # input samples to skip before the next kept one
        self._previous: np.ndarray | None = None
        self.frames = 0               # frames followed

    @property
    def fps(self) -> float:
        return self._spectrum.fps

    @property
    def hop(self) -> int:
        """Samples of the input a frame."""
        return self._spectrum.hop * self.factor

    @property
    def followed_at(self) -> float:
        """Seconds from the first sample fed to the frame last followed (the pip's moment)."""
        return (self.frames - 1 - self._net.lookahead) / self.fps

    @property
    def latency(self) -> float:
        """Seconds from the frame last followed to the end of the audio fed: the network's
        look-ahead and half a window."""
        return (self._net.lookahead + 0.5 * self._spectrum.size / self._spectrum.hop) / self.fps

    def feed(self, block: np.ndarray) -> list[State]:
        """Follows the beat through ``block``; the filter's states of the frames it completed."""
        block = np.asarray(block, dtype=np.float32).reshape(-1)
        if self.factor > 1:
            joined = np.concatenate((self._tail, block))
            self._tail = joined[len(joined) - (TAPS - 1):]
            smooth = np.convolve(joined, self._lowpass, mode="valid")
            kept = smooth[self._phase::self.factor]
            self._phase = (self._phase - len(smooth)) % self.factor
            block = kept
        self._spectrum.feed(block)
        levels = self._spectrum.take()
        if not len(levels):
            return []
        before = self._previous if self._previous is not None else levels[:1]
        features = features_of(np.concatenate((before, levels)))[1:]
        self._previous = levels[-1:]
        act = self._net.push(features)
        states = [self.follower.step(float(b), float(d)) for b, d in act]
        self.frames += len(states)
        return states


def follow(path: str, meter: int | None = None, bpm_range: tuple[float, float] | None = None,
           progress: Callable[[float], None] | None = None) -> BeatMap:
    """The beats a live listener would have followed in the recording at ``path``.

    The file is fed as it would be heard, block by block; after every frame the
    beat followed is carried on to the end of the audio heard so far, as a live
    clock shows it, and every whole beat it reaches is one of the map's beats, at
    the moment it is reached (a bar's first beat a downbeat). Raises ValueError
    naming the file if it cannot be read or no beat was followed.
    """
    from . import decode
    from .. import analysis

    stream = decode.open_audio(path, length=progress is not None)
    listener = Listener(stream.rate, meter, bpm_range)
    fps, ahead = listener.fps, listener.latency
    follower = listener.follower
    beats: list[float] = []
    down: list[float] = []
    heard, peak = 0, 0.0
    last_pip: float | None = None
    last_at = 0.0
    step = listener.hop
    for block in stream.blocks():
        heard += len(block)
        if len(block):
            peak = max(peak, float(np.max(np.abs(block))))
        # A hop at a time, so that the clock is read after every frame.
        for first in range(0, len(block), step):
            if not listener.feed(block[first:first + step]):
                continue
            # The pip a live clock shows at the end of the audio heard so far.
            at = listener.followed_at + ahead
            pip = follower.pip + follower.rate * ahead * fps
            if follower.following and last_pip is not None:
                # Every whole beat between the pip shown before and the one shown now.
                for beat in range(math.floor(last_pip / 64) + 1, math.floor(pip / 64) + 1):
                    share = (64 * beat - last_pip) / (pip - last_pip)
                    t = round(last_at + share * (at - last_at), 5)
                    if not beats or t > beats[-1]:
                        beats.append(t)
                        if follower.bar_beat_first(beat):
                            down.append(t)
            last_pip, last_at = (pip, at) if follower.following else (None, at)
        if progress is not None and stream.seconds:
            progress(min(1.0, heard / stream.rate / stream.seconds))
    seconds = heard / stream.rate
    if heard == 0:
        raise ValueError(f"{path}: holds no audio")
    if peak < analysis.SILENCE:
        raise ValueError(f"{path}: is silent")
    if seconds < analysis.MIN_SECONDS:
        raise ValueError(f"{path}: too short to hold a beat ({seconds:.2f} s)")
    if len(beats) < 2 or not down:
        raise ValueError(f"{path}: no steady beat found")
    return BeatMap(beats, down, follower.meter, duration=round(seconds, 6))
