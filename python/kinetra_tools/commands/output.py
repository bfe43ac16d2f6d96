"""Where a command's output goes: standard output, or a file written whole."""

from __future__ import annotations

import contextlib
import sys
from collections.abc import Iterator
from typing import TextIO, cast


@contextlib.contextmanager
def writing(path: str | None) -> Iterator[TextIO]:
    """Standard output for None or "-", otherwise ``path``, replaced only when complete."""
    if path is None or path == "-":
        yield sys.stdout
        return
    from ..files import replacing

    try:
        with replacing(path) as out:
            yield cast(TextIO, out)
    except OSError as error:
        raise ValueError(f"cannot write {path}: {error.strerror or error}") from None
