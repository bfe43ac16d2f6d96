"""Trace a kinetra pattern with an ASCII dot, in step with a beat.

    python examples/beat_demo.py [BPM] [--pattern NAME] [--bars N]

In a terminal the dot moves live for a few bars while the beat is counted.
Without a terminal (a pipe, CI) it prints one line per half beat instead.
"""
import argparse
import sys
import time

import kinetra

WIDTH, HEIGHT = 41, 15


def cell(value, size):
    """Map -1.0 .. 1.0 onto 0 .. size - 1."""
    return round((value + 1.0) / 2.0 * (size - 1))


def frame(pattern, pip, beat_count, trail):
    grid = [[" "] * WIDTH for _ in range(HEIGHT)]
    for age, (col, row) in enumerate(trail):
        grid[row][col] = "." if age < len(trail) - 1 else "@"
    bar, beat = divmod(beat_count, 4)
    header = f"{pattern}  bar {bar + 1}  beat {beat + 1}  pip {pip}"
    border = "+" + "-" * WIDTH + "+"
    lines = [header, border] + ["|" + "".join(r) + "|" for r in grid] + [border]
    return "\n".join(lines)


def live(pattern, bpm, bars):
    seconds_per_pip = 60.0 / bpm / kinetra.PIPS_PER_BEAT
    total = bars * 4 * kinetra.PIPS_PER_BEAT
    trail = []
    start = time.monotonic()
    sys.stdout.write("\x1b[?25l")  # hide the cursor while drawing
    try:
        while True:
            pip = int((time.monotonic() - start) / seconds_per_pip)
            if pip >= total:
                break
            o = kinetra.sample(pattern, pip)
            # Screen rows grow downwards, so +y is drawn towards the top.
            trail = (trail + [(cell(o.x, WIDTH), HEIGHT - 1 - cell(o.y, HEIGHT))])[-24:]
            sys.stdout.write("\x1b[H\x1b[2J" + frame(pattern, pip, pip // kinetra.PIPS_PER_BEAT, trail) + "\n")
            sys.stdout.flush()
            time.sleep(1 / 30)
    finally:
        sys.stdout.write("\x1b[?25h")
    print(f"{bars} bars of {pattern} at {bpm:g} BPM")


def summary(pattern, bpm, bars):
    print(f"{pattern} at {bpm:g} BPM, {bars} bars (no terminal: one line per half beat)")
    half = kinetra.PIPS_PER_BEAT // 2
    for pip in range(0, bars * 4 * kinetra.PIPS_PER_BEAT, half):
        o = kinetra.sample(pattern, pip)
        track = [" "] * WIDTH
        track[cell(o.x, WIDTH)] = "@"
        beat = pip // kinetra.PIPS_PER_BEAT
        mark = f"{beat // 4 + 1}.{beat % 4 + 1}" if pip % kinetra.PIPS_PER_BEAT == 0 else "   "
        print(f"{mark:>4} |{''.join(track)}| x={o.x:+.3f} y={o.y:+.3f} z={o.z:+.3f}")


def main():
    parser = argparse.ArgumentParser(description="Trace a kinetra pattern in step with a beat.")
    parser.add_argument("bpm", nargs="?", type=float, default=120.0, help="tempo (default 120)")
    parser.add_argument("--pattern", default="figure_eight", help="pattern name (default figure_eight)")
    parser.add_argument("--bars", type=int, default=2, help="bars of four beats (default 2)")
    args = parser.parse_args()
    if not args.bpm > 0:
        parser.error("BPM must be positive")
    try:
        kinetra.sample(args.pattern, 0)
    except ValueError as error:
        parser.error(str(error))
    if sys.stdout.isatty():
        live(args.pattern, args.bpm, args.bars)
    else:
        summary(args.pattern, args.bpm, min(args.bars, 1))


if __name__ == "__main__":
    main()
