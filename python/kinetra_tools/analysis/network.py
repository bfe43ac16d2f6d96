"""The trained beat network, run in numpy: spectrogram frames in, beat and downbeat activations out.

A temporal convolutional network over the frames of ``spectrum``: the features,
standardised, go through a convolution three frames wide into ``channels``
channels, then a stack of residual blocks whose convolutions (three taps) look
1, 2, 4, ... frames either side, so that the last block sees about twenty
seconds of music around each frame; a last 1x1 convolution and a logistic give,
per frame, how likely a beat and how likely a downbeat falls there.

The weights (``beats.npz`` beside this module, a few hundred KB) were trained
with ``training/train.py`` from the corpus of ``training/corpus.py``; they hold
the standardisation, the layers and what the decoder learned from the corpus
(the tempo and meter priors). They are loaded on first use.
"""

from __future__ import annotations

import json
from functools import lru_cache
from pathlib import Path
from typing import Any

import numpy as np

WEIGHTS = Path(__file__).with_name("beats.npz")
# The causal model that follows a beat live.
LIVE_WEIGHTS = Path(__file__).with_name("beats-live.npz")


class Model:
    """The network's arrays and facts, from a weights file."""

    def __init__(self, arrays: dict[str, np.ndarray]) -> None:
        self.arrays = arrays
        self.meta: dict[str, Any] = json.loads(bytes(arrays["meta"]).decode())
        self.blocks = int(self.meta["blocks"])
        self.causal = bool(self.meta.get("causal", False))

    @classmethod
    def load(cls, path: Path | str) -> Model:
        with np.load(path) as data:
            return cls({name: data[name] for name in data.files})

    def __getitem__(self, name: str) -> np.ndarray:
        return self.arrays[name]


@lru_cache(maxsize=1)
def model() -> Model:
    """The shipped model, loaded once."""
    return Model.load(WEIGHTS)


@lru_cache(maxsize=1)
def live_model() -> Model:
    """The shipped causal model, loaded once."""
    return Model.load(LIVE_WEIGHTS)


def _elu(x: np.ndarray) -> np.ndarray:
    out: np.ndarray = np.where(x > 0, x, np.expm1(np.minimum(x, 0)))
    return out


def _taps(x: np.ndarray, weight: np.ndarray, bias: np.ndarray, dilation: int, n: int) -> np.ndarray:
    """The ``n`` outputs of a convolution over ``x``, already padded so that output ``i``
    reads rows ``i, i + dilation, ...``: the taps' shifted copies of the input sit side
    by side, so that the whole convolution is one matrix product."""
    taps, width = weight.shape[2], x.shape[1]
    shifted = np.concatenate([x[j * dilation:j * dilation + n] for j in range(taps)], axis=1)
    out: np.ndarray = shifted @ weight.transpose(2, 1, 0).reshape(taps * width, -1) + bias
    return out


def conv(x: np.ndarray, weight: np.ndarray, bias: np.ndarray, dilation: int = 1,
         causal: bool = False) -> np.ndarray:
    """A 1-D convolution of (frames, in) by weight (out, in, taps), as torch's Conv1d computes it:
    'same' (padded evenly), or causal (padded before the first frame only)."""
    taps = weight.shape[2]
    if taps == 1:
        one: np.ndarray = x @ weight[:, :, 0].T + bias
        return one
    reach = dilation * (taps - 1)
    before = reach if causal else reach // 2
    n, width = x.shape
    padded = np.zeros((n + reach, width), dtype=np.float32)
    padded[before:before + n] = x
    return _taps(padded, weight, bias, dilation, n)


def _layers(net: Model) -> list[tuple[str, int]]:
    """The convolutions wider than a frame, by name, with their dilations."""
    return [("input", 1)] + [(f"blocks.{k}.dilated", 2 ** k) for k in range(net.blocks)]


def activations(features: np.ndarray, net: Model | None = None) -> np.ndarray:
    """(frames, 2): the likelihood of a beat and of a downbeat at each frame (for a causal
    model, at the frame ``lookahead`` frames before each)."""
    net = net if net is not None else model()
    causal = net.causal
    x = ((features.astype(np.float32) - net["mean"]) / net["std"]).astype(np.float32)
    x = _elu(conv(x, net["input.weight"], net["input.bias"], 1, causal))
    for k in range(net.blocks):
        h = _elu(conv(x, net[f"blocks.{k}.dilated.weight"], net[f"blocks.{k}.dilated.bias"],
                      2 ** k, causal))
        x = x + conv(h, net[f"blocks.{k}.mix.weight"], net[f"blocks.{k}.mix.bias"])
    logits = conv(x, net["output.weight"], net["output.bias"])
    out: np.ndarray = 1.0 / (1.0 + np.exp(-logits))
    return out


class Stream:
    """A causal model run on frames as they arrive, in blocks of any length.

    Each convolution keeps the last frames of its input that the next block's
    outputs still read, so the activations are those of the whole run at once,
    whatever the blocks.
    """

    def __init__(self, net: Model) -> None:
        if not net.causal:
            raise ValueError("a stream needs a causal model")
        self.net = net
        self.lookahead = int(net.meta.get("lookahead", 0))
        self._kept = {name: np.zeros((dilation * (net[f"{name}.weight"].shape[2] - 1),
                                      net[f"{name}.weight"].shape[1]), dtype=np.float32)
                      for name, dilation in _layers(net)}

    def _conv(self, name: str, dilation: int, x: np.ndarray) -> np.ndarray:
        joined = np.concatenate((self._kept[name], x))
        self._kept[name] = joined[len(joined) - len(self._kept[name]):]
        return _taps(joined, self.net[f"{name}.weight"], self.net[f"{name}.bias"], dilation, len(x))

    def push(self, features: np.ndarray) -> np.ndarray:
        """(frames, 2) activations for the frames given, each about the frame
        ``lookahead`` frames before it."""
        net = self.net
        x = ((features.astype(np.float32) - net["mean"]) / net["std"]).astype(np.float32)
        x = _elu(self._conv("input", 1, x))
        for k in range(net.blocks):
            h = _elu(self._conv(f"blocks.{k}.dilated", 2 ** k, x))
            x = x + conv(h, net[f"blocks.{k}.mix.weight"], net[f"blocks.{k}.mix.bias"])
        logits = conv(x, net["output.weight"], net["output.bias"])
        out: np.ndarray = 1.0 / (1.0 + np.exp(-logits))
        return out
