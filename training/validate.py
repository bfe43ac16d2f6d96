"""Scores the trained analysis on the corpus' validation songs, for settings of the decoder.

The network runs once per item; each setting (`--set NAME=VALUE,...` on `barpointer`'s
constants, several allowed) then only decodes again. Only validation songs are used, so the
test songs stay unseen by every choice made here.

    scripts/dev train -- python3.14 training/validate.py [--weights PATH] [--set CHANGE_COST=20 ...]
"""

import argparse
import json
import statistics
import sys
from pathlib import Path

import numpy as np

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parent / "python"))

import corpus  # noqa: E402


def score(ref, ref_down, beats, down):
    import mir_eval

    ref, est = mir_eval.beat.trim_beats(np.asarray(ref)), mir_eval.beat.trim_beats(np.asarray(beats))
    ref_down = mir_eval.beat.trim_beats(np.asarray(ref_down))
    est_down = mir_eval.beat.trim_beats(np.asarray(down))
    _, cmlt, _, amlt = mir_eval.beat.continuity(ref, est)
    return (mir_eval.beat.f_measure(ref, est), cmlt, amlt, mir_eval.beat.f_measure(ref_down, est_down))


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--weights", type=Path, default=None)
    parser.add_argument("--corpus", type=Path, default=None)
    parser.add_argument("--set", action="append", default=[], help="NAME=VALUE,... a setting to score")
    parser.add_argument("--part", default="validation")
    args = parser.parse_args(argv)

    from kinetra_tools.analysis import barpointer, network, trained

    net = network.Model.load(args.weights) if args.weights else network.model()
    directory = args.corpus or corpus.build()
    items = [e for e in corpus.read_index(directory)["items"] if e["part"] == args.part]
    runs = []
    for entry in items:
        with np.load(Path(directory) / f"{entry['name']}.npz") as data:
            features = data["features"].astype(np.float32)
            act = network.activations(features, net)
            runs.append((entry, act, trained.onsets(features), float(data["fps"]), data["beats"],
                         data["downbeats"]))
    defaults = {name: getattr(barpointer, name) for name in ("CHANGE_COST", "PRIOR_WEIGHT", "OBS_WEIGHT", "DOWN_WEIGHT", "CERTAINTY", "REACH", "STEP")}
    for name in ("MIN_ACTIVATION", "TRIM_ONSET"):
        defaults[name] = getattr(trained, name)
    for setting in [""] + args.set:
        values = dict(defaults)
        for part in filter(None, setting.split(",")):
            name, value = part.split("=")
            values[name] = type(defaults[name])(float(value))
        for name, value in values.items():
            setattr(trained if hasattr(trained, name) else barpointer, name, value)
        rows = []
        for entry, act, onset, fps, ref, ref_down in runs:
            found = trained.decode(act, fps, None, None, net, onset)
            if found is None:
                rows.append((0.0, 0.0, 0.0, 0.0))
                continue
            beats, phase, meter = found
            rows.append(score(ref, ref_down, beats, beats[phase::meter]))
        means = [statistics.fmean(r[k] for r in rows) for k in range(4)]
        print(f"{setting or 'defaults':<40} F {means[0]:.3f} CMLt {means[1]:.3f} AMLt {means[2]:.3f} "
              f"DbF {means[3]:.3f}  ({len(rows)} items)", flush=True)
    print(json.dumps(defaults))
    return 0


if __name__ == "__main__":
    sys.exit(main())
