"""``kinetra gallery``: the self-contained HTML page of every default pattern."""

from __future__ import annotations

import argparse
import sys

from .output import writing


def register(sub: argparse._SubParsersAction) -> None:  # type: ignore[type-arg]
    p = sub.add_parser("gallery", help="write the pattern gallery, one self-contained HTML page",
                       description="Write one self-contained HTML page with a card for every default "
                                   "pattern: its x-y trace coloured by depth, its axis curves over one "
                                   "loop, a point moving in time with an adjustable BPM, and filters by "
                                   "pack and text. The page loads nothing from the network. The file is "
                                   "replaced only once the new page is complete.",
                       epilog="example: kinetra gallery patterns.html")
    p.add_argument("out", metavar="OUT.html", help="file to write (- for standard output)")
    p.set_defaults(run=run)


def run(args: argparse.Namespace) -> int:
    from .. import gallery, patterns

    found = patterns.patterns()
    html = gallery.page(found)
    with writing(args.out) as out:
        out.write(html)
    if args.out != "-":
        size = len(html.encode("utf-8"))
        print(f"{args.out}: {len(found)} patterns, {size / 1e6:.2f} MB")
    return 0
