"""Tools around the kinetra module: musical time, the ``kinetra`` command, the gallery.

The extension module ``kinetra`` stays exactly as it is; this package sits
beside it in the same wheel and reads everything through
``kinetra.catalogue()`` and ``kinetra.sample``.

- ``timeline``: the one model of musical time (seconds to pips and back, and
  bars) that every clock implements;
- ``clock``: the constant tempo (``Tempo``), exactly;
- ``sources``: what the tools move a point with: a default pattern, a
  ``SampledPattern``, a ``PatternLibrary`` entry, a ``SampledRecording``;
- ``loops``: a user's loop read from a CSV, JSON or ``.npy`` file;
- ``beatmap``: a recording's beats and bars as a timeline (``BeatMap``), and
  ``beatmap_io``, its JSON and beat-annotation files;
- ``analysis``: ``analyse(path)``, a recording's beat map from its sound;
- ``frames``: ``Frames``, video frames over a timeline, and the frame stream
  (frame, seconds, pip, each source's x, y, z);
- ``progress``: the one-line progress bar of long commands;
- ``patterns``: catalogue entries with the pack they come from;
- ``export``: one row per frame (frame, seconds, pip, x, y, z) as CSV or JSON;
- ``trace``: the terminal trace of ``kinetra show``;
- ``gallery``: the self-contained HTML gallery page;
- ``live``: live clocks (fixed tempo, tap tempo, MIDI clock, Link), the live
  frame loop and OSC output of ``kinetra play``;
- ``cli``: the ``kinetra`` console command.
"""

from typing import TYPE_CHECKING, Any

if TYPE_CHECKING:
    from .analysis import analyse
    from .beatmap import BeatMap
    from .clock import FrameClock, Tempo, frame_pip, pip_at, seconds_at
    from .frames import Frame, stream
    from .loops import read_loop
    from .sources import DefaultPattern, LibraryPattern, Recording, Source, UserPattern, open_source
    from .frames import Frames
    from .timeline import Timeline

# Public name -> the module that defines it. Each loads on first use, so the
# command starts without the ones it does not need.
_HOMES = {
    "FrameClock": "clock", "Tempo": "clock", "frame_pip": "clock", "pip_at": "clock",
    "seconds_at": "clock",
    "Frames": "frames", "Timeline": "timeline",
    "Source": "sources", "DefaultPattern": "sources", "UserPattern": "sources",
    "LibraryPattern": "sources", "Recording": "sources", "open_source": "sources",
    "read_loop": "loops",
    "Frame": "frames", "stream": "frames",
    "BeatMap": "beatmap", "analyse": "analysis",
}
__all__ = [
    "BeatMap", "DefaultPattern", "Frame", "FrameClock", "Frames", "LibraryPattern", "Recording",
    "Source", "Tempo", "Timeline", "UserPattern", "analyse", "frame_pip", "open_source", "pip_at",
    "read_loop", "seconds_at", "stream",
]


def __getattr__(name: str) -> Any:
    home = _HOMES.get(name)
    if home is not None:
        import importlib

        return getattr(importlib.import_module(f".{home}", __name__), name)
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
