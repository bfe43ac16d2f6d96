"""What a music video costs: drawing alone (cairo against Pillow), ffmpeg's stages, the whole render.

Prints, at 30 fps:

- at 1280x720, for one pattern and for a grid of sixteen, milliseconds a
  frame to draw the scene with the cairo painter the renderer uses (alone,
  and with the frame's conversion to 4:2:0 YUV, the frame the renderer hands
  ffmpeg), and with the same scene drawn by Pillow (antialiased the only way
  ImageDraw can be, by drawing at twice the size and halving; and, as a lower
  bound, without antialiasing);
- for one pattern at 1280x720 and sixteen at 1920x1080, where ffmpeg's time
  goes: reading the raw frames, tagging their colours (and, for the drawn RGB
  frames handed over as they are, converting them to 4:2:0 YUV), and encoding
  H.264 (each measured on frames drawn beforehand, ffmpeg alone);
- for the same two, the whole render (drawing, the pipe, H.264 and AAC
  encoding by ffmpeg) as a multiple of real time (4x means a 3-minute song
  takes 45 s) and in CPU seconds per second of video, this process and
  ffmpeg together: the figure other load on the machine does not blur much,
  and the one the goals are set in (0.25 for one pattern at 1280x720, 0.6 for
  sixteen at 1920x1080, so that two idle cores render them at 8x and 3x).

Run: scripts/dev run -- python3.14 bench/bench_render.py [--seconds S] [--preset ultrafast]
"""

from __future__ import annotations

import argparse
import math
import os
import resource
import subprocess
import sys
import tempfile
import time
from fractions import Fraction

import kinetra
from kinetra_tools.clock import Tempo
from kinetra_tools.frames import Frames, stream
from kinetra_tools.render import TRAIL_STEP, Layout, Motion, depth_colour, render, scene
from kinetra_tools.sources import DefaultPattern

WIDTH, HEIGHT, FPS, BPM = 1280, 720, Fraction(30), Fraction(124)
ONE = ["figure_eight"]
GRID = [entry["name"] for entry in kinetra.catalogue()[:16]]
# (label, patterns, frame size, goal in CPU seconds per second of video)
CASES = (("one pattern, 1280x720", ONE, (1280, 720), 0.25),
         ("16 patterns, 1920x1080", GRID, (1920, 1080), 0.6))


def scenes(names, count):
    """(points, trails, beat_in_bar, phase, progress, beats_in_bar, bar) for ``count`` frames, up front."""
    sources = [DefaultPattern(n) for n in names]
    motions = [Motion(s) for s in sources]
    timeline = Tempo(BPM)
    return [scene(frame, motions, timeline, count) for frame in stream(sources, Frames(FPS, timeline), count)]


def time_painter(draw, frames, rounds=3):
    """CPU milliseconds a frame (best of ``rounds``): drawing runs on one thread, so on an
    idle machine this is its wall time too, and other load on the machine barely moves it."""
    draw(*frames[0])
    best = math.inf
    for _ in range(rounds):
        started = time.process_time()
        for scene in frames:
            draw(*scene)
        best = min(best, time.process_time() - started)
    return best / len(frames) * 1000


class PillowPainter:
    """The same scene with Pillow's ImageDraw, at ``scale`` times the size then reduced."""

    def __init__(self, layout, names, scale):
        from PIL import Image, ImageDraw

        self.Image, self.ImageDraw = Image, ImageDraw
        self.layout, self.scale = layout, scale
        s = scale
        self.background = Image.new("RGB", (layout.width * s, layout.height * s), (0x16, 0x18, 0x1D))
        d = ImageDraw.Draw(self.background)
        for cell, name in zip(layout.cells, names):
            side = cell.side
            left, top = cell.centre_x - side / 2, cell.centre_y - side / 2
            d.rectangle([left * s, top * s, (left + side) * s, (top + side) * s], fill=(0x1B, 0x1E, 0x24))
            h = cell.half
            d.rectangle([(cell.centre_x - h) * s, (cell.centre_y - h) * s, (cell.centre_x + h) * s,
                         (cell.centre_y + h) * s], outline=(0x35, 0x3A, 0x44), width=s)
            d.text((cell.label_x * s, (cell.label_y - layout.label) * s), name, fill=(0xAA, 0xB0, 0xBA),
                   font_size=layout.label * 0.8 * s)

    def frame(self, points, trails, beat_in_bar, phase, progress, beats_in_bar=4, bar=None):
        lay, s = self.layout, self.scale
        image = self.background.copy()
        d = self.ImageDraw.Draw(image, "RGBA")
        width = max(1, round(lay.trail_width * s))
        for cell, (point, trail) in enumerate(zip(points, trails)):
            path = [lay.point(cell, p[0], p[1]) for p in trail] + [lay.point(cell, point[0], point[1])]
            n = len(trail)
            band = max(1, math.ceil(n / 8))
            for start in range(0, n, band):
                end = min(n, start + band)
                k = end / n
                colour = tuple(round(v * 255) for v in depth_colour(trail[(start + end) // 2][2]))
                d.line([(x * s, y * s) for x, y in path[start:end + 1]], fill=(*colour, round(255 * (0.08 + 0.72 * k * k))),
                       width=width, joint="curve")
            x, y = lay.point(cell, point[0], point[1])
            r = lay.radius(point[2])
            colour = tuple(round(v * 255) for v in depth_colour(point[2]))
            d.ellipse([(x - r) * s, (y - r) * s, (x + r) * s, (y + r) * s], fill=colour)
            c = max(1.5, r * 0.35)
            d.ellipse([(x - c) * s, (y - c) * s, (x + c) * s, (y + c) * s], fill=(255, 255, 255))
        if s > 1:
            image = image.reduce(s)
        return image.tobytes()


def painter_for(names, size, buffers=1):
    from kinetra_tools.render import tempo_text
    from kinetra_tools.render.painter import Painter

    axes = [Motion(DefaultPattern(n)).axes for n in names]
    return Painter(Layout(*size, len(names)), names, axes=axes, title="song", tempo=tempo_text(BPM),
                   buffers=buffers)


def drawing(names, count):
    layout = Layout(WIDTH, HEIGHT, len(names))
    frames = scenes(names, count)
    results = {"cairo": time_painter(painter_for(names, (WIDTH, HEIGHT)).draw, frames),
               "cairo + YUV": time_painter(painter_for(names, (WIDTH, HEIGHT)).frame, frames)}
    try:
        results["Pillow, 2x and halved"] = time_painter(PillowPainter(layout, names, 2).frame, frames)
        results["Pillow, not antialiased"] = time_painter(PillowPainter(layout, names, 1).frame, frames)
    except ImportError:
        pass
    return results


def cpu():
    mine = resource.getrusage(resource.RUSAGE_SELF)
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    return mine.ru_utime + mine.ru_stime, children.ru_utime + children.ru_stime


def children_cpu(command):
    """CPU seconds of one run of ``command`` (ffmpeg), best of two."""
    best = math.inf
    for _ in range(2):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        subprocess.run(command, check=True)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        best = min(best, after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime)
    return best


def stages(names, size, count):
    """ffmpeg's CPU seconds per second of video to read, to tag or convert and to encode
    ``count`` drawn frames: as the renderer hands them over (yuv420p) and as drawn (RGB)."""
    from kinetra_tools.render import encode
    from kinetra_tools.render.painter import PIXEL_FORMAT

    painter = painter_for(names, size)
    width, height = size
    seconds = count / FPS
    video = encode.video_options(encode.CONTAINERS[".mp4"], width, height)
    results = {}
    with tempfile.TemporaryDirectory() as folder:
        raw = {PIXEL_FORMAT: os.path.join(folder, "frames.yuv"), "bgr0": os.path.join(folder, "frames.rgb")}
        with open(raw[PIXEL_FORMAT], "wb") as out, open(raw["bgr0"], "wb") as drawn:
            for scene in scenes(names, count):
                out.write(painter.frame(*scene))
                drawn.write(painter.surface.get_data())
        for kind, what in ((PIXEL_FORMAT, "colour tags"), ("bgr0", "colour conversion")):
            read = ["ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "rawvideo", "-pix_fmt", kind,
                    "-s", f"{width}x{height}", "-framerate", str(FPS), "-i", raw[kind]]
            colour = encode.colour_options(kind)
            stage = {}
            for label, tail in (("reading", ["-f", "null", "-"]),
                                (f"+ {what}", [*colour, "-f", "null", "-"]),
                                ("+ H.264", [*colour, *video, os.path.join(folder, "video.mp4")])):
                stage[label] = children_cpu(read + tail) / float(seconds)
            results[kind] = stage
    return results


def whole(names, size, seconds, song):
    sources = [DefaultPattern(n) for n in names]
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "video.mp4")
        mine, children = cpu()
        started = time.perf_counter()
        render(sources, Tempo(BPM), out, fps=FPS, size=size, seconds=Fraction(seconds), audio=song)
        elapsed = time.perf_counter() - started
        mine_after, children_after = cpu()
        size = os.path.getsize(out)
    return seconds / elapsed, elapsed, size, mine_after - mine, children_after - children


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=20.0, help="video length (default 20)")
    parser.add_argument("--draw-frames", type=int, default=300, help="frames timed for drawing alone")
    parser.add_argument("--stage-frames", type=int, default=150, help="frames for ffmpeg's stages")
    parser.add_argument("--preset", help="another x264 preset to try (the renderer's follows the frame size)")
    args = parser.parse_args()
    if args.preset:
        from kinetra_tools.render import encode

        encode.PRESETS = ((1 << 62, args.preset),)
    print(f"{FPS} fps, {BPM} BPM; real time is {1000 / FPS:.1f} ms a frame; "
          f"load average {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores")
    print(f"\ndrawing alone at {WIDTH}x{HEIGHT}, CPU ms a frame (best of 3):")
    for label, names in (("one pattern", ONE), ("4x4 grid", GRID)):
        figures = drawing(names, args.draw_frames)
        print(f"  {label:12} " + ", ".join(f"{k} {v:.2f}" for k, v in figures.items()))
    print(f"\nffmpeg alone on {args.stage_frames} drawn frames, CPU s per second of video (best of 2):")
    for label, names, size, _ in CASES:
        for kind, figures in stages(names, size, args.stage_frames).items():
            print(f"  {label:23} {kind:8} " + ", ".join(f"{k} {v:.3f}" for k, v in figures.items()))
    with tempfile.TemporaryDirectory() as folder:
        song = os.path.join(folder, "song.wav")
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                        f"sine=f=220:d={args.seconds}:sample_rate=44100", "-ac", "2", song], check=True)
        print(f"\nwhole render of {args.seconds:g} s (H.264 + AAC in MP4); "
              f"load average {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores:")
        for label, names, size, goal in CASES:
            speed, elapsed, size_bytes, mine, children = whole(names, size, args.seconds, song)
            # On an otherwise idle machine the two processes overlap: the wall time is at
            # least the busier one's CPU time and at least the total spread over the cores.
            bound = args.seconds / max(mine, (mine + children) / (os.cpu_count() or 1))
            total = (mine + children) / args.seconds
            print(f"  {label:23} {speed:5.2f}x real time ({elapsed:.2f} s, {size_bytes / 1e6:.1f} MB); "
                  f"CPU s per video second: {total:.3f} (drawing process {mine / args.seconds:.3f}, "
                  f"ffmpeg {children / args.seconds:.3f}; goal {goal}) -> at most {bound:.1f}x on idle cores")
    return 0


if __name__ == "__main__":
    sys.exit(main())
