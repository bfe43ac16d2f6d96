"""``kinetra gallery``: the self-contained HTML page of every default pattern."""

from __future__ import annotations

import argparse
import sys


def register(sub: argparse._SubParsersAction) -> None:  # type: ignore[type-arg]
    p = sub.add_parser("gallery", help="write the pattern gallery, one self-contained HTML page",
                       description="Write one self-contained HTML page with a card for every default "
                                   "pattern: its x-y trace coloured by depth, its axis curves over one "
                                   "loop, a point moving in time with an adjustable BPM, and filters by "
                                   "pack and text. The page loads nothing from the network.",
                       epilog="example: kinetra gallery patterns.html")
    p.add_argument("out", metavar="OUT.html", help="file to write")
    p.set_defaults(run=run)


def run(args: argparse.Namespace) -> int:
    from .. import gallery, patterns

    found = patterns.patterns()
    try:
        size = gallery.write(args.out, found)
    except OSError as error:
        raise ValueError(f"cannot write {args.out}: {error.strerror or error}") from error
    print(f"{args.out}: {len(found)} patterns, {size / 1e6:.2f} MB")
    return 0
