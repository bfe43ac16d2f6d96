"""The default patterns as the tools see them: catalogue entries with a pack.

Everything comes from ``kinetra.catalogue()`` and ``kinetra.sample``. The
module does not say which pack a pattern belongs to; the catalogue lists the
fifteen built-ins first and then each pack as one run, in registry order, so
the pack follows from an entry's position once the packs of the build and
their sizes are known.
"""

from __future__ import annotations

from collections.abc import Iterable, Iterator
from typing import Final, NamedTuple

import kinetra

from ._built import PACKS as BUILT_PACKS

BUILTIN: Final = "builtin"
# Patterns in each content pack, in registry order.
PACK_SIZES: Final = {
    "initial": 28,
    "expansion": 24,
    "atlas": 256,
    "continuum": 320,
    "club": 144,
    "dancefloor": 944,
}
BUILTIN_COUNT: Final = 15


class Pattern(NamedTuple):
    """One catalogue entry and the pack it comes from."""

    name: str
    description: str
    period_pips: int
    dimensions: int
    pack: str

    @property
    def period_beats(self) -> float:
        return self.period_pips / kinetra.PIPS_PER_BEAT


def pack_names() -> list[str]:
    """``builtin`` and the packs of this build, in catalogue order."""
    return [BUILTIN, *BUILT_PACKS]


def _pack_runs() -> Iterator[str]:
    yield from [BUILTIN] * BUILTIN_COUNT
    for pack in BUILT_PACKS:
        yield from [pack] * PACK_SIZES.get(pack, 0)


def patterns() -> list[Pattern]:
    """Every default pattern, in catalogue order."""
    runs = _pack_runs()
    found = []
    for entry in kinetra.catalogue():
        found.append(Pattern(
            name=str(entry["name"]),
            description=str(entry["description"]),
            period_pips=int(entry["period_pips"]),
            dimensions=int(entry["dimensions"]),
            pack=next(runs, "unknown"),
        ))
    return found


def select(found: Iterable[Pattern], pack: str | None = None, text: str | None = None) -> list[Pattern]:
    """The patterns of ``pack`` (if given) whose name or description holds ``text``."""
    needle = text.casefold() if text else None
    return [
        p for p in found
        if (pack is None or p.pack == pack)
        and (needle is None or needle in p.name.casefold() or needle in p.description.casefold())
    ]


def find(name: str) -> Pattern:
    """The default pattern called ``name``; ValueError naming close matches if none."""
    found = patterns()
    for p in found:
        if p.name == name:
            return p
    import difflib  # only on this error path: keeps the command's start quick

    close = difflib.get_close_matches(name, [p.name for p in found], n=3)
    hint = f" (did you mean {', '.join(close)}?)" if close else " (see kinetra list)"
    raise ValueError(f"unknown pattern: {name}{hint}")


def loop(name: str, period_pips: int) -> list[tuple[float, float, float]]:
    """One loop of the pattern, one (x, y, z) per pip from pip 0."""
    sample = kinetra.sample
    return [sample(name, pip).as_tuple() for pip in range(period_pips)]
