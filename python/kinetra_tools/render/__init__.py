"""Music videos: patterns moving in step with a song, drawn frame by frame.

``render(sources, timeline, path, fps=..., size=..., seconds=...)`` draws one
cell per source (one fills the frame; several make a grid, each labelled with
its name and the axes it moves) beside a header (the song's name, bar.beat,
the beats of the bar, the tempo) and hands the frames to ffmpeg, which
encodes them, with the song as the sound track when one is given, into
``path``, while the next frames are drawn. Frame n is shown at
exactly n / fps seconds and shows the pip sounding then on the timeline (the
frame stream's rule), so picture and sound stay together however long the
song; the video holds every frame shown before ``seconds``.

What is drawn (see ``painter``): the point in x and y, its depth z as size
and colour, a fading trail of its last beat, a ring flashing out of it and a
glow round its plot on every beat (stronger on the bar's first), the beat of
the bar lit in the header, and a progress line. The file appears only once it is complete (``files.replacing_path``):
an error, Ctrl-C, SIGTERM or SIGHUP leaves no partial video behind and stops
ffmpeg.

Drawing needs pycairo and numpy and encoding needs the ``ffmpeg`` program;
all are imported or looked up only when a video is made.
"""

from __future__ import annotations

import os
from collections.abc import Sequence
from fractions import Fraction
from typing import TextIO

from ..frames import Frame, Frames
from ..palette import THEMES
from ..sources import Point, Source
from ..timeline import PIPS_PER_BEAT, Timeline
from .layout import Layout, depth_colour, parse_size

__all__ = ["THEMES", "Layout", "Motion", "depth_colour", "parse_size", "render", "scene", "tempo_text"]

# The trail shows one beat of recent path, one position every TRAIL_STEP pips.
TRAIL_PIPS = PIPS_PER_BEAT
TRAIL_STEP = 2


class Motion:
    """A source's positions, with a table of one whole loop for the trail."""

    __slots__ = ("sample", "_table", "_period", "_span")

    # Loops up to this many pips are tabulated once; longer ones are sampled as needed.
    TABLE_LIMIT = 1 << 16

    def __init__(self, source: Source) -> None:
        self.sample = source.sample
        period = source.period_pips
        self._period = period if period and period <= self.TABLE_LIMIT else 0
        self._table = [source.sample(p) for p in range(self._period)]
        self._span = source.span

    # How many pips of a source that is not tabulated are looked at for its axes.
    AXES_PROBE = 1 << 12

    @property
    def axes(self) -> str:
        """The axes the source moves, "x", "xy", "xz", "xyz" and so on ("" if it stands still).

        An axis a pattern does not move is exactly 0 all along; a long loop
        or a recording is judged by its first few thousand pips.
        """
        if self._period:
            points = self._table
        else:
            first = self._span[0] if self._span else 0
            last = self._span[1] if self._span else first + self.AXES_PROBE - 1
            points = [self.sample(p) for p in range(first, min(last, first + self.AXES_PROBE - 1) + 1)]
        return "".join(name for i, name in enumerate("xyz") if any(p[i] != 0.0 for p in points))

    def at(self, pip: int) -> Point:
        if self._period:
            return self._table[pip % self._period]
        return self.sample(pip)

    def trail(self, pip: int) -> list[Point]:
        """Positions over the beat before ``pip``, oldest first, at every TRAIL_STEP-th pip.

        The pips sit on a fixed grid (multiples of TRAIL_STEP), so the trail
        does not shimmer as the frame's pip moves between them.
        """
        last = pip - 1 - (pip - 1) % TRAIL_STEP
        return [self.at(p) for p in range(last - TRAIL_PIPS + TRAIL_STEP, last + 1, TRAIL_STEP)]


def tempo_text(bpm: float | Fraction) -> str:
    """ "124 BPM", "123.5 BPM": the tempo to a tenth, as a header shows it."""
    tenths = round(float(bpm) * 10)
    return f"{tenths // 10} BPM" if tenths % 10 == 0 else f"{tenths / 10:.1f} BPM"


Scene = tuple[tuple[Point, ...], list[list[Point]], int, float, float, int, int]


def scene(frame: Frame, motions: Sequence[Motion], timeline: Timeline, count: int) -> Scene:
    """What the painter draws for ``frame`` of ``count``: its points, their trails, the beat
    of the bar (from 0), how far into that beat, how far through the video, the beats
    of the bar and the bar's number."""
    pip = frame.pip
    where = timeline.bar_beat(pip)
    return (frame.points, [m.trail(pip) for m in motions], where.beat - 1,
            pip % PIPS_PER_BEAT / PIPS_PER_BEAT, frame.frame / count, timeline.beats_per_bar_at(pip),
            where.bar)


def render(sources: Sequence[Source], timeline: Timeline, path: str, *, fps: Fraction,
           size: tuple[int, int], seconds: Fraction, audio: str | None = None,
           progress: TextIO | None = None, title: str | None = None, columns: int | None = None,
           theme: str = "dark") -> int:
    """Write the video of ``sources`` over ``seconds`` to ``path``; returns the frame count.

    ``audio`` is the song's file, laid under the picture from its start (cut
    at ``seconds``). ``title`` heads the frame (default: the tempo);
    ``columns`` fixes the grid's columns; ``theme`` is "dark" or "light".
    Raises ValueError with a one-line reason on any failure, leaving ``path``
    as it was.
    """
    from ..files import replacing_path
    from ..progress import for_terminal
    from ..frames import stream
    from . import encode

    kind = encode.container(path)
    encode.find("ffmpeg")
    try:
        from .painter import PIXEL_FORMAT, Painter
    except ImportError as error:
        if error.name == "numpy":
            raise ValueError("drawing needs numpy: install it (Debian: apt install python3-numpy)") from None
        raise ValueError("drawing needs pycairo: install it (Debian: apt install python3-cairo)") from None
    width, height = size
    layout = Layout(width, height, len(sources), columns)
    frames = Frames(fps, timeline)
    count = frames.frames_before(seconds)
    shown = stream(sources, frames, count)
    motions = [Motion(s) for s in sources]
    painter = Painter(layout, [s.name for s in sources], axes=[m.axes for m in motions], title=title,
                      tempo=tempo_text(timeline.bpm), theme=theme, buffers=encode.IN_FLIGHT + 1)
    bar = for_terminal(f"rendering {os.path.basename(path)}", progress)
    try:
        with replacing_path(path) as temporary:
            encoder = None
            try:
                encoder = encode.Encoder(temporary, width, height, frames.fps, PIXEL_FORMAT, audio,
                                         seconds if audio is not None else None, kind)
                for frame in shown:
                    encoder.write(painter.frame(*scene(frame, motions, timeline, count)))
                    if bar is not None:
                        bar((frame.frame + 1) / count)
                encoder.finish()
            except BaseException:
                if encoder is not None:
                    encoder.abort()
                raise
    except OSError as error:
        raise ValueError(f"cannot write {path}: {error.strerror or error}") from None
    finally:
        if bar is not None:
            bar.close()
    return count
