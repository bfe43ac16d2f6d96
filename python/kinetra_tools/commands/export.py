"""``kinetra export``: one row per video frame (frame, seconds, pip, x, y, z)."""

from __future__ import annotations

import argparse
import sys

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
    p.add_argument("--bpm", type=positive, required=True, help="tempo in beats a minute")
    p.add_argument("--fps", type=positive, required=True, help="frames a second, e.g. 25, 29.97 or 30000/1001")
    span = p.add_mutually_exclusive_group(required=True)
    span.add_argument("--seconds", type=positive, help="length of the span in seconds")
    span.add_argument("--bars", type=count, help="length of the span in bars of four beats")
    p.add_argument("--beat-zero", type=exact, default="0", metavar="SECONDS",
                   help="time at which beat zero (pip 0) sounds (default 0)")
    p.add_argument("--format", choices=["csv", "json"], default="csv", help="csv (default) or json")
    p.set_defaults(run=run)


def run(args: argparse.Namespace) -> int:
    from .. import export
    from ..clock import Tempo
    from ..sources import open_source
    from ..timeline import Frames

    source = open_source(args.name)
    tempo = Tempo(args.bpm, args.beat_zero)
    frames = Frames(args.fps, tempo)
    span = args.seconds if args.seconds is not None else tempo.bars_seconds(args.bars)
    table = export.rows(source, frames, frames.frames_before(span))
    export.WRITERS[args.format](table, sys.stdout)
    return 0
