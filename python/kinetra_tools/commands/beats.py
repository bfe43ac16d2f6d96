"""``kinetra beats``: the beats and bars of a recording, as JSON or beat-annotation text."""

from __future__ import annotations

import argparse
import sys

from . import args as kinds


def register(sub: argparse._SubParsersAction) -> None:  # type: ignore[type-arg]
    p = sub.add_parser("beats", help="find the beats and bars of a song (a beat map)",
                       description="Analyse a recording (WAV, FLAC, OGG; MP3 and other formats through "
                                   "ffmpeg) and print its beat map: the time of every beat in seconds and "
                                   "which beats start a bar. JSON is an object with \"beats\", "
                                   "\"downbeats\", \"bpm\" (the median tempo), \"meter\" and \"duration\"; "
                                   "the beats format is one line per beat: seconds, then the position in "
                                   "the bar (1 starts a bar), as MIR datasets annotate beats. Either form "
                                   "can be corrected by hand and used with --beats MAP by export and show.",
                       epilog="example: kinetra beats song.mp3 -o song.beats.json")
    p.add_argument("song", metavar="SONG", help="the recording to analyse")
    p.add_argument("--format", choices=["json", "beats"], default=None,
                   help="json (default) or beats (annotation text); with -o, taken from the file "
                        "name's extension (.beats, .txt) unless given")
    p.add_argument("--meter", type=kinds.meter, metavar="N", help="beats a bar (default: found, 3 or 4)")
    p.add_argument("--min-bpm", type=kinds.analysis_tempo, metavar="BPM",
                   help="the slowest tempo the song may have (40 to 240; default 40): with --max-bpm, "
                        "settles a song found at twice or half its tempo")
    p.add_argument("--max-bpm", type=kinds.analysis_tempo, metavar="BPM",
                   help="the fastest tempo the song may have (40 to 240; default 240)")
    p.add_argument("--online", action="store_true",
                   help="follow the beat as kinetra play --listen would, hearing the song once from "
                        "the start with no look back, as fast as it can; print the beats it followed")
    p.add_argument("-o", "--output", metavar="FILE", help="write the map to FILE instead of printing it")
    p.set_defaults(run=run)


def run(args: argparse.Namespace) -> int:
    from .timing import beat_map

    if args.min_bpm is not None and args.max_bpm is not None and args.min_bpm > args.max_bpm:
        raise ValueError(f"--min-bpm {args.min_bpm:g} is above --max-bpm {args.max_bpm:g}")
    song = beat_map(args.song, args.meter, args.min_bpm, args.max_bpm, online=args.online)
    if args.output is not None:
        try:
            song.save(args.output, args.format)
        except OSError as error:
            raise ValueError(f"cannot write {args.output}: {error.strerror or error}") from None
    elif args.format == "beats":
        song.write_annotation(sys.stdout)
    else:
        song.write_json(sys.stdout)
    return 0
