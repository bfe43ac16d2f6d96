"""``kinetra list``: the default patterns in catalogue order."""

from __future__ import annotations

import argparse
import sys

from .. import patterns


def register(sub: argparse._SubParsersAction) -> None:  # type: ignore[type-arg]
    known_packs = patterns.pack_names()
    p = sub.add_parser("list", help="list the default patterns",
                       description="List the default patterns: name, pack, period in beats and pips, "
                                   "dimensions and description, in catalogue order.",
                       epilog="example: kinetra list --pack expansion --grep orbit")
    p.add_argument("--pack", choices=known_packs, metavar="PACK",
                   help=f"only this pack ({', '.join(known_packs)})")
    p.add_argument("--grep", metavar="TEXT", help="only patterns whose name or description holds TEXT "
                                                  "(any case)")
    p.set_defaults(run=run)


def run(args: argparse.Namespace) -> int:
    found = patterns.select(patterns.patterns(), args.pack, args.grep)
    if not found:
        print("kinetra list: no pattern matches", file=sys.stderr)
        return 1
    width = max(len(p.name) for p in found)
    pack_width = max(len(p.pack) for p in found)
    out = sys.stdout
    out.write(f"{'NAME':<{width}}  {'PACK':<{pack_width}}  {'BEATS':>5}  {'PIPS':>4}  DIM  DESCRIPTION\n")
    for p in found:
        out.write(f"{p.name:<{width}}  {p.pack:<{pack_width}}  {p.period_beats:>5g}  "
                  f"{p.period_pips:>4}  {p.dimensions:>3}  {p.description}\n")
    return 0
