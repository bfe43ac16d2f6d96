"""``kinetra list``: the default patterns in catalogue order."""

from __future__ import annotations

import argparse
import sys
from typing import TextIO

from .. import patterns
from .args import choice

FORMATS = ("text", "json", "csv")
FIELDS = ("name", "pack", "period_beats", "period_pips", "dimensions", "description")


def register(sub: argparse._SubParsersAction) -> None:  # type: ignore[type-arg]
    known_packs = patterns.pack_names()
    p = sub.add_parser("list", help="list the default patterns",
                       description="List the default patterns: name, pack, period in beats and pips, "
                                   "dimensions and description, in catalogue order.",
                       epilog="example: kinetra list --pack expansion --grep orbit")
    p.add_argument("--pack", type=choice(known_packs), choices=known_packs, metavar="PACK",
                   help=f"only this pack ({', '.join(known_packs)})")
    p.add_argument("--grep", metavar="TEXT", help="only patterns whose name or description holds TEXT "
                                                  "(any case)")
    p.add_argument("--format", type=choice(FORMATS), choices=FORMATS, default="text",
                   help="text (default, aligned columns), json (an array of objects) or csv "
                        "(with a header line), for scripts")
    p.set_defaults(run=run)


def _text(found: list[patterns.Pattern], out: TextIO) -> None:
    width = max(len(p.name) for p in found)
    pack_width = max(len(p.pack) for p in found)
    out.write(f"{'NAME':<{width}}  {'PACK':<{pack_width}}  {'BEATS':>5}  {'PIPS':>4}  DIM  DESCRIPTION\n")
    for p in found:
        out.write(f"{p.name:<{width}}  {p.pack:<{pack_width}}  {p.period_beats:>5g}  "
                  f"{p.period_pips:>4}  {p.dimensions:>3}  {p.description}\n")


def _records(found: list[patterns.Pattern]) -> list[dict[str, object]]:
    return [{field: getattr(p, field) for field in FIELDS} for p in found]


def _json(found: list[patterns.Pattern], out: TextIO) -> None:
    import json

    json.dump(_records(found), out, ensure_ascii=False, indent=1)
    out.write("\n")


def _csv(found: list[patterns.Pattern], out: TextIO) -> None:
    import csv

    writer = csv.DictWriter(out, FIELDS, lineterminator="\n")
    writer.writeheader()
    writer.writerows(_records(found))


def run(args: argparse.Namespace) -> int:
    found = patterns.select(patterns.patterns(), args.pack, args.grep)
    if not found:
        print("kinetra list: no pattern matches", file=sys.stderr)
        return 1
    {"text": _text, "json": _json, "csv": _csv}[args.format](found, sys.stdout)
    return 0
