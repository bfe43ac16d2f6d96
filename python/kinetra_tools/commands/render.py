"""``kinetra render``: a music video of patterns moving in step with a song."""

from __future__ import annotations

import argparse

from ..palette import THEMES
from . import args as kinds
from . import timing


def register(sub: argparse._SubParsersAction) -> None:  # type: ignore[type-arg]
    p = sub.add_parser("render", help="render a music video: patterns moving in step with a song",
                       description="Draw one or more patterns moving in step with a song and write the "
                                   "video with the song as its sound track. One pattern fills the frame; "
                                   "several are laid out as a grid, each under its name and the axes it "
                                   "moves, beside a header with the song's name, bar.beat, the beats of the "
                                   "bar and the tempo. The point moves in x (to the right) and y (up), its "
                                   "size and colour show its depth z (blue far, orange near), a trail shows "
                                   "its last beat, and a ring and a glow flash on every beat. Frame n "
                                   "shows the pip sounding at n / FPS seconds. Without --audio, --bpm and "
                                   "--seconds make a silent clip. "
                                   "The output's extension picks the container: .mp4, .m4v, .mov or .mkv "
                                   "(H.264 and AAC), or .webm (VP9 and Opus). Needs ffmpeg, pycairo and numpy. "
                                   f"Limits: BPM up to {kinds.MAX_BPM:,}, FPS up to {kinds.MAX_FPS:,}, "
                                   f"at most {kinds.MAX_FRAMES:,} frames.",
                       epilog="example: kinetra render figure_eight circle --audio song.wav -o video.mp4")
    p.add_argument("names", metavar="NAME", nargs="+", help=kinds.source_help())
    p.add_argument("-o", "--output", metavar="OUT.mp4", required=True, help="video file to write")
    p.add_argument("--audio", metavar="SONG",
                   help="the song (WAV, FLAC, OGG, MP3, ...): the sound track and, unless --beats or "
                        "--bpm is given, the beats, found by analysing it (pip 0 on its first downbeat)")
    clock = p.add_mutually_exclusive_group()
    clock.add_argument("--beats", metavar="MAP",
                       help="follow a saved beat map (kinetra beats output) instead of analysing the song")
    clock.add_argument("--bpm", type=kinds.bpm, help="follow a fixed tempo from time 0 instead")
    timing.add_meter(p)
    p.add_argument("--seconds", type=kinds.seconds,
                   help="length of the video (default: the whole song, or the beat map's length)")
    p.add_argument("--fps", type=kinds.fps, default="30", help="frames a second (default 30)")
    p.add_argument("--size", type=kinds.size, default="1280x720", metavar="WxH",
                   help="frame size in pixels (default 1280x720)")
    p.add_argument("--cols", type=kinds.columns, metavar="N",
                   help="columns of the grid (default: the grid that fills the frame best)")
    p.add_argument("--title", type=kinds.title, metavar="TEXT",
                   help="the name in the header (default: the song's file name, or the tempo)")
    p.add_argument("--theme", type=kinds.choice(tuple(THEMES)), choices=tuple(THEMES), default="dark",
                   help="colours: dark (default) or light")
    p.set_defaults(run=run)


def run(args: argparse.Namespace) -> int:
    import math
    import os

    from .. import render
    from ..render.encode import audio_seconds, container, find
    from ..sources import open_source

    # Every frame count is checked before anything is read, analysed or drawn.
    if args.seconds is not None:
        kinds.frame_count(math.ceil(args.seconds * args.fps))
    container(args.output)
    sources = [open_source(name) for name in args.names]
    if args.cols is not None and args.cols > len(sources):
        raise ValueError(f"--cols {args.cols} is more than the {len(sources)} "
                         f"pattern{'s' if len(sources) > 1 else ''} given")
    find("ffmpeg")
    length = None
    if args.audio is not None:
        find("ffprobe")
        length = audio_seconds(args.audio)
    if args.beats is None and args.bpm is None and args.audio is None:
        raise ValueError("give --audio SONG, --beats MAP or --bpm B: the beat to move to")
    seconds = args.seconds or length
    if seconds is None and args.beats is None:
        raise ValueError("give --seconds S for a silent clip, or --audio SONG")
    if seconds is not None:
        kinds.frame_count(math.ceil(seconds * args.fps))
    clock = timing.timeline(args)
    if seconds is None:
        seconds = timing.song_seconds(clock)
        kinds.frame_count(math.ceil(seconds * args.fps))
    title = args.title
    if title is None and (args.audio or args.beats):
        title = os.path.splitext(os.path.basename(args.audio or args.beats))[0] or None
    count = render.render(sources, clock, args.output, fps=args.fps, size=args.size,
                          seconds=seconds, audio=args.audio, title=title, columns=args.cols,
                          theme=args.theme)
    print(f"{args.output}: {count} frames, {float(seconds):.2f} s")
    return 0
