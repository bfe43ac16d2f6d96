"""Sources: anything the tools can move a point with.

A source has a ``name``, says how its pips repeat (``period_pips`` for a loop,
``None`` for a recording, which has a ``span`` of pips instead) and gives
``sample(pip) -> (x, y, z)``. Every tool (export, the terminal trace, the
gallery, video, live output) takes sources, so a user's own loop or recording
goes wherever a default pattern goes:

- ``DefaultPattern``: one of the module's default patterns, by name;
- ``UserPattern``: a ``kinetra.SampledPattern``;
- ``LibraryPattern``: a pattern found by name through a ``kinetra.PatternLibrary``
  (its own patterns first, then the defaults);
- ``Recording``: a ``kinetra.SampledRecording``, its columns named x, y and z
  (or its first three columns) read as the three axes. Outside its rows it
  holds its first or last row, so a span longer than the take stays still.

``open_source(text)`` turns what a user typed where a pattern name goes into a
source: a default name, or a file holding a loop (``.csv`` or ``.json`` rows of
x, y, z, or a NumPy ``.npy`` array of shape (n, 3)).
"""

from __future__ import annotations

from typing import Protocol, runtime_checkable

import kinetra

Point = tuple[float, float, float]


@runtime_checkable
class Source(Protocol):
    """A named motion: a loop of ``period_pips`` pips, or a recording over ``span``."""

    @property
    def name(self) -> str: ...

    @property
    def period_pips(self) -> int | None: ...

    @property
    def span(self) -> tuple[int, int] | None:
        """First and last pip a recording holds; None for a loop."""
        ...

    def sample(self, pip: int) -> Point: ...


class _Loop:
    """What the loops share: a period and no span."""

    __slots__ = ("name", "period_pips")
    span = None

    def __init__(self, name: str, period_pips: int) -> None:
        self.name = name
        self.period_pips: int | None = period_pips

    def __repr__(self) -> str:
        return f"{type(self).__name__}({self.name!r})"


class DefaultPattern(_Loop):
    """A default pattern of the module, by name (ValueError with a hint if unknown)."""

    __slots__ = ()

    def __init__(self, name: str) -> None:
        from .patterns import find

        found = find(name)
        super().__init__(found.name, found.period_pips)

    def sample(self, pip: int) -> Point:
        return kinetra.sample(self.name, pip).as_tuple()


class UserPattern(_Loop):
    """A caller's ``kinetra.SampledPattern``."""

    __slots__ = ("pattern",)

    def __init__(self, pattern: kinetra.SampledPattern) -> None:
        self.pattern = pattern
        super().__init__(pattern.name, pattern.period_pips)

    def sample(self, pip: int) -> Point:
        return self.pattern.sample(pip).as_tuple()


class LibraryPattern(_Loop):
    """A pattern found through a ``kinetra.PatternLibrary``: its own first, then the defaults."""

    __slots__ = ("library",)

    def __init__(self, library: kinetra.PatternLibrary, name: str) -> None:
        self.library = library
        for entry in library.catalogue():
            if entry["name"] == name:
                super().__init__(name, int(entry["period_pips"]))
                return
        library.sample(name, 0)  # raises the library's own error for an unknown name
        raise ValueError(f"unknown pattern: {name!r}")

    def sample(self, pip: int) -> Point:
        return self.library.sample(self.name, pip).as_tuple()


class Recording:
    """A ``kinetra.SampledRecording`` as a source; holds its end rows outside its span."""

    __slots__ = ("recording", "name", "span", "_columns")
    period_pips = None

    def __init__(self, recording: kinetra.SampledRecording) -> None:
        self.recording = recording
        self.name = recording.name
        first = recording.start_pip
        self.span: tuple[int, int] | None = (first, first + recording.sample_count - 1)
        axes = list(recording.dimensions)
        if any(axis in axes for axis in ("x", "y", "z")):
            self._columns = [axes.index(a) if a in axes else None for a in ("x", "y", "z")]
        else:
            self._columns = [i if i < len(axes) else None for i in range(3)]

    def sample(self, pip: int) -> Point:
        first, last = self.span  # type: ignore[misc]
        row = self.recording.sample(min(max(pip, first), last))
        x, y, z = (0.0 if c is None else row[c] for c in self._columns)
        return x, y, z

    def __repr__(self) -> str:
        return f"Recording({self.name!r})"


LOOP_SUFFIXES = (".csv", ".json", ".npy")


def is_loop_file(text: str) -> bool:
    """Whether ``text`` names a loop file rather than a pattern."""
    return text.lower().endswith(LOOP_SUFFIXES) or "/" in text or "\\" in text


def open_source(text: str) -> Source:
    """A default pattern by name, or a loop read from a file (see ``loops``)."""
    if is_loop_file(text):
        from .loops import read_loop

        return UserPattern(read_loop(text))
    return DefaultPattern(text)
