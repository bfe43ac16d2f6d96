"""Trains the beat network on the corpus and writes the weights file the analysis loads.

Development only (needs torch; run in the training root):

    scripts/dev train -- nice -n 10 python3.14 training/train.py [--minutes 30] [--out PATH]

Builds (or reuses) the corpus of `corpus.py`, trains `Net` (the layers
`kinetra_tools.analysis.network` runs in numpy) on the training songs with the
validation songs choosing the epoch, seeded, on at most two threads, and writes
`python/kinetra_tools/analysis/beats.npz`: the layers, the features' standardisation,
the decoder's priors learned from the corpus (the tempo a listener taps, as a
histogram of the training songs' beat rates, and how many songs are in three), this
script's version and the corpus' hash.

Targets: 1 on the frame nearest each beat (and each downbeat), 0.5 on the frames either
side, since a beat is a point the frames straddle; binary cross-entropy on both.
"""

import argparse
import json
import math
import os
import random
import sys
import time
from pathlib import Path

import numpy as np

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parent / "python"))

import corpus  # noqa: E402

VERSION = 3
SEED = 27
CHANNELS = 32
BLOCKS = 10
DROPOUT = 0.1
CHUNK = 3000            # frames a training example (30 s)
BATCH = 8
OUT = HERE.parent / "python" / "kinetra_tools" / "analysis" / "beats.npz"
PRIOR_BPM = (40.0, 240.0)
PRIOR_BINS = 120        # bins of the tempo prior, evenly in log tempo
PRIOR_SMOOTH = 0.04     # octaves
# Half the training chunks are played faster or slower by resampling their frames,
# by a factor drawn evenly in log tempo from this range.
STRETCH = (0.8, 1.25)
STRETCH_SHARE = 0.5
# A causal net (for following a beat live) may hear this many frames past the frame
# it speaks of (its output is delayed by them), besides the half window (46 ms) that
# every frame's spectrum already hears past its centre.
LOOKAHEAD = 0
# Half the training chunks lose one to two stretches of bands (up to a sixth of the
# spectrum each, level and rise alike) to their training mean, so that no single
# part of the spectrum (the snare's, say) is what places the beat.
MASK_SHARE = 0.5
MASK_BANDS = 1 / 6


def net_class():
    import torch
    from torch import nn

    class Block(nn.Module):
        def __init__(self, channels, dilation, causal=False):
            super().__init__()
            self.left = 2 * dilation if causal else 0
            self.dilated = nn.Conv1d(channels, channels, 3, dilation=dilation,
                                     padding=0 if causal else dilation)
            self.mix = nn.Conv1d(channels, channels, 1)
            self.drop = nn.Dropout(DROPOUT)

        def forward(self, x):
            h = self.dilated(nn.functional.pad(x, (self.left, 0)) if self.left else x)
            return x + self.mix(self.drop(nn.functional.elu(h)))

    class Net(nn.Module):
        """(batch, features, frames) -> (batch, 2, frames) logits of beat and downbeat.

        A causal net's convolutions see only the frames before theirs; its output at a
        frame is about the frame `LOOKAHEAD` before it (the targets are delayed so)."""

        def __init__(self, features, mean, std, channels=CHANNELS, blocks=BLOCKS, causal=False):
            super().__init__()
            self.register_buffer("mean", torch.as_tensor(mean, dtype=torch.float32))
            self.register_buffer("std", torch.as_tensor(std, dtype=torch.float32))
            self.left = 2 if causal else 0
            self.input = nn.Conv1d(features, channels, 3, padding=0 if causal else 1)
            self.blocks = nn.ModuleList(Block(channels, 2 ** k, causal) for k in range(blocks))
            self.output = nn.Conv1d(channels, 2, 1)

        def forward(self, x):
            x = (x - self.mean[None, :, None]) / self.std[None, :, None]
            x = nn.functional.elu(self.input(nn.functional.pad(x, (self.left, 0)) if self.left else x))
            for block in self.blocks:
                x = block(x)
            return self.output(x)

    return Net


def targets(item, frames, fps, start=0.0, factor=1.0):
    """(frames, 2) float32 targets of an item's frames from frame `start`, played `factor` times as fast."""
    out = np.zeros((frames, 2), dtype=np.float32)
    for column, times in enumerate((item["beats"], item["downbeats"])):
        at = np.round((np.asarray(times) * fps - start) / factor).astype(int)
        at = at[(at >= 0) & (at < frames)]
        for d, value in ((-1, 0.5), (1, 0.5), (0, 1.0)):
            near = np.clip(at + d, 0, frames - 1)
            out[near, column] = np.maximum(out[near, column], value)
    return out


def stretched(item, start, frames, factor):
    """`frames` frames of the item's features from frame `start`, played `factor` times as
    fast (linear interpolation between frames), and how many of them the item fills."""
    x = item["x"]
    source = start + np.arange(frames) * factor
    filled = int(np.searchsorted(source, len(x) - 1, side="right"))
    source = source[:filled]
    low = np.floor(source).astype(int)
    high = np.minimum(low + 1, len(x) - 1)
    part = (source - low)[:, None].astype(np.float32)
    return x[low] * (1 - part) + x[high] * part, filled


def load(directory, part):
    index = corpus.read_index(directory)
    out = []
    for entry in index["items"]:
        if entry["part"] != part:
            continue
        with np.load(Path(directory) / f"{entry['name']}.npz") as data:
            x = data["features"].astype(np.float32)
            fps = float(data["fps"])
            item = {"beats": data["beats"], "downbeats": data["downbeats"]}
        out.append({"name": entry["name"], "x": x, "y": targets(item, len(x), fps), "fps": fps,
                    "beats": item["beats"], "downbeats": item["downbeats"], "meter": entry["meter"],
                    "entry": entry})
    return out


def tempo_prior(items):
    """(bpm grid, log prior) from the beat rates of the training items, each item weighted by its length."""
    edges = np.linspace(math.log2(PRIOR_BPM[0]), math.log2(PRIOR_BPM[1]), PRIOR_BINS + 1)
    centres = (edges[:-1] + edges[1:]) / 2
    counts = np.zeros(PRIOR_BINS)
    for item in items:
        beats = np.asarray(item["beats"])
        if len(beats) < 3:
            continue
        rates = np.log2(60 / np.diff(beats))
        counts += np.histogram(rates, edges)[0]
    kernel = np.exp(-0.5 * ((centres[:, None] - centres[None, :]) / PRIOR_SMOOTH) ** 2)
    smooth = kernel @ counts
    smooth = smooth / smooth.sum() + 1e-4 / PRIOR_BINS
    return 2 ** centres, np.log(smooth / smooth.sum())


def batches(items, rng, chunk=CHUNK, batch=BATCH):
    """Random chunks covering the items' frames about once, half of them stretched in time, batched."""
    pieces = []
    for k, item in enumerate(items):
        n = len(item["x"])
        count = max(1, round(n / chunk))
        for _ in range(count):
            factor = 1.0
            if rng.random() < STRETCH_SHARE:
                factor = math.exp(rng.uniform(math.log(STRETCH[0]), math.log(STRETCH[1])))
            start = rng.randrange(0, max(1, int(n - chunk * factor) + 1))
            pieces.append((k, start, factor))
    rng.shuffle(pieces)
    for first in range(0, len(pieces), batch):
        group = pieces[first:first + batch]
        x = np.zeros((len(group), items[0]["x"].shape[1], chunk), dtype=np.float32)
        y = np.zeros((len(group), 2, chunk), dtype=np.float32)
        mask = np.zeros((len(group), chunk), dtype=np.float32)
        for row, (k, start, factor) in enumerate(group):
            item = items[k]
            if factor == 1.0:
                xs = item["x"][start:start + chunk]
                filled = len(xs)
                ys = item["y"][start:start + chunk]
            else:
                xs, filled = stretched(item, start, chunk, factor)
                ys = targets(item, filled, item["fps"], start, factor)
            x[row, :, :filled] = xs.T
            y[row, :, :filled] = ys.T
            mask[row, :filled] = 1
        yield x, y, mask


def masked(x, mean, rng):
    """The batch with stretches of bands set to their mean in some of its chunks (in place)."""
    bands = x.shape[1] // 2
    widest = max(1, round(bands * MASK_BANDS))
    for row in range(x.shape[0]):
        if rng.random() >= MASK_SHARE:
            continue
        for _ in range(rng.randint(1, 2)):
            width = rng.randint(1, widest)
            low = rng.randrange(0, bands - width + 1)
            for half in (0, bands):
                part = slice(half + low, half + low + width)
                x[row, part, :] = x.new_tensor(mean[part])[:, None]
    return x


def delayed(y, mask, frames):
    """Targets (batch, 2, frames) and their mask (batch, frames) delayed by `frames`."""
    if frames == 0:
        return y, mask
    out, kept = np.zeros_like(y), np.zeros_like(mask)
    out[..., frames:] = y[..., :-frames]
    kept[..., frames:] = mask[..., :-frames]
    return out, kept


def evaluate(net, items, lookahead=0):
    import torch

    net.eval()
    total, frames = 0.0, 0
    with torch.no_grad():
        for item in items:
            x = torch.from_numpy(item["x"].T[None].copy())
            y, mask = delayed(item["y"].T[None].copy(), np.ones((1, len(item["y"])), np.float32),
                              lookahead)
            y, mask = torch.from_numpy(y), torch.from_numpy(mask)
            logits = net(x)
            loss = torch.nn.functional.binary_cross_entropy_with_logits(
                logits, y, reduction="none", pos_weight=torch.tensor([[4.0], [8.0]]))
            total += float((loss * mask[:, None, :]).sum())
            frames += float(mask.sum())
    net.train()
    return total / frames


def export(net, path, meta, prior):
    arrays = {name: value.detach().numpy().astype(np.float32) for name, value in net.state_dict().items()}
    arrays["prior_bpm"], arrays["prior_log"] = (a.astype(np.float32) for a in prior)
    arrays["meta"] = np.frombuffer(json.dumps(meta, sort_keys=True).encode(), dtype=np.uint8)
    tmp = Path(str(path) + ".part.npz")
    np.savez_compressed(tmp, **arrays)
    os.replace(tmp, path)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Trains the beat network.")
    parser.add_argument("--minutes", type=float, default=30.0, help="training time budget")
    parser.add_argument("--epochs", type=int, default=60)
    parser.add_argument("--out", type=Path, default=OUT)
    parser.add_argument("--small", action="store_true", help="the small corpus, to try the pipeline")
    parser.add_argument("--threads", type=int, default=2)
    parser.add_argument("--corpus", type=Path, default=None, help="a corpus directory already built")
    parser.add_argument("--causal", action="store_true",
                        help=f"the live net: hears only the past and {LOOKAHEAD} frames ahead")
    args = parser.parse_args(argv)

    import torch

    torch.manual_seed(SEED)
    torch.set_num_threads(args.threads)
    rng = random.Random(SEED)
    directory = args.corpus or corpus.build(small=args.small)
    key = corpus.read_index(directory)["key"]
    train, valid = load(directory, "train"), load(directory, "validation")
    frames = sum(len(i["x"]) for i in train)
    print(f"corpus {key}: {len(train)} training items ({frames / 360000:.2f} h), "
          f"{len(valid)} validation items", flush=True)
    stacked = np.concatenate([i["x"] for i in train[::3]])
    mean, std = stacked.mean(axis=0), stacked.std(axis=0) + 1e-3
    del stacked
    prior = tempo_prior(train)
    three = sum(i["meter"] == 3 for i in train) / len(train)

    Net = net_class()
    lookahead = LOOKAHEAD if args.causal else 0
    net = Net(train[0]["x"].shape[1], mean, std, causal=args.causal)
    optimiser = torch.optim.Adam(net.parameters(), lr=2e-3)
    pos_weight = torch.tensor([[4.0], [8.0]])
    started = time.perf_counter()
    best, best_state, stale = math.inf, None, 0
    for epoch in range(args.epochs):
        total, steps = 0.0, 0
        for x, y, mask in batches(train, rng):
            y, mask = delayed(y, mask, lookahead)
            x, y, mask = torch.from_numpy(x), torch.from_numpy(y), torch.from_numpy(mask)
            # Gain: the same music louder or softer shifts every log level alike.
            x = x + torch.empty(x.shape[0], 1, 1).uniform_(-0.5, 0.5) * (x > 0)
            x = masked(x, mean, rng)
            logits = net(x)
            loss = torch.nn.functional.binary_cross_entropy_with_logits(
                logits, y, reduction="none", pos_weight=pos_weight)
            loss = (loss * mask[:, None, :]).sum() / mask.sum()
            optimiser.zero_grad()
            loss.backward()
            optimiser.step()
            total += float(loss.detach())
            steps += 1
        score = evaluate(net, valid, lookahead) if valid else total / steps
        elapsed = (time.perf_counter() - started) / 60
        print(f"epoch {epoch + 1}: train {total / max(steps, 1):.4f} validation {score:.4f} "
              f"({elapsed:.1f} min)", flush=True)
        if score < best - 1e-4:
            best, stale = score, 0
            best_state = {k: v.clone() for k, v in net.state_dict().items()}
        else:
            stale += 1
            if stale == 3:
                for group in optimiser.param_groups:
                    group["lr"] *= 0.3
                stale = 0
                print(f"learning rate {optimiser.param_groups[0]['lr']:.2g}", flush=True)
        if elapsed * (epoch + 2) / (epoch + 1) > args.minutes:
            break
    net.load_state_dict(best_state)
    minutes = (time.perf_counter() - started) / 60
    meta = {"version": VERSION, "corpus": key, "blocks": BLOCKS, "channels": CHANNELS,
            "features": int(train[0]["x"].shape[1]), "fps": train[0]["fps"],
            "three_share": round(three, 4), "validation_loss": round(best, 5),
            "training_minutes": round(minutes, 1), "threads": args.threads, "seed": SEED,
            "causal": args.causal, "lookahead": lookahead}
    export(net, args.out, meta, prior)
    print(f"wrote {args.out} ({args.out.stat().st_size / 1024:.0f} KiB) after {minutes:.1f} min", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
