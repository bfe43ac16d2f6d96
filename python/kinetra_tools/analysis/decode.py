"""Audio in, mono blocks at the analysis rate out, in bounded memory.

WAV, FLAC, OGG (and whatever else libsndfile reads) go through ``soundfile``;
MP3 and anything else through the ``ffmpeg`` program, which sends raw 32-bit
float samples down a pipe. Either way the file is read block by block, so an
hour-long recording never sits in memory whole.

The analysis needs nothing above a few kHz, so the signal is brought down to
about ``RATE`` samples a second cheaply: channels averaged, then each run of
``q`` samples averaged (``q`` the whole-number ratio nearest to the file's
rate over ``RATE``) and, where that is not ``RATE`` itself (48 kHz gives 12 kHz),
taken the rest of the way by ``resample``: the analysis' bands are laid out for
exactly ``RATE``. ffmpeg resamples itself.
"""

from __future__ import annotations

import os
import shutil
import subprocess
import tempfile
from collections.abc import Callable, Iterator
from dataclasses import dataclass

import numpy as np

from ..ffmpeg import file_url
from .resample import Fractional

RATE = 11025
BLOCK_SECONDS = 4
# Formats read directly; everything else goes through ffmpeg.
SOUNDFILE_SUFFIXES = frozenset((".wav", ".wave", ".flac", ".ogg", ".oga", ".aif", ".aiff", ".au", ".w64"))


@dataclass
class Stream:
    """An opened recording: ``rate`` (analysis samples a second), ``seconds``
    (length, or None when the decoder cannot tell up front) and ``blocks()``."""

    rate: float
    seconds: float | None
    blocks: Callable[[], Iterator[np.ndarray]]


def open_audio(path: str, length: bool = True) -> Stream:
    """Open ``path`` for block-wise reading; ValueError naming it if it cannot be.

    ``length=False`` spares asking ffprobe for the length when nobody needs
    it up front (it serves only the progress bar)."""
    if not os.path.exists(path):
        raise ValueError(f"{path}: no such file")
    if os.path.isdir(path):
        raise ValueError(f"{path}: is a folder, not an audio file")
    if not os.access(path, os.R_OK):
        raise ValueError(f"{path}: cannot read the file (permission denied)")
    suffix = os.path.splitext(path)[1].lower()
    if suffix in SOUNDFILE_SUFFIXES:
        stream = _soundfile(path)
        if stream is not None:
            return stream
    return _ffmpeg(path, length)


def _soundfile(path: str) -> Stream | None:
    import soundfile  # type: ignore[import-untyped]

    try:
        info = soundfile.info(path)
    except (RuntimeError, soundfile.LibsndfileError, TypeError, ValueError):
        return None                      # let ffmpeg try
    if info.samplerate <= 0 or info.channels <= 0:
        return None
    q = max(1, round(info.samplerate / RATE))
    rate = info.samplerate / q
    exact = rate == RATE
    seconds = info.frames / info.samplerate if info.frames > 0 else None

    mix = np.full(q * info.channels, 1.0 / (q * info.channels), dtype=np.float32)

    def blocks() -> Iterator[np.ndarray]:
        size = q * int(BLOCK_SECONDS * rate)
        rest = None if exact else Fractional(rate, RATE)
        try:
            with soundfile.SoundFile(path) as f:
                while True:
                    data = f.read(size, dtype="float32", always_2d=True)
                    if not len(data):
                        break
                    whole = len(data) - len(data) % q
                    if not whole:
                        break
                    # Mix down and average runs of q samples in one product.
                    runs = data[:whole].reshape(whole // q, q * data.shape[1])
                    yield runs @ mix if rest is None else rest.feed(runs @ mix)
        except (RuntimeError, soundfile.LibsndfileError) as error:
            raise ValueError(f"{path}: cannot decode the audio: {error}") from None

    return Stream(float(RATE), seconds, blocks)


def _ffmpeg(path: str, length: bool) -> Stream:
    ffmpeg = shutil.which("ffmpeg")
    if ffmpeg is None:
        raise ValueError(f"{path}: not a WAV, FLAC or OGG file, and ffmpeg (needed for other formats) "
                         "is not installed")
    seconds = _probe_seconds(path) if length else None

    def blocks() -> Iterator[np.ndarray]:
        command = [ffmpeg, "-nostdin", "-hide_banner", "-loglevel", "error", "-i", file_url(path),
                   "-map", "0:a:0", "-vn", "-ac", "1", "-ar", str(RATE), "-f", "f32le", "pipe:1"]
        size = 4 * int(BLOCK_SECONDS * RATE)
        # Messages go to a file, not a pipe: a pipe nobody reads could fill and stall ffmpeg.
        with tempfile.TemporaryFile() as messages, \
                subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                 stderr=messages) as process:
            assert process.stdout is not None
            got = finished = False
            carry = b""
            try:
                while chunk := process.stdout.read(size):
                    chunk = carry + chunk
                    whole = len(chunk) - len(chunk) % 4
                    carry = chunk[whole:]
                    if whole:
                        got = True
                        yield np.frombuffer(chunk[:whole], dtype="<f4")
                finished = True
            finally:
                process.stdout.close()
                if not finished and process.poll() is None:
                    process.kill()                  # the reader stopped early
                status = process.wait()
            messages.seek(0)
            error = messages.read(1 << 16).decode("utf-8", "replace").strip()
            if status != 0 or not got:
                reason = error.splitlines()[-1] if error else "no audio stream"
                raise ValueError(f"{path}: not an audio file ffmpeg can read ({_short(reason, path)})")

    return Stream(float(RATE), seconds, blocks)


def _short(reason: str, path: str) -> str:
    reason = reason.replace(file_url(path), "").replace(path, "").strip(" :")
    return reason[:160] or "unknown error"


def _probe_seconds(path: str) -> float | None:
    ffprobe = shutil.which("ffprobe")
    if ffprobe is None:
        return None
    try:
        done = subprocess.run([ffprobe, "-v", "error", "-show_entries", "format=duration", "-of",
                               "default=noprint_wrappers=1:nokey=1", file_url(path)], stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, timeout=30)
        return float(done.stdout.strip().splitlines()[0])
    except (subprocess.SubprocessError, OSError, ValueError, IndexError):
        return None
