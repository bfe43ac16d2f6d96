"""The musical clock of a command: a constant tempo, a song's beats, or a saved beat map.

``add_arguments`` adds ``--bpm``, ``--audio SONG`` and ``--beats MAP`` (one of
them; ``--bpm`` may have a default) to a parser, and ``timeline`` turns the
parsed arguments into a ``Timeline``.
"""

from __future__ import annotations

import argparse
from fractions import Fraction
from typing import TYPE_CHECKING

from .args import bpm as bounded_bpm

if TYPE_CHECKING:
    from ..beatmap import BeatMap
    from ..timeline import Timeline


def add_arguments(parser: argparse.ArgumentParser, bpm_default: str | None = None,
                  beat_zero: bool = False) -> None:
    """Add the clock options; without ``bpm_default`` one of them is required."""
    clock = parser.add_mutually_exclusive_group(required=bpm_default is None)
    bpm_help = "tempo in beats a minute" + (f" (default {bpm_default})" if bpm_default else "")
    clock.add_argument("--bpm", type=bounded_bpm, help=bpm_help)
    clock.add_argument("--audio", metavar="SONG",
                       help="follow the beats of a recording (WAV, FLAC, OGG, MP3, ...): "
                            "pip 0 on its first downbeat")
    clock.add_argument("--beats", metavar="MAP",
                       help="follow a saved beat map (kinetra beats output: JSON or beat-annotation text)")
    if beat_zero:
        from .args import exact

        parser.add_argument("--beat-zero", type=exact, default="0", metavar="SECONDS",
                            help="with --bpm: time at which beat zero (pip 0) sounds (default 0)")
    parser.set_defaults(_bpm_default=bpm_default)


def beat_map(path: str, meter: int | None = None, min_bpm: float | None = None,
             max_bpm: float | None = None) -> BeatMap:
    """Analyse ``path`` with a progress bar on a terminal."""
    from ..analysis import analyse
    from ..analysis.progress import for_terminal

    bar = for_terminal(f"analysing {path}")
    try:
        return analyse(path, meter=meter, progress=bar, min_bpm=min_bpm, max_bpm=max_bpm)
    finally:
        if bar is not None:
            bar.close()


def timeline(args: argparse.Namespace) -> Timeline:
    """The Timeline the arguments ask for: a Tempo, an analysed song or a loaded map."""
    beat_zero = getattr(args, "beat_zero", None)
    song = getattr(args, "audio", None) or getattr(args, "beats", None)
    if song is not None and beat_zero is not None:
        raise ValueError("--beat-zero goes with --bpm: a song's beat map puts pip 0 on its first downbeat")
    if getattr(args, "audio", None) is not None:
        return beat_map(args.audio)
    if getattr(args, "beats", None) is not None:
        from ..beatmap import BeatMap

        return BeatMap.load(args.beats)
    from ..clock import Tempo
    from ..numbers import exact

    bpm = args.bpm if args.bpm is not None else exact(args._bpm_default)
    return Tempo(bpm, beat_zero if beat_zero is not None else Fraction(0))


def span_seconds(clock: Timeline, seconds: Fraction | None, bars: int | None) -> Fraction:
    """The length of a span from time 0: ``seconds``, or to the end of bar ``bars``, or the whole song."""
    from ..clock import Tempo
    from ..numbers import exact

    if seconds is not None:
        return seconds
    if bars is not None:
        if isinstance(clock, Tempo):
            return clock.bars_seconds(bars)
        meter: int = getattr(clock, "beats_per_bar", 4)
        return max(Fraction(0), clock.seconds_at(bars * meter * 64))
    duration = getattr(clock, "duration", None)
    if duration is None:
        beats = getattr(clock, "beats", None)
        if not beats:
            raise ValueError("one of the arguments --seconds --bars is required (or a song: --audio, --beats)")
        duration = beats[-1]
    length: Fraction = exact(duration, "duration")
    return length


