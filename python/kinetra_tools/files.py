"""Where a command's output goes: a file written whole or not at all, or a device written through.

Every command that writes (``export``, ``beats``, ``gallery``, ``render``)
goes through ``replacing_path`` (writers that take a file name) or
``replacing`` (an open file), which look at what the output is:

- a regular file, or nothing yet: the output goes first to a temporary name
  in the same directory and is renamed over it only once complete, so a
  failure or a stop midway (a full disk, ``ulimit -f``, Ctrl-C, SIGTERM)
  leaves the old file, if any, exactly as it was and no partial file behind;
- a symbolic link: followed, and the file it points to is replaced as above,
  in that file's own directory, so the link stays a link;
- a character or block device, a FIFO or a socket: written directly, with
  no temporary file (``/dev/null`` stays a device, a FIFO's reader gets the
  data, a listening socket gets a connection);
- a directory: refused (IsADirectoryError).
"""

from __future__ import annotations

import contextlib
import errno
import os
import socket
import stat
import tempfile
from collections.abc import Iterator
from typing import IO, Any


def _destination(path: str) -> tuple[str, os.stat_result | None]:
    """The file that writing ``path`` writes, symbolic links followed, and its status
    (None if it does not exist yet); IsADirectoryError for a directory.

    A device, FIFO or socket is written by the path given: a name such as
    /dev/fd/63 (a shell's ``>(...)``) leads to a pipe that has no other name.
    """
    try:
        status = os.stat(path)
    except FileNotFoundError:
        status = None
    except OSError as error:
        raise type(error)(error.errno, error.strerror, path) from None
    if status is None or stat.S_ISREG(status.st_mode):
        return os.path.realpath(path), status
    if stat.S_ISDIR(status.st_mode):
        raise IsADirectoryError(errno.EISDIR, os.strerror(errno.EISDIR), path)
    return path, status


@contextlib.contextmanager
def replacing_path(path: str) -> Iterator[str]:
    """The path to hand a writer that takes a file name (ffmpeg, an encoder) for ``path``.

    For a regular file (or none), a temporary path beside the file (same
    extension) that is renamed over it when the block ends normally and
    removed on any exception, KeyboardInterrupt included. For a device, FIFO
    or socket, the device's own path.
    """
    with _output(path) as (written, _):
        yield written


@contextlib.contextmanager
def replacing(path: str, mode: str = "w", encoding: str | None = "utf-8") -> Iterator[IO[Any]]:
    """An open file that becomes ``path`` when the block ends normally ("w" or "wb")."""
    if "b" in mode:
        encoding = None
    with _output(path) as (written, status):
        if status is not None and stat.S_ISSOCK(status.st_mode):
            with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as connection:
                connection.connect(written)
                with open(connection.fileno(), mode, encoding=encoding, closefd=False) as out:
                    yield out
            return
        with open(written, mode, encoding=encoding) as out:
            yield out
            out.flush()
            if status is None or stat.S_ISREG(status.st_mode):
                os.fsync(out.fileno())


@contextlib.contextmanager
def _output(path: str) -> Iterator[tuple[str, os.stat_result | None]]:
    """(the path to write, the status of what it writes through, None for a temporary file)."""
    target, status = _destination(path)
    if status is not None and not stat.S_ISREG(status.st_mode):
        yield target, status
        return
    folder, base = os.path.split(target)
    stem, suffix = os.path.splitext(base)
    try:
        fd, temporary = tempfile.mkstemp(prefix=f".{stem}.", suffix=f".part{suffix}", dir=folder)
    except OSError as error:
        raise type(error)(error.errno, error.strerror, path) from None
    os.close(fd)
    try:
        yield temporary, None
        _keep_mode(status, temporary)
        os.replace(temporary, target)
    except BaseException:
        with contextlib.suppress(OSError):
            os.unlink(temporary)
        raise


def _keep_mode(status: os.stat_result | None, temporary: str) -> None:
    """Give the new file the old one's permissions, or the usual ones for a new file."""
    if status is not None:
        mode = status.st_mode & 0o7777
    else:
        umask = os.umask(0)
        os.umask(umask)
        mode = 0o666 & ~umask
    os.chmod(temporary, mode)
