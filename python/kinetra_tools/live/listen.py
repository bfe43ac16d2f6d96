"""Listening: a live clock that follows the beat of the music on an audio input.

``ListenClock(source)`` captures audio from JACK output ports or from a
PortAudio input device and follows its beat with the causal beat tracker
(``analysis.online.Listener``): pip 0 of each bar falls on a downbeat heard.

The source. ``source`` names a JACK output port or a PortAudio input device:
its exact name, or a part of one (any case). A part that fits several ports
of one JACK client takes them all (``system`` is ``system:capture_1`` and
``system:capture_2``); the channels are mixed to mono. JACK is asked first,
when a JACK server is running; then PortAudio, which also reaches ALSA,
PulseAudio and PipeWire. No source takes JACK's physical capture ports (the
first pair) when a server runs, else PortAudio's default input.

Time. The audio callback (JACK's process thread, PortAudio's callback) only
copies each block into a queue, stamped with the ``time.monotonic()`` moment
its first sample sounded at the source: the start of the JACK cycle less the
port's capture latency, or PortAudio's ADC time of the buffer (its reported
input latency when the host gives no ADC time). A worker thread mixes the
blocks to mono (resampled to the analysis rate when the input's is not a
whole multiple of it), feeds the tracker and then publishes where the beat was: the
pip of the frame last followed, the pips a second from there, and the moment
that frame sounded, which it finds from the stamps. ``reading(at)`` carries
the pip on from that moment, so the pip read is the pip sounding at ``at``:
the input's latency and the tracker's look-ahead are made up for. Readings
never go back: when the tracker slows or moves its beat back, the pip waits
for it.

Trouble. A source that goes away while listening (its JACK port or client
gone, the server gone, a device unplugged, or no audio for a second) holds
the pips: it is reported once, through ``report``, and picked up again when
it comes back under the same name. Audio the worker cannot keep up with is
dropped and reported once (``overflows`` counts the blocks). What makes the
clock unable to start (no audio system, no such port or device, one that
cannot be opened) is a ValueError of one line.
"""

from __future__ import annotations

import contextlib
import math
import os
import queue
import threading
import time
from collections import deque
from collections.abc import Callable, Iterator, Sequence
from typing import Any, Final, NamedTuple, Protocol

import numpy as np

from ..timeline import BarBeat, Barred, Bars
from . import LiveReading

# Blocks the queue holds before the worker is taken to have fallen behind
# (about 5 s of JACK periods of 256 frames at 48 kHz).
QUEUE_BLOCKS: Final = 1024
# The worker looks at the source this often (seconds) ...
CHECK_SECONDS: Final = 0.1
# ... and takes it for lost when no audio has come for this long.
SILENT_SECONDS: Final = 1.0
# A lost source is looked for again this often.
REVIVE_SECONDS: Final = 0.5
# The pips run on from the frame last followed for this long at most: a worker
# that stalls holds them.
AHEAD_SECONDS: Final = 1.0
# The worker gathers the blocks that come in this long before it feeds them on.
GATHER_SECONDS: Final = 0.02
# Block stamps kept to find when a followed frame sounded (seconds of audio).
STAMP_SECONDS: Final = 4.0
# JACK ports taken when no source is named: the first pair of physical captures.
DEFAULT_CHANNELS: Final = 2
LISTED: Final = 8  # names a "no such input" error lists at most


class Block(NamedTuple):
    at: float  # time.monotonic() when its first sample sounded at the source
    samples: np.ndarray  # (frames, channels) float32, a copy


Deliver = Callable[[float, np.ndarray], None]


class Input(Protocol):
    """An audio source the clock listens to."""

    name: str  # shown: the ports or the device
    rate: float

    def start(self, deliver: Deliver) -> None: ...

    def alive(self) -> bool:
        """Whether the source is still there (the worker asks; never in the audio callback)."""
        ...

    def revive(self) -> bool:
        """Tries to take up a lost source again; whether it now is alive."""
        ...

    def close(self) -> None: ...


# ---- finding the source ------------------------------------------------------


def pick(wanted: str, names: Sequence[str], group: Callable[[str], str] | None = None) -> list[str]:
    """The names ``wanted`` means: itself, or those containing it (any case) when they
    are one, or all of one ``group`` (a JACK client's ports); [] when none fits.
    ValueError when it fits several that are not of one group."""
    if wanted in names:
        return [wanted]
    fits = [name for name in names if wanted.lower() in name.lower()]
    if len(fits) <= 1 or (group is not None and len({group(name) for name in fits}) == 1):
        return fits
    listed = ", ".join(repr(name) for name in fits[:LISTED]) + (", ..." if len(fits) > LISTED else "")
    raise ValueError(f"audio input {wanted!r} is ambiguous: it fits {listed}")


def _client_of(port: str) -> str:
    return port.split(":", 1)[0]


@contextlib.contextmanager
def _hushed() -> Iterator[None]:
    """File descriptor 2 to /dev/null: ALSA and JACK write their complaints straight
    there, and the error that follows says the same in one line."""
    import sys

    try:
        sys.stderr.flush()
        saved = os.dup(2)
    except (OSError, ValueError, AttributeError):
        yield
        return
    devnull = os.open(os.devnull, os.O_WRONLY)
    os.dup2(devnull, 2)
    os.close(devnull)
    try:
        yield
    finally:
        os.dup2(saved, 2)
        os.close(saved)


def _jack() -> Any:
    try:
        import jack  # type: ignore[import-untyped, import-not-found, unused-ignore]
    except (ImportError, OSError):
        return None
    return jack


def _sounddevice() -> Any:
    try:
        with _hushed():
            import sounddevice  # type: ignore[import-untyped, import-not-found, unused-ignore]
    except (ImportError, OSError):
        return None
    return sounddevice


_LIBJACK: Any = None


def capture_latency(jack: Any, port: Any) -> int:
    """The most frames of capture latency JACK reports for ``port`` (for an input
    port, that of what is connected to it); 0 if it cannot tell.

    The JACK module does not offer the call: it is made on libjack itself, the
    library the module has loaded.
    """
    global _LIBJACK
    import ctypes

    if _LIBJACK is None:
        try:
            lib = ctypes.CDLL("libjack.so.0")
            call = lib.jack_port_get_latency_range
        except (OSError, AttributeError):
            _LIBJACK = False
            return 0
        call.argtypes = (ctypes.c_void_p, ctypes.c_int, ctypes.POINTER(ctypes.c_uint32 * 2))
        call.restype = None
        _LIBJACK = call
    if _LIBJACK is False:
        return 0
    bounds = (ctypes.c_uint32 * 2)()
    _LIBJACK(int(jack._ffi.cast("uintptr_t", port._ptr)), 0, ctypes.byref(bounds))  # 0: capture
    return int(bounds[1])


class JackInput:
    """Input ports of a JACK client of our own, each connected to one source port."""

    def __init__(self, jack: Any, client: Any, sources: list[str]) -> None:
        self._jack = jack
        self._client: Any = client
        self.sources = sources
        self.name = ", ".join(sources)
        self.rate = float(client.samplerate)
        self._deliver: Deliver | None = None
        self._ports: list[Any] = []
        self._latency = 0.0  # seconds: the capture latency of the sources, as JACK reports it
        self._down = False  # the server has shut us down
        self._setup()

    @staticmethod
    def client(jack: Any) -> Any:
        """A client of the running JACK server, or None when none runs."""
        jack.set_error_function(lambda message: None)
        jack.set_info_function(lambda message: None)
        try:
            with _hushed():
                return jack.Client("kinetra listen", no_start_server=True)
        except jack.JackError:
            return None

    def _setup(self) -> None:
        client = self._client
        self._down = False
        self._ports = [client.inports.register(f"in_{i + 1}") for i in range(len(self.sources))]
        client.set_process_callback(self._process)
        client.set_shutdown_callback(self._shutdown)

    def _process(self, frames: int) -> None:
        ports = self._ports
        deliver = self._deliver
        if deliver is None:
            return
        client = self._client
        # The cycle started this many frames ago; its input was captured a
        # latency before that.
        at = time.monotonic() - client.frames_since_cycle_start / self.rate - self._latency
        if len(ports) == 1:
            block = ports[0].get_array().reshape(-1, 1).copy()
        else:
            block = np.stack([port.get_array() for port in ports], axis=1)
        deliver(at, block)

    def _shutdown(self, status: Any, reason: str) -> None:
        self._down = True

    def start(self, deliver: Deliver) -> None:
        self._deliver = deliver
        self._client.activate()
        for port, source in zip(self._ports, self.sources):
            self._client.connect(source, port)
        self._read_latency()

    def _read_latency(self) -> None:
        latencies = [capture_latency(self._jack, port) for port in self._ports]
        self._latency = max(latencies, default=0) / self.rate

    def alive(self) -> bool:
        if self._down:
            return False
        try:
            connected = any(port.connections for port in self._ports)
        except self._jack.JackError:
            return False
        if connected:
            self._read_latency()
        return connected

    def revive(self) -> bool:
        jack = self._jack
        if self._down:
            # The server went away: a client of the next one, if one runs.
            client = self.client(jack)
            if client is None:
                return False
            with contextlib.suppress(jack.JackError):
                self._client.close()
            if client.samplerate != self.rate:
                client.close()
                return False
            self._client = client
            self._setup()
            self._client.activate()
        present = {port.name for port in self._client.get_ports(is_audio=True, is_output=True)}
        for port, source in zip(self._ports, self.sources):
            if source in present and not port.connections:
                with contextlib.suppress(jack.JackError):
                    self._client.connect(source, port)
        return self.alive()

    def close(self) -> None:
        client, self._client = self._client, None
        if client is not None:
            self._deliver = None
            with contextlib.suppress(Exception):
                client.deactivate()
            with contextlib.suppress(Exception):
                client.close()


class PortAudioInput:
    """A PortAudio input stream from one device, at the device's own rate."""

    def __init__(self, sd: Any, device: dict[str, Any]) -> None:
        self._sd = sd
        self.name = str(device["name"])
        self.rate = float(device["default_samplerate"])
        self.channels = max(1, min(2, int(device["max_input_channels"])))
        self._index = int(device["index"])
        self._deliver: Deliver | None = None
        self._stream: Any = None
        self._failed = False
        self.overflows = 0  # buffers PortAudio itself says overflowed

    def _open(self) -> None:
        sd = self._sd
        with _hushed():
            stream = sd.InputStream(device=self._index, channels=self.channels, samplerate=self.rate,
                                    dtype="float32", latency="low", callback=self._callback,
                                    finished_callback=self._finished)
            stream.start()
        self._stream = stream
        self._latency = float(stream.latency)
        self._failed = False

    def _callback(self, indata: np.ndarray, frames: int, times: Any, status: Any) -> None:
        deliver = self._deliver
        if deliver is None:
            return
        now = time.monotonic()
        adc, current = times.inputBufferAdcTime, times.currentTime
        # Not every host gives the buffer's ADC time; its latency then stands in.
        ago = current - adc if 0 < adc <= current else self._latency
        if status.input_overflow:
            self.overflows += 1
        deliver(now - ago, indata.copy())

    def _finished(self) -> None:
        self._failed = True

    def start(self, deliver: Deliver) -> None:
        self._deliver = deliver
        try:
            self._open()
        except Exception as error:  # sounddevice's PortAudioError and whatever the host raises
            raise ValueError(f"cannot open audio input {self.name!r}: {_reason(error)}") from None

    def alive(self) -> bool:
        stream = self._stream
        return stream is not None and not self._failed and bool(stream.active)

    def revive(self) -> bool:
        sd = self._sd
        self._drop_stream()
        # PortAudio learns of devices when it starts: start it afresh to see one plugged in again.
        try:
            with _hushed():
                sd._terminate()
                sd._initialize()
            devices = [d for d in sd.query_devices() if d["max_input_channels"] > 0]
        except Exception:
            return False
        same = [d for d in devices if d["name"] == self.name]
        if not same:
            return False
        self._index = int(same[0]["index"])
        try:
            self._open()
        except Exception:
            self._drop_stream()
            return False
        return self.alive()

    def _drop_stream(self) -> None:
        stream, self._stream = self._stream, None
        if stream is not None:
            with contextlib.suppress(Exception), _hushed():
                stream.abort()
                stream.close()

    def close(self) -> None:
        self._deliver = None
        self._drop_stream()


def _reason(error: BaseException) -> str:
    text = " ".join(str(error).split()).rstrip(".")
    return text or type(error).__name__


def _listed(names: Sequence[str]) -> str:
    shown = ", ".join(repr(name) for name in names[:LISTED])
    return shown + (", ..." if len(names) > LISTED else "")


def open_input(source: str | None) -> Input:
    """The input ``source`` names (see the module docstring); ValueError with one line if none."""
    # PortAudio is started only when JACK does not serve: it would join the JACK
    # server as a client of its own.
    jack = _jack()
    sd = None
    if jack is None:
        sd = _sounddevice()
        if sd is None:
            raise ValueError("listening needs python3-jack-client (JACK) or python3-sounddevice (PortAudio)")
    wanted = None if source is None or not source.strip() else source.strip()
    jack_ports: list[str] = []
    client = JackInput.client(jack) if jack is not None else None
    if client is not None:
        ports = client.get_ports(is_audio=True, is_output=True)
        jack_ports = [port.name for port in ports]
        try:
            if wanted is None:
                physical = [port.name for port in ports if port.is_physical]
                chosen = physical[:DEFAULT_CHANNELS]
            else:
                chosen = pick(wanted, jack_ports, _client_of)
        except ValueError:
            client.close()
            raise
        if chosen:
            try:
                return JackInput(jack, client, chosen)
            except jack.JackError as error:
                client.close()
                raise ValueError(f"cannot listen to JACK port {chosen[0]!r}: {_reason(error)}") from None
        client.close()
    devices: list[dict[str, Any]] = []
    if sd is None:
        sd = _sounddevice()
    if sd is not None:
        try:
            with _hushed():
                devices = [dict(d) for d in sd.query_devices() if d["max_input_channels"] > 0]
        except Exception:
            devices = []
    if not devices and client is None:
        if wanted is not None:
            raise ValueError(f"no audio input {wanted!r}: no JACK server is running and "
                             "PortAudio finds no input device")
        raise ValueError("no audio input: no JACK server is running and PortAudio finds no input device")
    if wanted is None:
        index = sd.default.device[0] if sd is not None else -1
        device = next((d for d in devices if d["index"] == index), None)
        if device is None:
            raise ValueError("no default audio input: name a JACK port or an input device")
        return PortAudioInput(sd, device)
    names = [str(d["name"]) for d in devices]
    chosen = pick(wanted, names)
    if len(chosen) == 1:
        return PortAudioInput(sd, devices[names.index(chosen[0])])
    parts = []
    if client is not None:
        parts.append(f"JACK ports: {_listed(jack_ports) or 'none'}")
    if sd is not None:
        parts.append(f"devices: {_listed(names) or 'none'}")
    raise ValueError(f"no audio input {wanted!r} ({'; '.join(parts)})")


# ---- the clock ---------------------------------------------------------------


class _Beat(NamedTuple):
    """Where the beat was when the worker last fed the tracker."""

    pip: float  # at the frame last followed
    speed: float  # pips a second from there on
    at: float  # time.monotonic() when that frame sounded
    bpm: float
    following: bool


class FollowedBars(Bars):
    """The bars the tracker has found so far: a ``Bars`` that grows as it listens."""

    __slots__ = ("_now",)

    def __init__(self, now: Callable[[], Bars]) -> None:  # noqa: D107
        self._now = now

    @property
    def meter(self) -> int:  # type: ignore[override]
        return self._now().meter

    @property
    def _starts(self) -> list[int]:  # type: ignore[override]
        return self._now()._starts

    @property
    def regular_meter(self) -> int | None:
        return self._now().regular_meter

    def bar_beat(self, pip: int) -> BarBeat:
        return self._now().bar_beat(pip)

    def bar_start(self, bar: int) -> int:
        return self._now().bar_start(bar)

    def beats_per_bar_at(self, pip: int) -> int:
        return self._now().beats_per_bar_at(pip)

    def __eq__(self, other: object) -> bool:
        return self._now() == other

    def __repr__(self) -> str:
        return f"FollowedBars({self._now()!r})"


class ListenClock(Barred):
    """The beat of the music on an audio input, as a live clock.

    ``source``: see the module docstring. ``bpm`` is the tempo the pips run
    at before the first beat is followed (without it they stand still),
    ``meter`` fixes the beats a bar (else the tracker tells 3 from 4),
    ``bpm_range`` bounds the tempos it looks for. ``report`` is given a line
    when the source is lost, comes back, or overflows (from the worker thread).
    ValueError with one line when it cannot start.
    """

    def __init__(self, source: str | None = None, *, bpm: float | None = None, meter: int | None = None,
                 bpm_range: tuple[float, float] | None = None,
                 report: Callable[[str], object] | None = None,
                 opener: Callable[[str | None], Input] | None = None) -> None:
        from ..analysis.online import Listener

        self._report = report if report is not None else (lambda text: None)
        self._input = (opener or open_input)(source)
        self.source_name = self._input.name
        try:
            # The listener brings the input to the analysis rate itself.
            self._listener = Listener(self._input.rate, meter, bpm_range, bpm)
        except BaseException:
            self._input.close()
            raise
        follower = self._listener.follower
        self._rate = self._input.rate
        self._queue: queue.Queue[Block] = queue.Queue(QUEUE_BLOCKS)
        self._beat = _Beat(follower.pip, 0.0, 0.0, follower.bpm, False)
        self._started = False  # whether the tracker has followed a frame yet
        self._ever = False  # whether a beat has ever been followed
        self._bars = follower.bars
        self._bar_key = (len(follower.bar_starts), follower.meter)
        self.bars: Bars = FollowedBars(lambda: self._bars)
        self._lock = threading.Lock()
        self._shown = -math.inf  # the furthest pip read so far
        self.lost = False
        self.overflows = 0  # blocks dropped because the worker fell behind
        self.cpu_seconds = 0.0  # the worker's CPU time so far
        self.heard = 0  # samples of the input taken by the worker
        self._stamps: deque[tuple[int, float]] = deque()  # (first sample, its moment) per block
        self._last_audio = time.monotonic()
        self._next_revive = 0.0
        self._stopping = threading.Event()
        self._worker = threading.Thread(target=self._work, name="kinetra listen", daemon=True)
        try:
            self._input.start(self._deliver)
        except BaseException:
            self._input.close()
            raise
        self._last_audio = time.monotonic()
        self._worker.start()

    # -- the audio callback ----------------------------------------------------

    def _deliver(self, at: float, samples: np.ndarray) -> None:
        # Audio counts as coming when the input hands it over, not when the worker
        # gets to it: a worker slow on a long feed has not lost its input.
        self._last_audio = time.monotonic()
        try:
            self._queue.put_nowait(Block(at, samples))
        except queue.Full:
            self.overflows += 1

    # -- the worker -----------------------------------------------------------

    def _work(self) -> None:
        get = self._queue.get
        next_check = 0.0
        reported_overflow = False
        while not self._stopping.is_set():
            blocks: list[Block] = []
            try:
                blocks.append(get(timeout=CHECK_SECONDS))
                # Blocks are taken a few at a time: each feed of the tracker costs
                # about as much for a short block as for a long one.
                time.sleep(GATHER_SECONDS)
                while True:
                    blocks.append(self._queue.get_nowait())
            except queue.Empty:
                pass
            if blocks:
                self._feed(blocks)
            overflows = self.overflows + getattr(self._input, "overflows", 0)
            if overflows and not reported_overflow:
                reported_overflow = True
                self._report(f"input {self.source_name} overflowed: the beat tracker fell behind "
                             "and audio was dropped")
            now = time.monotonic()
            if now >= next_check:
                next_check = now + CHECK_SECONDS
                self._check(now)
            self.cpu_seconds = time.thread_time()

    def _feed(self, blocks: list[Block]) -> None:
        stamps, rate = self._stamps, self._rate
        parts = []
        for block in blocks:
            samples = block.samples
            stamps.append((self.heard, block.at))
            self.heard += len(samples)
            parts.append(samples[:, 0] if samples.shape[1] == 1 else samples.mean(axis=1))
        keep = self.heard - int(STAMP_SECONDS * rate)
        while len(stamps) > 1 and stamps[1][0] <= keep:
            stamps.popleft()
        listener = self._listener
        mono = np.concatenate(parts) if len(parts) > 1 else parts[0]
        if not listener.feed(mono):
            return
        follower = listener.follower
        # The input sample of the frame last followed (resampling keeps the moments).
        sample = listener.followed_at * rate
        first, at = stamps[0]
        for start, moment in stamps:
            if start > sample:
                break
            first, at = start, moment
        key = (len(follower.bar_starts), follower.meter)
        if key != self._bar_key:
            self._bar_key = key
            self._bars = follower.bars
        self._ever = self._ever or follower.following
        self._started = True
        self._beat = _Beat(follower.pip, follower.rate * listener.fps, at + (sample - first) / rate,
                           follower.bpm, follower.following)

    def _check(self, now: float) -> None:
        source = self._input
        flowing = now - self._last_audio < SILENT_SECONDS
        if not self.lost:
            if flowing and source.alive():
                return
            self.lost = True
            self._report(f"input {self.source_name} lost: holding the beat until it comes back")
            self._next_revive = now
        if flowing and source.alive():
            self.lost = False
            self._report(f"input {self.source_name} is back")
        elif now >= self._next_revive:
            self._next_revive = now + REVIVE_SECONDS
            with contextlib.suppress(Exception):
                source.revive()  # back once its audio comes

    # -- readings ---------------------------------------------------------------

    def reading(self, at: float) -> LiveReading:
        beat = self._beat
        lost = self.lost
        moving = beat.speed > 0 and not lost and self._started
        pip = beat.pip
        if moving:
            pip += beat.speed * min(at - beat.at, AHEAD_SECONDS)
        with self._lock:
            if pip < self._shown or (lost and self._shown > -math.inf):
                pip = self._shown  # never back; and still while the source is away
            self._shown = pip
        return LiveReading(math.floor(pip), beat.bpm, moving)

    @property
    def bpm(self) -> float:
        return self._beat.bpm

    @property
    def following(self) -> bool:
        """Whether a beat is being followed now."""
        return self._beat.following and not self.lost

    @property
    def state(self) -> str:
        """What the clock is doing, in a few words for the terminal."""
        if self.lost:
            return "input lost: holding"
        if self._beat.following:
            return "following"
        return "holding" if self._ever else "waiting for a beat"

    def close(self) -> None:
        self._stopping.set()
        try:
            # The worker first: it must not take the input it sees closing for a lost one.
            if self._worker.is_alive() and self._worker is not threading.current_thread():
                self._worker.join(5.0)
        finally:
            self._input.close()

    def __repr__(self) -> str:
        return f"ListenClock({self.source_name!r}, {self.state})"
