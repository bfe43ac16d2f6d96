"""ffmpeg as the encoder: raw frames in through a pipe, a finished video file out.

``Encoder`` starts ffmpeg reading raw frames (yuv420p as the renderer
draws them, or RGB that ffmpeg converts) from its standard input (and the
song, if any, from its file), takes frames with ``write`` and, on ``finish``,
closes the pipe and waits for ffmpeg to complete the file. A thread of its own
feeds the pipe, so the next frame is drawn while ffmpeg reads this one: a
frame's memory must stay as it is until ``IN_FLIGHT`` more frames have been
handed in after it. ``abort`` stops it
at once (on an error, Ctrl-C, SIGTERM or SIGHUP); the caller removes the
partial file. ffmpeg runs in a process group of its own, so a signal meant for
the command reaches only the command, which then stops ffmpeg itself. A
failure of ffmpeg becomes a one-line ValueError with ffmpeg's own last line.

The container follows the output's extension: .mp4, .m4v, .mov and .mkv get
H.264 video and AAC sound, .webm gets VP9 and Opus.
"""

from __future__ import annotations

import contextlib
import fcntl
import json
import os
import shutil
import stat
import subprocess
import tempfile
import threading
from collections.abc import Buffer
from fractions import Fraction
from typing import IO, NamedTuple

from ..ffmpeg import file_url


class Container(NamedTuple):
    format: str
    video: tuple[str, ...]
    audio: tuple[str, ...]


# x264's preset by frame size: ultrafast at CRF 23 stays within about 60 dB PSNR of
# the drawn frames and well under 1 Mbit/s at 1280x720 for these flat colours, and
# costs least; small frames are cheap anyway and get a preset that packs them tighter.
# One x264 thread: its frame threads cost a tenth more CPU, and it already runs beside
# the drawing process, which is the slower of the two.
PRESETS = ((640 * 360, "veryfast"), (960 * 540, "superfast"))
_H264 = ("-c:v", "libx264", "-preset", "ultrafast", "-crf", "23", "-threads", "1")
_AAC = ("-c:a", "aac", "-b:a", "192k")

CONTAINERS = {
    ".mp4": Container("mp4", _H264, _AAC),
    ".m4v": Container("mp4", _H264, _AAC),
    ".mov": Container("mov", _H264, _AAC),
    ".mkv": Container("matroska", _H264, _AAC),
    ".webm": Container("webm", ("-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8",
                                "-row-mt", "1", "-crf", "32", "-b:v", "0"),
                       ("-c:a", "libopus", "-b:a", "160k")),
}


# The video is tagged with the HD matrix in the limited range, as players assume for HD.
_TAGS = "setparams=color_primaries=bt709:color_trc=bt709:colorspace=bt709:range=tv"
# RGB frames are converted to 4:2:0 YUV so by ffmpeg; yuv420p frames come converted so.
_COLOUR = ("-vf", f"scale=out_color_matrix=bt709:out_range=tv,format=yuv420p,{_TAGS}")


def colour_options(pixel_format: str) -> tuple[str, ...]:
    """ffmpeg's options to make 4:2:0 YUV, tagged, of frames in ``pixel_format``."""
    return ("-vf", _TAGS) if pixel_format == "yuv420p" else _COLOUR


def video_options(kind: Container, width: int, height: int) -> tuple[str, ...]:
    """The video codec's options for a frame size: x264's preset follows the size."""
    options = list(kind.video)
    if "-preset" in options:
        preset = next((name for pixels, name in PRESETS if width * height <= pixels), "ultrafast")
        options[options.index("-preset") + 1] = preset
    return tuple(options)


def container(path: str) -> Container:
    """The container and codecs for an output file name; ValueError for an unknown extension."""
    suffix = os.path.splitext(path)[1].lower()
    try:
        return CONTAINERS[suffix]
    except KeyError:
        known = ", ".join(CONTAINERS)
        raise ValueError(f"cannot write {suffix or 'a file without extension'} video: "
                         f"name the output {known}") from None


def find(program: str) -> str:
    """The path of ``program`` (ffmpeg, ffprobe); ValueError if it is not installed."""
    path = shutil.which(program)
    if path is None:
        raise ValueError(f"{program} not found: install FFmpeg (Debian: apt install ffmpeg)")
    return path


def audio_seconds(song: str) -> Fraction:
    """The length of the song's first audio stream, in seconds, as ffprobe reads it."""
    if not os.path.isfile(song):
        raise ValueError(f"no such song: {song}")
    if not os.access(song, os.R_OK):
        raise ValueError(f"cannot read song: {song}")
    probe = subprocess.run(
        [find("ffprobe"), "-v", "error", "-select_streams", "a:0",
         "-show_entries", "stream=duration:format=duration", "-of", "json", file_url(song)],
        stdin=subprocess.DEVNULL, capture_output=True, text=True, errors="replace")
    try:
        report = json.loads(probe.stdout) if probe.returncode == 0 else {}
    except ValueError:
        report = {}
    streams = report.get("streams") or []
    if not streams:
        reason = _last_line(probe.stderr) or "no audio in it"
        raise ValueError(f"cannot read song {song}: {reason}")
    # The stream's own length where the container keeps one, else the container's.
    text = streams[0].get("duration") or (report.get("format") or {}).get("duration") or ""
    try:
        seconds = Fraction(text)
    except ValueError:
        raise ValueError(f"cannot read song {song}: its length is unknown") from None
    if seconds <= 0:
        raise ValueError(f"cannot read song {song}: it is empty")
    return seconds


def _status(path: str) -> os.stat_result | None:
    try:
        return os.stat(path)
    except OSError:
        return None


def _last_line(text: str) -> str:
    lines = [line.strip() for line in text.splitlines() if line.strip()]
    return lines[-1] if lines else ""


def _decimal(value: Fraction) -> str:
    """A time for ffmpeg's command line, to the microsecond (ffmpeg's own resolution)."""
    micro = round(value * 1_000_000)
    return f"{micro // 1_000_000}.{micro % 1_000_000:06d}"


# Frames handed in that may still be read after ``write`` returns (the one being written,
# the one waiting): a frame's memory may be drawn over again only after this many more.
IN_FLIGHT = 2


class Encoder:
    """An ffmpeg process turning raw frames (and a song) into ``path``."""

    def __init__(self, path: str, width: int, height: int, fps: Fraction, pixel_format: str,
                 audio: str | None = None, seconds: Fraction | None = None,
                 kind: Container | None = None) -> None:
        kind = kind or container(path)
        command = [find("ffmpeg"), "-hide_banner", "-nostdin", "-loglevel", "error", "-y",
                   "-f", "rawvideo", "-pix_fmt", pixel_format, "-s", f"{width}x{height}",
                   "-framerate", f"{fps.numerator}/{fps.denominator}", "-i", "pipe:0"]
        if audio is not None:
            if seconds is not None:
                command += ["-t", _decimal(seconds)]
            command += ["-i", file_url(audio), "-map", "0:v:0", "-map", "1:a:0", *kind.audio]
        command += [*colour_options(pixel_format), *video_options(kind, width, height), "-f", kind.format]
        written = _status(path)
        if kind.format in ("mp4", "mov") and (written is None or stat.S_ISREG(written.st_mode)):
            # Moving the index to the front reads the file back: only a regular file can.
            command += ["-movflags", "+faststart"]
        # A socket is written through ffmpeg's own protocol for it.
        command.append(f"unix:{path}" if written is not None and stat.S_ISSOCK(written.st_mode)
                       else file_url(path))
        self._errors: IO[bytes] = tempfile.TemporaryFile()
        try:
            # Its own process group: Ctrl-C in a terminal reaches only this process,
            # which then stops ffmpeg itself (abort) rather than racing it.
            self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                            stderr=self._errors, process_group=0)
        except OSError as error:
            self._errors.close()
            raise ValueError(f"cannot start ffmpeg: {error.strerror or error}") from error
        try:
            assert self.process.stdin is not None
            self._pipe = self.process.stdin
            with contextlib.suppress(OSError):
                # A larger pipe lets ffmpeg read while the next frame is drawn.
                fcntl.fcntl(self._pipe.fileno(), fcntl.F_SETPIPE_SZ, 1 << 20)
            # One frame waits here while the feeder writes the one before.
            self._handed: Buffer | None = None
            self._ready = threading.Condition()
            self._closing = False
            self._broken = False
            self._feeder = threading.Thread(target=self._feed, name="ffmpeg feeder", daemon=True)
            self._feeder.start()
        except BaseException:
            # A stop (Ctrl-C, SIGTERM) before the caller holds this encoder: nobody else
            # could stop ffmpeg.
            self.process.kill()
            self.process.wait()
            self._errors.close()
            raise

    def _feed(self) -> None:
        """The feeder thread: writes each frame handed in; after a failed write, drops them."""
        while True:
            with self._ready:
                while self._handed is None and not self._closing:
                    self._ready.wait()
                frame, self._handed = self._handed, None
                self._ready.notify_all()
            if frame is None:
                return
            if not self._broken:
                try:
                    self._pipe.write(frame)
                except (OSError, ValueError):
                    # ffmpeg has quit (or the pipe was closed by abort).
                    self._broken = True

    def write(self, frame: Buffer) -> None:
        """Hand one frame to ffmpeg; returns once the frame before it is being written."""
        with self._ready:
            while self._handed is not None and not self._broken:
                self._ready.wait()
            if not self._broken:
                self._handed = frame
                self._ready.notify_all()
        if self._broken:
            self._stop_feeder()
            # ffmpeg has quit: say why.
            self.process.wait()
            reason = self._failure()
            self.abort()
            raise ValueError(reason)

    def _stop_feeder(self) -> None:
        with self._ready:
            self._closing = True
            self._ready.notify_all()
        self._feeder.join()

    def finish(self) -> None:
        """Write what is left, close the pipe and wait for ffmpeg to write the whole file."""
        self._stop_feeder()
        try:
            self._pipe.close()
        except BrokenPipeError:
            pass
        code = self.process.wait()
        if code != 0 or self._broken:
            raise ValueError(self._failure())
        self._errors.close()

    def abort(self) -> None:
        """Stop ffmpeg now and wait for it; safe to call twice."""
        if self.process.poll() is None:
            self.process.kill()
        self._broken = True
        self._stop_feeder()
        with contextlib.suppress(OSError):
            self._pipe.close()
        self.process.wait()
        self._errors.close()

    def _failure(self) -> str:
        self._errors.seek(0)
        text = self._errors.read().decode("utf-8", "replace")
        self._errors.close()
        return f"ffmpeg failed: {_last_line(text) or f'exit status {self.process.returncode}'}"
