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

The causal network hears each beat only up to the moment it sounds, which is
enough for the beat but not for the bar. Since bars repeat, the bars are then
placed by the offline network over the last seconds of audio (``BarVote``): it
hears each beat of the past few bars with the music on both sides, and where
those bars started tells where the coming ones start.
"""

from __future__ import annotations

import math
from collections import deque
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


def bar_share(beat: float, down: float) -> float:
    """How likely a beat with these activations starts a bar, given that it is a beat
    (as the offline decoder weighs it)."""
    a = min(max(beat, barpointer.FLOOR), 1 - barpointer.FLOOR)
    return min(max((down + 0.25 * barpointer.DOUBT) / (a + barpointer.DOUBT),
                   barpointer.CERTAINTY), 1 - barpointer.CERTAINTY)


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
        self._marked = self._alpha
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

    def step(self, beat: float, down: float, heard: bool = True) -> State:
        """Moves on one frame whose activations are ``beat`` and ``down``; the likeliest state.

        A frame not ``heard`` (the music has paused) weighs no state: silence says
        nothing of the beat, and counted against every state at a beat it would
        favour the slowest tempos, which pass fewest beats."""
        alpha = self._moved(self._alpha)
        if heard:
            a = min(max(beat, barpointer.FLOOR), 1 - barpointer.FLOOR)
            first_share = bar_share(beat, down)
            odds = a / (1 - a)
            alpha[self._beats] *= odds * (1 - first_share)
            alpha[self._down] *= odds * first_share
        return self._settle(alpha)

    def mark(self) -> None:
        """Keeps the probabilities as they are now, for ``unhear``."""
        self._marked = self._alpha.copy()

    def unhear(self, frames: int) -> State:
        """Goes back to the last ``mark``, ``frames`` frames ago, and moves on from there
        without weighing them: they turned out to be the start of a pause."""
        alpha = self._marked
        for _ in range(frames - 1):
            alpha = self._spread(self._moved(alpha))
        return self._settle(self._moved(alpha))

    def _moved(self, alpha: np.ndarray) -> np.ndarray:
        """The probabilities ``alpha`` moved on one frame (a new array)."""
        alpha = alpha[self._prev]
        for first in self._starts:
            arriving = alpha[first]                      # (beats, tempos)
            alpha[first] = arriving @ self._move
        return alpha

    def _spread(self, alpha: np.ndarray) -> np.ndarray:
        """``alpha`` normalised, with SPREAD of it spread evenly (in place)."""
        alpha *= (1 - SPREAD) / alpha.sum()
        alpha += SPREAD * self._even
        return alpha

    def _settle(self, alpha: np.ndarray) -> State:
        """Takes ``alpha`` (weighed) as the probabilities now; the likeliest state."""
        self._alpha = alpha = self._spread(alpha)
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
        belief = self.bar_belief()
        top = max(belief, key=belief.__getitem__)
        return top[0], top[1], belief[top]

    def bar_belief(self) -> dict[tuple[int, int], float]:
        """The probability of each (meter, place in the bar from 0) of the beat nearest now."""
        mass: np.ndarray = np.bincount(self._group, weights=self._alpha,
                                       minlength=len(self._group_meter)).astype(np.float64)
        mass /= mass.sum()
        return {(m, b): float(p) for m, b, p in zip(self._group_meter, self._group_beat, mass)}


# The filter must be this sure of the place in the bar to start following,
LOCK = 0.5
# and stays with the beat until it is less sure than this.
LOSE = 0.2
# A beat starts a bar when the filter puts at least this share on that reading.
BAR_SURE = 0.5
# The music has stopped when no frame of the last two seconds has a beat activation this high.
QUIET = 0.15
QUIET_SECONDS = 2.0
# The music has paused (and the filter weighs no frame from the last beat activation of
# QUIET on) once this long has passed without one.
HUSH_SECONDS = 1.0

# Bars are judged by the offline model over the last WINDOW_SECONDS of audio, every
# JUDGE_SECONDS, at the last BEATS_KEPT beats it has heard of the TICKS_KEPT last kept,
# once a beat has RIGHT_SECONDS of audio after it (the model hears both sides of a
# beat) and LEFT_SECONDS before it.
WINDOW_SECONDS = 12.0
JUDGE_SECONDS = 0.5
BEATS_KEPT = 12
TICKS_KEPT = 64
RIGHT_SECONDS = 0.5
LEFT_SECONDS = 0.5
# A reading of the bars gives way to one this much likelier (natural log).
BAR_MARGIN = 1.5
# The causal filter's belief in a reading counts this much beside the offline model's
# word (its probabilities taken no lower than BELIEF_FLOOR).
FILTER_WEIGHT = 0.3
BELIEF_FLOOR = 0.01
# The offline model has a say on a beat's bar where its beat activation is this high,
HEARD = 0.2
# and places bars once it has had its say on this many beats.
MIN_JUDGED = 4
# A beat that comes more than this share of a beat early or late starts the beats judged anew.
SLIP = 0.25


class Beat:
    """A beat of the filter's: its tick, the frame it fell on, and (once judged) how
    likely the offline model finds it to start a bar."""

    __slots__ = ("tick", "frame", "share")

    def __init__(self, tick: int, frame: int) -> None:
        self.tick, self.frame = tick, frame
        self.share: float | None = None


class BarVote:
    """Where bars start, weighed over the last beats followed.

    Bars repeat, so where one started a few seconds ago tells where the next
    ones start: the offline model, which hears each beat with the music after it
    as well, places them far better than the causal one can at the moment they
    sound. The features of the last ``WINDOW_SECONDS`` are kept; ``judge`` runs the
    offline model over them, notes its word at each beat there (the latest word,
    heard with the most music after the beat, counts), and weighs, for each
    meter and each place of the bar's first beat among the beats, how likely it
    finds every beat to start a bar or not.
    """

    def __init__(self, fps: float, meters: tuple[int, ...], meter_log: dict[int, float],
                 net: network.Model | None = None) -> None:
        self.net = net if net is not None else network.model()
        self.fps = fps
        self.meters = meters
        self._meter_log = meter_log
        # The last frames' features, frame ``n`` at row ``n % len``.
        self._ring = np.zeros((max(1, int(round(WINDOW_SECONDS * fps))), len(self.net["mean"])),
                              dtype=np.float32)
        self.frames = 0   # frames pushed
        self.decided: tuple[int, int] | None = None

    def push(self, features: np.ndarray) -> None:
        """Keeps the features of the frames given (the next ones, in order)."""
        size = len(self._ring)
        first = self.frames + max(len(features) - size, 0)
        self.frames += len(features)
        rows = np.arange(first, self.frames) % size
        self._ring[rows] = features[len(features) - len(rows):]

    def _window(self) -> np.ndarray:
        """The features kept, oldest first."""
        size = len(self._ring)
        if self.frames <= size:
            return self._ring[:self.frames]
        start = self.frames % size
        return np.concatenate((self._ring[start:], self._ring[:start]))

    def judge(self, beats: list[Beat], ahead: int = 0,
              prior: dict[tuple[int, int], float] | None = None) -> tuple[int, int] | None:
        """(meter, tick of the beats that start bars, modulo the meter) from ``beats``, whose
        frames lie ``ahead`` frames after the frames pushed; None before enough are judged.
        ``prior`` is the causal filter's probability of each reading, in the same terms.
        The reading last given (``decided``) stays unless another is clearly likelier."""
        kept = min(self.frames, len(self._ring))
        first = self.frames - kept
        lo, hi = first + LEFT_SECONDS * self.fps, self.frames - RIGHT_SECONDS * self.fps
        judged = [b for b in beats if lo <= b.frame - ahead <= hi]
        if judged:
            act = network.activations(self._window(), self.net)
            for b in judged:
                at = b.frame - ahead - first
                near = act[max(at - 1, 0):at + 2]
                heard = float(near[:, 0].max())
                # Where the model hears no beat (the music stopped) it has no say on bars.
                b.share = bar_share(heard, float(near[:, 1].max())) if heard >= HEARD else None
        known = [b for b in beats if b.share is not None][-BEATS_KEPT:]
        if len(known) < MIN_JUDGED:
            return None
        ticks = np.array([b.tick for b in known])
        share = np.array([b.share for b in known])
        yes, no = np.log(share), np.log(1 - share)
        scores = {(m, r): float(yes[ticks % m == r].sum() + no[ticks % m != r].sum()) + self._meter_log[m]
                  for m in self.meters for r in range(m)}
        if prior is not None:
            for key in scores:
                scores[key] += FILTER_WEIGHT * math.log(max(prior.get(key, 0.0), BELIEF_FLOOR))
        best = max(scores, key=scores.__getitem__)
        if self.decided not in scores or scores[best] - scores[self.decided] >= BAR_MARGIN:
            self.decided = best
        return self.decided


class Follower:
    """A beat count that follows the filter's likeliest state: pips that only move on.

    While it follows, the pip is 64 a beat of the filter's beats, counted on from
    where it was. Bars start where the filter puts them when it takes up the beat
    (and at every beat it is sure starts one), until a vote (``place_bars``, from
    a ``BarVote`` over the beats kept in ``beats``) places them. When
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
        self.meters, self.meter_log = meters, meter_log
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
        self._quiet = max(1, int(round(QUIET_SECONDS * fps)))
        self._hush = max(1, int(round(HUSH_SECONDS * fps)))
        self._frames = 0
        self._heard = -self._quiet     # the last frame with a beat activation of at least QUIET
        # The filter's last beats, numbered by ticks that run on whether followed or not;
        # the beat counted is the tick plus ``_offset``.
        self.beats: deque[Beat] = deque(maxlen=TICKS_KEPT)
        self._tick = 0
        self._tick_into = 0.0
        self.slips = 0                # times the beats kept were forgotten
        self._offset = 0
        self._voted = False           # bars placed by a vote since the beat was taken up

    def step(self, beat: float, down: float) -> State:
        if beat >= QUIET:
            self._heard = self._frames
        quiet = self._frames - self._heard
        if quiet < self._hush:
            state = self.filter.step(beat, down)
            if quiet == 0:
                self.filter.mark()
        elif quiet == self._hush:
            # A pause: the frames since the last beat heard are taken back unweighed.
            state = self.filter.unhear(quiet)
        else:
            state = self.filter.step(beat, down, heard=False)
        self._frames += 1
        self._tick_on(state)
        music = quiet < self._quiet
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
                self._offset = self._count - self._tick
                self._voted = False
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

    def _tick_on(self, state: State) -> None:
        """Counts the filter's beats whether followed or not (a tick each time its
        likeliest phase comes round), keeping them for the bars to be judged. The
        ticks run on through a pause, so that what was heard of the bars before it
        still counts after it. The beats kept are forgotten when the phase jumps (a
        tick comes more than ``SLIP`` of a beat early or late, or goes back): the
        count may have slipped with it."""
        into = state.into / state.period
        beats = self.beats
        if into < self._tick_into - 0.5:
            self._tick += 1
            frame = self._frames - 1 - state.into
            if beats and abs(frame - beats[-1].frame - state.period) > SLIP * state.period:
                beats.clear()
                self.slips += 1
            beats.append(Beat(self._tick, frame))
        elif into > self._tick_into + 0.5:
            self._tick -= 1
            beats.clear()
            self.slips += 1
        self._tick_into = into

    @property
    def bars(self) -> Bars:
        """The bars followed so far, and the meter on from the last."""
        return Bars(self.bar_starts, self.meter)

    def _on_beat(self, beat: int, placing: bool = False) -> None:
        """At beat ``beat`` (counted), places the bars where the filter is sure of them:
        a bar starts here if it says so (when ``placing``, the next bar starts where it
        says, whatever the bars counted before, which a hold may have put out of step)."""
        meter, place, share = self.filter.nearest_beat()
        if placing:
            self._bar(beat + (-place) % meter, meter)
        elif place == 0 and share >= BAR_SURE and not self._voted:
            self._bar(beat, meter)

    def belief(self) -> dict[tuple[int, int], float]:
        """The filter's probability of each (meter, tick of the beats that start bars, modulo
        the meter)."""
        nearest = self._tick + (self._tick_into > 0.5)
        return {(m, (nearest - place) % m): p for (m, place), p in self.filter.bar_belief().items()}

    @property
    def reading(self) -> tuple[int, int]:
        """(meter, tick of the beats that start bars, modulo the meter) of the bars now."""
        return self.meter, (self.bar_starts[-1] - self._offset) % self.meter

    def place_bars(self, meter: int, first: int) -> None:
        """Bars of ``meter`` beats from the next beat on, started by the beats whose
        tick (see ``beats``) is ``first`` modulo ``meter`` (as a vote judged them)."""
        coming = self._count + 1
        self._bar(coming + (first - (coming - self._offset)) % meter, meter)
        self._voted = True

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
        self._vote = BarVote(self._spectrum.fps, self.follower.meters, self.follower.meter_log)
        self._judge_every = max(1, int(round(JUDGE_SECONDS * self._spectrum.fps)))
        self._slips = 0
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
        self._vote.push(features)
        follower = self.follower
        done = self.frames
        states = [follower.step(float(b), float(d)) for b, d in act]
        self.frames += len(states)
        if follower.following and self.frames // self._judge_every > done // self._judge_every:
            # The follower's frames lie ``lookahead`` frames after the features' frames.
            if follower.slips != self._slips:
                self._slips = follower.slips   # the ticks slipped: the last reading may be off
                self._vote.decided = None
            judged = self._vote.judge(list(follower.beats), self._net.lookahead, follower.belief())
            if judged is not None:
                follower.place_bars(*judged)
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
