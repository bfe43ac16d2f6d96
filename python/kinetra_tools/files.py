"""Files written whole or not at all.

Every file a command writes goes first to a temporary name in the target's
own directory and is renamed over the target only once it is complete, so a
failure or an interrupt midway (a full disk, ``ulimit -f``, Ctrl-C) leaves
the old file, if any, exactly as it was and no partial file behind.
"""

from __future__ import annotations

import contextlib
import errno
import os
import tempfile
from collections.abc import Iterator
from typing import IO, Any


@contextlib.contextmanager
def replacing_path(path: str) -> Iterator[str]:
    """A temporary path beside ``path`` (same extension) that replaces it on success.

    For writers that take a file name (ffmpeg, an encoder): write to the
    yielded path; it is renamed to ``path`` when the block ends normally and
    removed on any exception, KeyboardInterrupt included.
    """
    target = os.path.abspath(path)
    folder, base = os.path.split(target)
    stem, suffix = os.path.splitext(base)
    if os.path.isdir(target):
        raise IsADirectoryError(errno.EISDIR, os.strerror(errno.EISDIR), path)
    try:
        fd, temporary = tempfile.mkstemp(prefix=f".{stem}.", suffix=f".part{suffix}", dir=folder)
    except OSError as error:
        raise type(error)(error.errno, error.strerror, path) from None
    os.close(fd)
    try:
        yield temporary
        _keep_mode(target, temporary)
        os.replace(temporary, target)
    except BaseException:
        with contextlib.suppress(OSError):
            os.unlink(temporary)
        raise


@contextlib.contextmanager
def replacing(path: str, mode: str = "w", encoding: str | None = "utf-8") -> Iterator[IO[Any]]:
    """An open file that becomes ``path`` when the block ends normally ("w" or "wb")."""
    if "b" in mode:
        encoding = None
    with replacing_path(path) as temporary:
        with open(temporary, mode, encoding=encoding) as out:
            yield out
            out.flush()
            os.fsync(out.fileno())


def _keep_mode(target: str, temporary: str) -> None:
    """Give the new file the old one's permissions, or the usual ones for a new file."""
    try:
        mode = os.stat(target).st_mode & 0o7777
    except FileNotFoundError:
        umask = os.umask(0)
        os.umask(umask)
        mode = 0o666 & ~umask
    os.chmod(temporary, mode)
