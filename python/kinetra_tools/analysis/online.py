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
is of the beat's phase: the share of the probability within a tenth of a beat
of it; ``Filter.nearest_beat`` the likeliest place in the bar of the beat
nearest now, from all states together (the likeliest single state may jump
between two readings of the bar that are nearly as likely).
"""

from __future__ import annotations

import math
from collections.abc import Callable
from typing import NamedTuple

import numpy as np

from ..beatmap import BeatMap
from ..timeline import Bars
from . import barpointer, network
from .decode import RATE
from .resample import Resampler
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
    sure: float       # share of the probability at about that phase of the beat


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
        period_of = periods[self._tempo]
        self._phase = (self._pos % period_of) / period_of   # share of its beat gone
        # Each state's nearest beat (the one it is in, or the next if that is closer), as
        # one number per meter and place in the bar.
        self._group_meter: list[int] = []
        self._group_beat: list[int] = []
        group = np.empty(len(self._alpha), dtype=np.int64)
        for m in meters:
            mine = self._meter == m
            nearest = np.floor(self._pos[mine] / period_of[mine] + 0.5).astype(np.int64) % m
            group[mine] = len(self._group_meter) + nearest
            self._group_meter += [m] * m
            self._group_beat += list(range(m))
        self._group = group

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
        # How much of the probability agrees with it on the phase of the beat.
        diff = np.abs(self._phase - self._phase[top])
        agree = np.minimum(diff, 1 - diff) <= NEAR
        return State(meter, period, beat_in_bar, into, float(alpha[agree].sum()))

    def nearest_beat(self) -> tuple[int, int, float]:
        """(meter, place in the bar from 0, probability) of the likeliest place in the bar
        of the beat nearest now."""
        mass = np.bincount(self._group, weights=self._alpha, minlength=len(self._group_meter))
        top = int(np.argmax(mass))
        return self._group_meter[top], self._group_beat[top], float(mass[top] / mass.sum())


# The filter must be this sure of the place in the bar to start following,
LOCK = 0.5
# and stays with the beat until it is less sure than this.
LOSE = 0.2
# A beat starts a bar when the filter puts at least this share on that reading.
BAR_SURE = 0.5
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
        self._into = 0.0               # and the share of the current one gone
        self._recent = np.zeros(max(1, int(round(QUIET_SECONDS * fps))), dtype=np.float32)
        self._frames = 0

    def step(self, beat: float, down: float) -> State:
        state = self.filter.step(beat, down)
        self._recent[self._frames % len(self._recent)] = beat
        self._frames += 1
        music = float(self._recent.max()) >= QUIET
        sure = state.sure >= (LOSE if self.following else LOCK)
        was = self.following
        self.following = music and sure
        if self.following:
            into = state.into / state.period
            if was:
                # A beat is counted when the phase comes round (whichever bar the likeliest
                # state reads), and taken back if it goes back round.
                if into < self._into - 0.5:
                    self._count += 1
                    self._on_beat(self._count)
                elif into > self._into + 0.5:
                    self._count -= 1
            else:
                # Take up the beat nearest the pip reached.
                self._count = round(self.pip / 64 - into)
                self._on_beat(self._count + (into > 0.5), placing=True)
            self._into = into
            self.pip = max(self.pip, 64.0 * (self._count + into))
            self.bpm = 60.0 * self.fps / state.period
            self.rate = 64.0 / state.period
        else:
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

    def _on_beat(self, beat: int, placing: bool = False) -> None:
        """At beat ``beat`` (counted), places the bars where the filter is sure of them:
        a bar starts here if it says so (when ``placing``, wherever it says the bar began)."""
        meter, place, share = self.filter.nearest_beat()
        if placing:
            self._bar(beat - place, meter)
        elif place == 0 and share >= BAR_SURE:
            self._bar(beat, meter)

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


class Listener:
    """Follows the beat of mono audio at ``rate`` fed in blocks of any length.

    The audio is brought to the analysis rate (``resample``), cut into the offline analysis'
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
        self._resampler = Resampler(self.rate, RATE)
        self._spectrum = _Frames(RATE)
        net = network.live_model()
        self._net = network.Stream(net)
        self.follower = Follower(self._spectrum.fps, meter, bpm_range, seed_bpm, net)
        self._previous: np.ndarray | None = None
        self.frames = 0               # frames followed

    @property
    def fps(self) -> float:
        return self._spectrum.fps

    @property
    def hop(self) -> int:
        """Samples of the input a frame (about)."""
        return max(1, round(self._spectrum.hop * self.rate / RATE))

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
        block = self._resampler.feed(block)
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
