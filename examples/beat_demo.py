"""Trace a kinetra pattern with an ASCII dot, in step with a beat.

    python examples/beat_demo.py [BPM] [--pattern NAME] [--bars N]

In a terminal the dot moves live for a few bars while the beat is counted.
Without a terminal (a pipe, CI) it prints one line per eighth of a beat instead, for
one bar. The drawing is the one `kinetra show` uses (kinetra_tools.trace).
"""
import argparse
import sys

from kinetra_tools import DefaultPattern, Tempo, trace


def main():
    parser = argparse.ArgumentParser(description="Trace a kinetra pattern in step with a beat.")
    parser.add_argument("bpm", nargs="?", type=float, default=120.0, help="tempo (default 120)")
    parser.add_argument("--pattern", default="figure_eight", help="pattern name (default figure_eight)")
    parser.add_argument("--bars", type=int, default=2, help="bars of four beats (default 2)")
    args = parser.parse_args()
    if not args.bpm > 0:
        parser.error("BPM must be positive")
    try:
        source = DefaultPattern(args.pattern)
    except ValueError as error:
        parser.error(str(error))
    tempo = Tempo(args.bpm)
    if sys.stdout.isatty():
        trace.live(source, tempo, args.bars, sys.stdout)
    else:
        trace.summary(source, tempo, min(args.bars, 1), sys.stdout)


if __name__ == "__main__":
    main()
