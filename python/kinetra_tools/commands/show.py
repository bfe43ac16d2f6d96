"""``kinetra show``: the terminal trace of a pattern, in step with a beat."""

from __future__ import annotations

import argparse
import sys

from . import args as kinds
from . import timing


def register(sub: argparse._SubParsersAction) -> None:  # type: ignore[type-arg]
    p = sub.add_parser("show", help="trace a pattern in the terminal, in step with a beat",
                       description="Trace a pattern with an ASCII dot, in step with a beat. "
                                   "In a terminal the dot moves live; in a pipe one line is printed "
                                   "per eighth of a beat.",
                       epilog="example: kinetra show figure_eight --bpm 100 --bars 1")
    p.add_argument("name", metavar="NAME", help=kinds.source_help())
    timing.add_arguments(p, bpm_default="120")
    p.add_argument("--bars", type=kinds.bars, default=2,
                   help="bars (of --meter beats, or the beat map's own bars; default 2)")
    p.set_defaults(run=run)


def run(args: argparse.Namespace) -> int:
    from .. import trace
    from ..sources import open_source

    source = open_source(args.name)
    trace.show(source, timing.timeline(args), args.bars, sys.stdout)
    return 0
