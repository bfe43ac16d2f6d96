"""``kinetra export``: one row per video frame (frame, seconds, pip, x, y, z, bar.beat)."""

from __future__ import annotations

import argparse
import sys
from fractions import Fraction
from typing import TYPE_CHECKING

from . import args as kinds
from . import timing
from .output import writing

if TYPE_CHECKING:
    from ..frames import Frames
    from ..timeline import Timeline


def register(sub: argparse._SubParsersAction) -> None:  # type: ignore[type-arg]
    p = sub.add_parser("export", help="write one row per video frame: frame, seconds, pip, x, y, z, bar.beat",
                       description="Write a pattern's position at every frame of a span as CSV (with a "
                                   "header line) or as a JSON array. Frame n is shown at n / FPS seconds "
                                   "and shows the pip sounding then: with --bpm, floor((n / FPS - beat "
                                   "zero) * BPM * 64 / 60); with a song (--audio) or a beat map (--beats), "
                                   "the pip of its beats at that time. Computed exactly, so long spans do "
                                   "not drift. Numbers are read as written: 29.97 is 2997/100; give "
                                   "30000/1001 for the NTSC rate. "
                                   f"Limits: BPM up to {kinds.MAX_BPM:,}, FPS up to {kinds.MAX_FPS:,}, "
                                   f"at most {kinds.MAX_FRAMES:,} frames.",
                       epilog="example: kinetra export circle --bpm 174 --fps 29.97 --bars 8 -o circle.csv")
    p.add_argument("name", metavar="NAME", help=kinds.source_help())
    timing.add_arguments(p, beat_zero=True)
    p.add_argument("--fps", type=kinds.fps, required=True, help="frames a second, e.g. 25, 29.97 or 30000/1001")
    span = p.add_mutually_exclusive_group()
    span.add_argument("--seconds", type=kinds.seconds,
                      help="length of the span in seconds (with --audio or --beats: the whole song "
                           "if no span is given)")
    span.add_argument("--bars", type=kinds.bars,
                      help="the span runs to the end of this many whole bars (of --meter beats, or the "
                           "beat map's own bars), counted from beat zero")
    p.add_argument("--start", type=kinds.start, metavar="TIME|BAR[.BEAT]",
                   help="where the span starts: a time (12.5s, 1:02.5) or a bar and beat from 1 "
                        "(3, 3.2); default: time 0")
    p.add_argument("--format", type=kinds.choice(["csv", "json"]), choices=["csv", "json"], default="csv",
                   help="csv (default) or json")
    p.add_argument("-o", "--output", metavar="FILE",
                   help="write to FILE (complete or not at all) instead of standard output")
    p.set_defaults(run=run)


def span_frames(timeline: Timeline, frames: Frames, start: kinds.Start | None,
                seconds: Fraction | None, bars: int | None,
                until: Fraction | None = None) -> tuple[int, int]:
    """(first frame, number of frames) of the span asked for: ``seconds`` long, or to the
    end of ``bars`` whole bars, or (neither given) up to the time ``until``."""
    from ..timeline import PIPS_PER_BEAT

    if start is None:
        begin = Fraction(0)
    elif start.seconds is not None:
        begin = start.seconds
    else:
        bar_pip = timeline.bar_start(start.bar)
        length = timeline.beats_per_bar_at(bar_pip)
        if start.beat > length:
            raise ValueError(f"beat {start.beat} is past the end of a {length}-beat bar")
        begin = timeline.seconds_at(bar_pip + (start.beat - 1) * PIPS_PER_BEAT)
    if seconds is not None:
        end = begin + seconds
    elif bars is None:
        assert until is not None
        end = until
    else:
        # Bars are counted from beat zero: a start before it (a lead-in)
        # still runs to the end of bar ``bars``.
        first_bar = max(1, timeline.bar_beat(timeline.pip_at(begin)).bar)
        end = timeline.seconds_at(timeline.bar_start(first_bar + bars))
    first = frames.frames_before(begin)
    count = max(0, frames.frames_before(end) - first)
    return first, kinds.frame_count(count)


def run(args: argparse.Namespace) -> int:
    from .. import export
    from ..sources import open_source
    from ..frames import Frames

    source = open_source(args.name)
    timeline = timing.timeline(args)
    frames = Frames(args.fps, timeline)
    whole = None
    if args.seconds is None and args.bars is None:
        whole = timing.song_seconds(timeline)
    first, count = span_frames(timeline, frames, args.start, args.seconds, args.bars, whole)
    table = export.rows(source, frames, count, first)
    with writing(args.output) as out:
        export.WRITERS[args.format](table, out)
    return 0
