"""The musical clock of a command: a constant tempo, a song's beats, or a saved beat map.

``add_arguments`` adds ``--bpm``, ``--audio SONG`` and ``--beats MAP`` (one of
them; ``--bpm`` may have a default) and ``--meter`` to a parser, and
``timeline`` turns the parsed arguments into a ``Timeline``: every command
that follows a beat (export, show, render, and play at a fixed tempo) gets
its clock there.
"""

from __future__ import annotations

import argparse
from fractions import Fraction
from typing import TYPE_CHECKING

from . import args as kinds

if TYPE_CHECKING:
    from ..beatmap import BeatMap
    from ..timeline import Timeline


def add_arguments(parser: argparse.ArgumentParser, bpm_default: str | None = None,
                  beat_zero: bool = False) -> None:
    """Add the clock options; without ``bpm_default`` one of them is required."""
    clock = parser.add_mutually_exclusive_group(required=bpm_default is None)
    bpm_help = "tempo in beats a minute" + (f" (default {bpm_default})" if bpm_default else "")
    clock.add_argument("--bpm", type=kinds.bpm, help=bpm_help)
    clock.add_argument("--audio", metavar="SONG",
                       help="follow the beats of a recording (WAV, FLAC, OGG, MP3, ...): "
                            "pip 0 on its first downbeat")
    clock.add_argument("--beats", metavar="MAP",
                       help="follow a saved beat map (kinetra beats output: JSON or beat-annotation text)")
    add_meter(parser)
    if beat_zero:
        parser.add_argument("--beat-zero", type=kinds.exact, default=None, metavar="SECONDS",
                            help="with --bpm: time at which beat zero (pip 0) sounds (default 0)")
    parser.set_defaults(_bpm_default=bpm_default)


def add_meter(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("--meter", type=kinds.meter, metavar="N",
                        help="beats a bar: with --bpm (default 4), or for the analysis of --audio "
                             "(default: found, 3 or 4); a beat map has its own bars")


def beat_map(path: str, meter: int | None = None, min_bpm: float | None = None,
             max_bpm: float | None = None, online: bool = False) -> BeatMap:
    """Analyse ``path`` with a progress bar on a terminal (``online``: follow it as live)."""
    from ..analysis import analyse, online as live, tempo_range
    from ..progress import for_terminal

    bar = for_terminal(f"{'following' if online else 'analysing'} {path}")
    try:
        if online:
            return live.follow(path, meter, tempo_range(min_bpm, max_bpm), progress=bar)
        return analyse(path, meter=meter, progress=bar, min_bpm=min_bpm, max_bpm=max_bpm)
    finally:
        if bar is not None:
            bar.close()


def timeline(args: argparse.Namespace) -> Timeline:
    """The Timeline the parsed clock options ask for (see ``clock``)."""
    # Not every command has every option: those it lacks count as not given.
    return clock(bpm=args.bpm if args.bpm is not None else getattr(args, "_bpm_default", None),
                 audio=getattr(args, "audio", None), beats=getattr(args, "beats", None),
                 meter=getattr(args, "meter", None), beat_zero=getattr(args, "beat_zero", None))


def clock(*, bpm: Fraction | str | None = None, audio: str | None = None, beats: str | None = None,
          meter: int | None = None, beat_zero: Fraction | None = None) -> Timeline:
    """A loaded map, a Tempo or an analysed song, in that order: the one clock of every command.

    A command that takes only one of ``beats``, ``bpm`` and ``audio``
    (export, show, play) gets that one; render takes ``audio`` as its sound
    track too, and follows it only when neither of the others is given.
    """
    from ..clock import Tempo
    from ..timeline import DEFAULT_METER

    if (audio or beats) is not None and beat_zero is not None:
        raise ValueError("--beat-zero goes with --bpm: a song's beat map puts pip 0 on its first downbeat")
    if beats is not None:
        if meter is not None:
            raise ValueError("--meter does not go with --beats: a beat map has its own bars")
        from ..beatmap import BeatMap

        return BeatMap.load(beats)
    if bpm is None and audio is not None:
        return beat_map(audio, meter)
    if bpm is None:
        raise ValueError("give --audio SONG, --beats MAP or --bpm B: the beat to move to")
    return Tempo(kinds.bpm(bpm) if isinstance(bpm, str) else bpm,
                 beat_zero if beat_zero is not None else Fraction(0),
                 meter if meter is not None else DEFAULT_METER)


def song_seconds(clock: Timeline) -> Fraction:
    """The length of the song a clock follows: the end of its span (ValueError without one)."""
    span = clock.span()
    if span is None:
        raise ValueError("one of the arguments --seconds --bars is required (or a song: --audio, --beats)")
    return span[1]
