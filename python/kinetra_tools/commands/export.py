"""``kinetra export``: one row per video frame (frame, seconds, pip, x, y, z)."""

from __future__ import annotations

import argparse
import sys

from . import timing
from .args import count, exact, positive, source_help


def register(sub: argparse._SubParsersAction) -> None:  # type: ignore[type-arg]
    p = sub.add_parser("export", help="write one row per video frame: frame, seconds, pip, x, y, z",
                       description="Write a pattern's position at every frame of a span, from frame 0 "
                                   "at time 0, as CSV (with a header line) or as a JSON array. Frame n "
                                   "is shown at n / FPS seconds and shows the pip sounding then: "
                                   "floor((n / FPS - beat zero) * BPM * 64 / 60), computed exactly, so "
                                   "long spans do not drift. Numbers are read as written: 29.97 is "
                                   "2997/100; give 30000/1001 for the NTSC rate.",
                       epilog="example: kinetra export circle --bpm 174 --fps 29.97 --bars 8 > circle.csv")
    p.add_argument("name", metavar="NAME", help=source_help())
    timing.add_arguments(p)
    p.add_argument("--fps", type=positive, required=True, help="frames a second, e.g. 25, 29.97 or 30000/1001")
    span = p.add_mutually_exclusive_group()
    span.add_argument("--seconds", type=positive,
                      help="length of the span in seconds (with --audio or --beats: the whole song "
                           "if no span is given)")
    span.add_argument("--bars", type=count,
                      help="length of the span in bars (of four beats, or of the beat map's meter)")
    p.add_argument("--beat-zero", type=exact, default=None, metavar="SECONDS",
                   help="with --bpm: time at which beat zero (pip 0) sounds (default 0)")
    p.add_argument("--format", choices=["csv", "json"], default="csv", help="csv (default) or json")
    p.set_defaults(run=run)


def run(args: argparse.Namespace) -> int:
    from .. import export
    from ..sources import open_source
    from ..timeline import Frames

    source = open_source(args.name)
    clock = timing.timeline(args)
    frames = Frames(args.fps, clock)
    span = timing.span_seconds(clock, args.seconds, args.bars)
    table = export.rows(source, frames, frames.frames_before(span))
    export.WRITERS[args.format](table, sys.stdout)
    return 0
