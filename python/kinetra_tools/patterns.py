"""The default patterns as the tools see them: catalogue entries with a pack.

Everything comes from ``kinetra.catalogue()`` and ``kinetra.sample``. The
module does not say which pack a pattern belongs to; the catalogue lists the
built-ins first and then each pack as one run, in registry order, so the pack
follows from an entry's position. The packs of the build and their sizes
come from the pack generator itself (``_built.PACKS``), so a pattern added to
a pack moves every later label with it.
"""

from __future__ import annotations

from collections.abc import Iterable, Iterator, Mapping, Sequence
from typing import Any, Final, NamedTuple, cast

import kinetra

from ._built import PACKS as BUILT_PACKS

BUILTIN: Final = "builtin"


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
    return [BUILTIN, *(pack for pack, _ in BUILT_PACKS)]


def _pack_runs(total: int, packs: Sequence[tuple[str, int]]) -> Iterator[str]:
    yield from [BUILTIN] * (total - sum(size for _, size in packs))
    for pack, size in packs:
        yield from [pack] * size


def labelled(entries: Sequence[Mapping[str, Any]],
             packs: Sequence[tuple[str, int]] = BUILT_PACKS) -> list[Pattern]:
    """Catalogue entries with their pack, given the packs and sizes in registry order."""
    runs = _pack_runs(len(entries), packs)
    return [
        Pattern(
            name=str(entry["name"]),
            description=str(entry["description"]),
            period_pips=int(entry["period_pips"]),
            dimensions=int(entry["dimensions"]),
            pack=next(runs, "unknown"),
        )
        for entry in entries
    ]


def patterns() -> list[Pattern]:
    """Every default pattern, in catalogue order."""
    return labelled(kinetra.catalogue())


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
    hint = near_misses(name, [p.name for p in found])
    tail = f" (did you mean {', '.join(hint)}?)" if hint else " (see kinetra list)"
    raise ValueError(f"unknown pattern: {name!r}{tail}")


def near_misses(name: str, names: Sequence[str], n: int = 3) -> list[str]:
    """Up to ``n`` names a user may have meant by ``name``, closest first.

    Case and surrounding blanks are ignored; a name that starts with the
    letters typed counts too ("fig8" finds figure_eight).
    """
    import difflib  # only on this error path: keeps the command's start quick

    typed = name.strip().casefold()
    if not typed:
        return []
    folded = {n_.casefold(): n_ for n_ in names}
    if typed in folded:
        return [folded[typed]]
    close = difflib.get_close_matches(typed, list(folded), n=n)
    letters = "".join(ch for ch in typed if ch.isalpha())
    if len(letters) >= 3 and len(close) < n:
        starts = [k for k in folded if k.startswith(letters) and k not in close]
        close += sorted(starts, key=lambda k: -difflib.SequenceMatcher(None, typed, k).ratio())
    return [folded[k] for k in close[:n]]


def loop(name: str, period_pips: int) -> list[tuple[float, float, float]]:
    """One loop of the pattern, one (x, y, z) per pip from pip 0 (one batch call)."""
    rows = cast(list[list[float]], kinetra.sample_many(name, range(period_pips)).tolist())
    return [(x, y, z) for x, y, z in rows]
