"""How paths are handed to ffmpeg and ffprobe."""

from __future__ import annotations


def file_url(path: str) -> str:
    """``path`` as ffmpeg's address of a file. ffmpeg reads a name such as
    ``concat:a.wav`` or ``http:x`` as a protocol and an address; with ``file:``
    in front, it opens the file of that name, whatever the name holds."""
    return f"file:{path}"
