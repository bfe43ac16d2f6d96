"""Tools around the kinetra module: musical time, the ``kinetra`` command, the gallery.

The extension module ``kinetra`` stays exactly as it is; this package sits
beside it in the same wheel and reads everything through
``kinetra.catalogue()`` and ``kinetra.sample``.

- ``clock``: seconds and video frames to pips and back, exactly;
- ``patterns``: catalogue entries with the pack they come from;
- ``export``: one row per frame (frame, seconds, pip, x, y, z) as CSV or JSON;
- ``trace``: the terminal trace of ``kinetra show``;
- ``gallery``: the self-contained HTML gallery page;
- ``cli``: the ``kinetra`` console command.
"""

from typing import TYPE_CHECKING, Any

if TYPE_CHECKING:
    from .clock import FrameClock, Tempo, frame_pip, pip_at, seconds_at

__all__ = ["FrameClock", "Tempo", "frame_pip", "pip_at", "seconds_at"]


def __getattr__(name: str) -> Any:
    # The time helpers load on first use, so the command starts without them.
    if name in __all__:
        from . import clock

        return getattr(clock, name)
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
