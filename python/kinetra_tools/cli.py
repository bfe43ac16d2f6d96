"""The ``kinetra`` command: list, show, export and gallery.

Errors (an unknown name, a bad number) print one line to standard error and
exit with status 2; ``--help`` works on the command and on every subcommand.
"""

from __future__ import annotations

import argparse
import os
import sys
from collections.abc import Sequence
from typing import TYPE_CHECKING, NoReturn

# The other modules (exact time, export, gallery, trace) are imported by the
# commands that need them, so that `kinetra list` starts quickly.
from . import patterns

if TYPE_CHECKING:
    from fractions import Fraction

DESCRIPTION = "Browse, watch and export kinetra's default motion patterns."


class Parser(argparse.ArgumentParser):
    """An argument parser whose errors are one line: "<prog>: <message>"."""

    def error(self, message: str) -> NoReturn:
        self.exit(2, f"{self.prog}: {message}\n")


def positive(text: str) -> Fraction:
    """A positive finite number, kept exact as written ("29.97", "30000/1001")."""
    from fractions import Fraction

    from . import clock

    try:
        value = clock.exact(text)
    except ValueError:
        value = Fraction(0)
    if value <= 0:
        raise argparse.ArgumentTypeError(f"not a positive number: {text!r}")
    return value


def count(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        value = 0
    if value <= 0:
        raise argparse.ArgumentTypeError(f"not a positive whole number: {text!r}")
    return value


def exact(text: str) -> Fraction:
    """Any finite number, kept exact as written."""
    from . import clock

    return clock.exact(text)


# ---- commands -------------------------------------------------------------------

def cmd_list(args: argparse.Namespace) -> int:
    found = patterns.select(patterns.patterns(), args.pack, args.grep)
    if not found:
        print("kinetra list: no pattern matches", file=sys.stderr)
        return 1
    width = max(len(p.name) for p in found)
    pack_width = max(len(p.pack) for p in found)
    print(f"{'NAME':<{width}}  {'PACK':<{pack_width}}  {'BEATS':>5}  {'PIPS':>4}  DIM  DESCRIPTION")
    for p in found:
        print(f"{p.name:<{width}}  {p.pack:<{pack_width}}  {p.period_beats:>5g}  "
              f"{p.period_pips:>4}  {p.dimensions:>3}  {p.description}")
    return 0


def cmd_show(args: argparse.Namespace) -> int:
    from . import trace

    pattern = patterns.find(args.name)
    trace.show(pattern.name, float(args.bpm), args.bars, sys.stdout)
    return 0


def cmd_export(args: argparse.Namespace) -> int:
    from . import clock, export

    pattern = patterns.find(args.name)
    frame_clock = clock.FrameClock(args.fps, args.bpm, args.beat_zero)
    if args.seconds is not None:
        span = args.seconds
    else:
        span = frame_clock.tempo.bars_seconds(args.bars)
    table = export.rows(pattern.name, frame_clock, frame_clock.frames_before(span))
    export.WRITERS[args.format](table, sys.stdout)
    return 0


def cmd_gallery(args: argparse.Namespace) -> int:
    from . import gallery

    found = patterns.patterns()
    try:
        size = gallery.write(args.out, found)
    except OSError as error:
        raise ValueError(f"cannot write {args.out}: {error.strerror or error}") from error
    print(f"{args.out}: {len(found)} patterns, {size / 1e6:.2f} MB")
    return 0


# ---- parser ---------------------------------------------------------------------

def parser() -> Parser:
    top = Parser(prog="kinetra", description=DESCRIPTION,
                 epilog="Run 'kinetra COMMAND --help' for the options of a command.")
    sub = top.add_subparsers(dest="command", metavar="COMMAND", parser_class=Parser)
    known_packs = [patterns.BUILTIN, *patterns.PACK_SIZES]

    p = sub.add_parser("list", help="list the default patterns",
                       description="List the default patterns: name, pack, period in beats and pips, "
                                   "dimensions and description, in catalogue order.",
                       epilog="example: kinetra list --pack expansion --grep orbit")
    p.add_argument("--pack", choices=known_packs, metavar="PACK",
                   help=f"only this pack ({', '.join(known_packs)})")
    p.add_argument("--grep", metavar="TEXT", help="only patterns whose name or description holds TEXT "
                                                  "(any case)")
    p.set_defaults(run=cmd_list)

    p = sub.add_parser("show", help="trace a pattern in the terminal, in step with a beat",
                       description="Trace a default pattern with an ASCII dot, in step with a beat. "
                                   "In a terminal the dot moves live; in a pipe one line is printed "
                                   "per half beat.",
                       epilog="example: kinetra show figure_eight --bpm 100 --bars 1")
    p.add_argument("name", metavar="NAME", help="a default pattern (see kinetra list)")
    p.add_argument("--bpm", type=positive, default="120", help="tempo (default 120)")
    p.add_argument("--bars", type=count, default=2, help="bars of four beats (default 2)")
    p.set_defaults(run=cmd_show)

    p = sub.add_parser("export", help="write one row per video frame: frame, seconds, pip, x, y, z",
                       description="Write a pattern's position at every frame of a span, from frame 0 "
                                   "at time 0, as CSV (with a header line) or as a JSON array. Frame n "
                                   "is shown at n / FPS seconds and shows the pip sounding then: "
                                   "floor((n / FPS - beat zero) * BPM * 64 / 60), computed exactly, so "
                                   "long spans do not drift. Numbers are read as written: 29.97 is "
                                   "2997/100; give 30000/1001 for the NTSC rate.",
                       epilog="example: kinetra export circle --bpm 174 --fps 29.97 --bars 8 > circle.csv")
    p.add_argument("name", metavar="NAME", help="a default pattern (see kinetra list)")
    p.add_argument("--bpm", type=positive, required=True, help="tempo in beats a minute")
    p.add_argument("--fps", type=positive, required=True, help="frames a second, e.g. 25, 29.97 or 30000/1001")
    span = p.add_mutually_exclusive_group(required=True)
    span.add_argument("--seconds", type=positive, help="length of the span in seconds")
    span.add_argument("--bars", type=count, help="length of the span in bars of four beats")
    p.add_argument("--beat-zero", type=exact, default="0", metavar="SECONDS",
                   help="time at which beat zero (pip 0) sounds (default 0)")
    p.add_argument("--format", choices=["csv", "json"], default="csv", help="csv (default) or json")
    p.set_defaults(run=cmd_export)

    p = sub.add_parser("gallery", help="write the pattern gallery, one self-contained HTML page",
                       description="Write one self-contained HTML page with a card for every default "
                                   "pattern: its x-y trace coloured by depth, its axis curves over one "
                                   "loop, a point moving in time with an adjustable BPM, and filters by "
                                   "pack and text. The page loads nothing from the network.",
                       epilog="example: kinetra gallery patterns.html")
    p.add_argument("out", metavar="OUT.html", help="file to write")
    p.set_defaults(run=cmd_gallery)
    return top


def main(argv: Sequence[str] | None = None) -> int:
    top = parser()
    args = top.parse_args(argv)
    if args.command is None:
        print("kinetra: choose a command: list, show, export or gallery (see kinetra --help)",
              file=sys.stderr)
        return 2
    try:
        result: int = args.run(args)
        sys.stdout.flush()
    except ValueError as error:
        print(f"kinetra {args.command}: {error}", file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        return 130
    except BrokenPipeError:
        # The reader went away (kinetra export ... | head): stop quietly.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return 1
    return result
