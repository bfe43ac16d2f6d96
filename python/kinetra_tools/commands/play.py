"""``kinetra play``: patterns live, in time with a clock, to OSC and the terminal."""

from __future__ import annotations

import argparse
import sys
from collections.abc import Callable
from typing import Any

from . import args as kinds


def register(sub: argparse._SubParsersAction) -> None:  # type: ignore[type-arg]
    p = sub.add_parser("play", help="play patterns live in time with a clock, to OSC and the terminal",
                       description="Play patterns live: every frame, each pattern's position at the pip "
                                   "the clock says, sent as OSC to another program and drawn in the "
                                   "terminal (off a terminal, one line per beat). The clock is a fixed "
                                   "tempo (--bpm), taps on Enter or space (--tap), an Ableton Link "
                                   "session (--link), MIDI clock from an input port (--midi-clock) or the "
                                   "beat of the music on an audio input (--listen). "
                                   "Runs until Ctrl-C or q, or for --seconds. Each frame sends one OSC "
                                   "bundle with /kinetra/NAME (pip: int32, x, y, z: float32) per pattern.",
                       epilog="example: kinetra play circle figure_eight --bpm 128 --osc 127.0.0.1:9000")
    p.add_argument("names", nargs="+", metavar="NAME", help=kinds.source_help())
    clock = p.add_mutually_exclusive_group()
    clock.add_argument("--tap", action="store_true",
                       help="tap the beat on Enter or space (--bpm sets the tempo until the second tap)")
    clock.add_argument("--link", action="store_true",
                       help="follow an Ableton Link session (--bpm proposes a tempo)")
    clock.add_argument("--midi-clock", metavar="PORT",
                       help="follow MIDI clock from the input port PORT (its name, or a part of it)")
    clock.add_argument("--listen", nargs="?", const="", metavar="SOURCE",
                       help="follow the beat of the music on an audio input: SOURCE is a JACK output "
                            "port or client, or a PortAudio input device (its name, or a part of it); "
                            "alone, JACK's physical inputs or the default input. --bpm is the tempo "
                            "until a beat is followed, --meter fixes the beats a bar")
    p.add_argument("--bpm", type=kinds.bpm, help="tempo (default 120)")
    p.add_argument("--meter", type=kinds.meter, metavar="N",
                   help="beats a bar of a fixed tempo, taps or MIDI clock (default 4); with --listen, "
                        "the meter the music is in (default: heard, 3 or 4)")
    p.add_argument("--min-bpm", type=kinds.analysis_tempo, metavar="BPM",
                   help="with --listen: the slowest tempo to follow")
    p.add_argument("--max-bpm", type=kinds.analysis_tempo, metavar="BPM",
                   help="with --listen: the fastest tempo to follow")
    p.add_argument("--quantum", type=kinds.meter,
                   help="with --link: beats in a bar, for the phase and the bars (default 4)")
    p.add_argument("--start-stop-sync", action="store_true",
                   help="with --link: start and stop with the session")
    p.add_argument("--osc", metavar="HOST:PORT", help="send OSC to HOST:PORT over UDP")
    p.add_argument("--beats", action="store_true",
                   help="with --osc: also send /kinetra/beat and /kinetra/bar when a beat or bar starts")
    p.add_argument("--fps", type=kinds.fps, default="60", help="frames a second (default 60)")
    p.add_argument("--latency", type=kinds.latency, default="0", metavar="MS",
                   help="with --osc: send each frame MS milliseconds ahead, its bundle timetagged "
                        "with when it applies (default 0: sent when due, applied on arrival)")
    p.add_argument("--seconds", type=kinds.seconds,
                   help="stop after this many seconds (default: run until Ctrl-C)")
    p.set_defaults(run=run)


def check(args: argparse.Namespace) -> None:
    """Options that do not go together: ValueError with one line."""
    if args.quantum is not None and not args.link:
        raise ValueError("--quantum goes with --link")
    if args.meter is not None and args.link:
        raise ValueError("--meter does not go with --link: the quantum is the bar (--quantum)")
    if args.start_stop_sync and not args.link:
        raise ValueError("--start-stop-sync goes with --link")
    if args.midi_clock is not None and args.bpm is not None:
        raise ValueError("--bpm does not go with --midi-clock: the clock sets the tempo")
    if (args.min_bpm is not None or args.max_bpm is not None) and args.listen is None:
        raise ValueError(f"{'--min-bpm' if args.min_bpm is not None else '--max-bpm'} goes with --listen")
    if args.min_bpm is not None and args.max_bpm is not None and args.min_bpm > args.max_bpm:
        raise ValueError(f"--min-bpm {args.min_bpm:g} is above --max-bpm {args.max_bpm:g}")
    if args.osc is None and (args.beats or args.latency):
        raise ValueError(f"{'--beats' if args.beats else '--latency'} goes with --osc")


def open_clock(args: argparse.Namespace) -> Any:
    """The live clock the options ask for (ValueError with one line if it cannot open);
    for a fixed tempo, its ``Tempo``, which starts with the first frame."""
    from ..timeline import DEFAULT_METER

    meter = args.meter if args.meter is not None else DEFAULT_METER
    if args.tap:
        from ..live.tap import TapClock

        return TapClock(args.bpm if args.bpm is not None else 120, meter)
    if args.midi_clock is not None:
        from ..live.midi import MidiClock

        return MidiClock(args.midi_clock, meter=meter)
    if args.listen is not None:
        from ..analysis import tempo_range
        from ..live.listen import ListenClock

        return ListenClock(args.listen or None, bpm=None if args.bpm is None else float(args.bpm),
                           meter=args.meter, bpm_range=tempo_range(args.min_bpm, args.max_bpm),
                           report=_report)
    if args.link:
        try:
            from ..live.link import LinkClock
        except ImportError:
            raise ValueError("Ableton Link is not part of this installation") from None
        bpm = None if args.bpm is None else int(args.bpm) if args.bpm.denominator == 1 else float(args.bpm)
        return LinkClock(bpm=bpm, quantum=args.quantum or DEFAULT_METER, start_stop_sync=args.start_stop_sync)
    from .timing import clock

    return clock(bpm=args.bpm if args.bpm is not None else "120", meter=args.meter)


def _report(text: str) -> None:
    """A line about the input while playing (from the listening thread)."""
    print(f"kinetra play: {text}", file=sys.stderr, flush=True)


def describe(args: argparse.Namespace, clock: Any) -> Callable[[], str]:
    """The end of the trace's status line: where the time comes from."""
    keys = _isatty(sys.stdin)
    quits = "q quits" if keys else ""
    if args.link:
        def link() -> str:
            peers = clock.peers
            return f"Link, {peers} {'peer' if peers == 1 else 'peers'}  {quits}"

        return link
    if args.tap:
        text = f"tap: Enter or space  {quits}"
    elif args.midi_clock is not None:
        text = f"MIDI clock from {clock.port_name}  {quits}"
    elif args.listen is not None:
        return lambda: f"listening to {clock.source_name}: {clock.state}  {quits}"
    else:
        text = "q or Ctrl-C quits" if keys else ""
    return lambda: text


def _isatty(stream: Any) -> bool:
    try:
        return bool(stream.isatty())
    except (AttributeError, OSError, ValueError):
        return False


def run(args: argparse.Namespace) -> int:
    import contextlib
    import signal
    import threading
    import time

    from ..clock import Tempo
    from ..live.loop import LiveLoop
    from ..live.terminal import TerminalTaps, TraceOutput
    from ..sources import open_source

    check(args)
    sources = [open_source(name) for name in args.names]
    names = [source.name for source in sources]
    repeated = sorted({name for name in names if names.count(name) > 1})
    if repeated:
        raise ValueError(f"pattern given twice: {repeated[0]}")

    with contextlib.ExitStack() as stack:
        outputs: list[Any] = []
        sender = osc = None
        if args.osc is not None:
            from ..live.osc import OscSender

            sender = OscSender(args.osc)
        clock = open_clock(args)
        if not isinstance(clock, Tempo):
            stack.callback(clock.close)
        if sender is not None:
            from ..live.osc import OscOutput

            osc = OscOutput(sender, names, beats=args.beats, timetags=args.latency > 0, bars=clock.bars)
            stack.callback(osc.close)
            outputs.append(osc)
        trace = TraceOutput(sys.stdout, names, status=describe(args, clock), bars=clock.bars)
        stack.callback(trace.close)
        outputs.append(trace)
        latency = float(args.latency) / 1000
        # The first frame is due a moment from now, after the little that is
        # left to set up; it applies its latency later, which is when a fixed
        # tempo's pip 0 sounds, so the first beat and bar are sent too.
        start = time.monotonic() + 0.05
        if isinstance(clock, Tempo):
            from ..live.fixed import FixedClock

            clock = FixedClock.of(clock, start + latency)
        loop = LiveLoop(clock, sources, outputs, args.fps, latency)

        if args.tap:
            stack.enter_context(TerminalTaps(clock.tap, sys.stdin, quit=loop.stop))
        elif _isatty(sys.stdin):
            stack.enter_context(TerminalTaps(lambda at: None, sys.stdin, quit=loop.stop))
        if threading.current_thread() is threading.main_thread():
            # A polite kill ends the run like Ctrl-C: terminal restored, summary printed.
            for number in (signal.SIGTERM, signal.SIGHUP):
                previous = signal.signal(number, _interrupt)
                stack.callback(signal.signal, number, previous)
        try:
            loop.run(args.seconds, start)
        except KeyboardInterrupt:
            pass
    dropped = f", {loop.dropped} dropped" if loop.dropped else ""
    if args.listen is not None and clock.overflows:
        print(f"kinetra play: {clock.overflows} blocks of audio dropped from {clock.source_name}",
              file=sys.stderr)
    print(f"played {loop.frames} frames{dropped}", file=sys.stderr)
    if osc is not None and osc.failed:
        print(f"kinetra play: {osc.failed} frames not sent to {args.osc}: {osc.last_error}", file=sys.stderr)
    return 0


def _interrupt(number: int, frame: object) -> None:
    raise KeyboardInterrupt
