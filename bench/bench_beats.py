"""Beat tracking on held-out songs: the project's analysis beside raw aubio and raw librosa.

The sets (each built, or found in its cache, by `bench/beat_eval/make_set.py` or
`training/corpus.py`), reported each on its own row and never averaged together:

- style: the drum scores held out of training (`bench/beat_eval/split.py`), each rendered four
  times at tempos drawn from its style's range (`styles.py`), on recorded Hydrogen kits (sounds the
  model never trained on);
- freedoom: the Freedoom songs held out of training, rendered as composed, some with a sound font
  used for testing only (needs the training root, where Freedoom is installed);
- held-out, the headline: style and freedoom together;
- stress: the same held-out scores at tempos drawn evenly from 70 to 180 BPM, whatever the style;
- drums: the evaluation set of all 68 drum scores at even tempos (the model trained on other
  renderings of 49 of the scores).

Every tracker runs on the same files in the same run, each in its own process pinned to one core
with its math libraries on one thread, scored with mir_eval: F-measure (hits within +-70 ms), CMLt
and AMLt of the beats and the F-measure of the downbeats, after mir_eval's trimming of the first
5 s; speed as a multiple of real time (decoding included), peak memory, errors by kind (twice or
half the tempo, the offbeat, other), and a 10-minute file analysed alone in a fresh process. The
goals are checked for `kinetra` on the held-out row.

Trackers: `kinetra` (`kinetra_tools.analysis.analyse`), `kinetra-range` (the same given each
clip's tempo to within an octave, as `--min-bpm`/`--max-bpm` would), aubio and librosa. Neither
anchor places downbeats: for them every fourth beat from the first counts as one.

    scripts/dev train -- python3.14 bench/bench_beats.py [--trackers ...] [--groups style,freedoom,stress,drums]
        [--limit N] [--only TEXT] [--no-long] [--per-clip] [--seed N]

(`scripts/dev run` works too, without the freedoom group.)
"""

import argparse
import json
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE / "beat_eval"))

import make_set  # noqa: E402
import split  # noqa: E402

TRACKERS = ("aubio", "librosa", "kinetra", "kinetra-range")
TAGS = ("steady", "drift", "step", "swing", "3/4", "noisy")
ONE_THREAD = {k: "1" for k in ("OMP_NUM_THREADS", "OPENBLAS_NUM_THREADS", "MKL_NUM_THREADS",
                               "NUMBA_NUM_THREADS")}
LONG_SECONDS = 600


# ---- the trackers (run in the worker process) -------------------------------------------

def tracker(name):
    """A function path -> (beats, downbeats or None), seconds."""
    if name == "aubio":
        import aubio
        import numpy as np

        def run(path, bpm=None):
            hop, win = 512, 1024
            source = aubio.source(str(path), 0, hop)
            tempo = aubio.tempo("default", win, hop, source.samplerate)
            beats = []
            while True:
                samples, read = source()
                if tempo(samples):
                    beats.append(tempo.get_last_s())
                if read < hop:
                    break
            return np.array(beats), None
        return run
    if name == "librosa":
        import librosa

        def run(path, bpm=None):
            y, sr = librosa.load(str(path), sr=22050, mono=True)
            _, beats = librosa.beat.beat_track(y=y, sr=sr, units="time")
            return beats, None
        return run
    if name in ("kinetra", "kinetra-range"):
        from kinetra_tools import analysis

        def run(path, bpm=None):
            if name == "kinetra-range":
                # What a user gets who gives the tempo to within an octave: the clip's
                # notated tempo times 1/sqrt(2) to sqrt(2), as --min-bpm and --max-bpm.
                found = analysis.analyse(str(path), min_bpm=max(40.0, bpm / 2 ** 0.5),
                                         max_bpm=min(240.0, bpm * 2 ** 0.5))
            else:
                found = analysis.analyse(str(path))
            return list(found.beats), list(found.downbeats)
        return run
    raise ValueError(name)


def available(name):
    """None when the tracker can run here, else why not."""
    try:
        tracker(name)
    except Exception as error:          # noqa: BLE001 - any import failure means "not here"
        return f"{type(error).__name__}: {error}"
    return None


def peak_kib():
    """This process's peak resident memory since it started its program, in KiB.

    Read from /proc (VmHWM) rather than ru_maxrss, which on Linux also keeps the peak of
    the process that started it.
    """
    try:
        with open("/proc/self/status") as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


def cpu_seconds():
    """CPU time of this process and of the processes it has waited for (a decoder)."""
    total = 0.0
    for who in (resource.RUSAGE_SELF, resource.RUSAGE_CHILDREN):
        usage = resource.getrusage(who)
        total += usage.ru_utime + usage.ru_stime
    return total


def worker(name, paths, out, warm):
    """Runs one tracker over `paths` ([path, notated BPM] pairs); writes per-file results
    as JSON to `out`."""
    try:
        os.sched_setaffinity(0, {sorted(os.sched_getaffinity(0))[-1]})
    except (AttributeError, OSError):
        pass
    run = tracker(name)
    baseline = peak_kib()
    if warm:
        run(*warm)                      # imports, JIT compilation, caches
    results = []
    for path, bpm in paths:
        cpu, wall = cpu_seconds(), time.perf_counter()
        try:
            beats, downbeats = run(path, bpm)
            error = None
        except Exception as e:          # noqa: BLE001 - reported per file
            beats, downbeats, error = [], None, f"{type(e).__name__}: {e}"
        results.append({
            "path": str(path), "cpu": cpu_seconds() - cpu, "wall": time.perf_counter() - wall,
            "beats": [float(b) for b in beats],
            "downbeats": None if downbeats is None else [float(d) for d in downbeats],
            "error": error})
    peak = peak_kib()
    with open(out, "w") as f:
        json.dump({"results": results, "peak_kib": peak, "baseline_kib": baseline,
                   "child_kib": resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss}, f)


def run_worker(name, paths, warm=None):
    """Runs `worker` in a fresh process; returns its JSON."""
    with tempfile.TemporaryDirectory() as tmp:
        listing = Path(tmp) / "paths.json"
        out = Path(tmp) / "out.json"
        listing.write_text(json.dumps([[str(p), b] for p, b in paths]))
        command = [sys.executable, __file__, "--worker", name, str(listing), str(out)]
        if warm:
            command.append(json.dumps([str(warm[0]), warm[1]]))
        subprocess.run(command, check=True, env=dict(os.environ, **ONE_THREAD))
        return json.loads(out.read_text())


# ---- scoring ----------------------------------------------------------------------------

def read_truth(path):
    beats, downbeats = [], []
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 2:
                beats.append(float(parts[0]))
                if int(float(parts[1])) == 1:
                    downbeats.append(float(parts[0]))
    return beats, downbeats


def scores(truth_path, result):
    import numpy as np
    import mir_eval

    ref_beats, ref_down = (np.array(x) for x in read_truth(truth_path))
    est = np.sort(np.array(result["beats"], dtype=float))
    if result["downbeats"] is None:
        est_down = est[::4]             # the 4/4 guess for trackers without downbeats
    else:
        est_down = np.sort(np.array(result["downbeats"], dtype=float))
    ref_beats, est = mir_eval.beat.trim_beats(ref_beats), mir_eval.beat.trim_beats(est)
    ref_down, est_down = mir_eval.beat.trim_beats(ref_down), mir_eval.beat.trim_beats(est_down)
    f = mir_eval.beat.f_measure(ref_beats, est)
    _, cmlt, _, amlt = mir_eval.beat.continuity(ref_beats, est)
    down = mir_eval.beat.f_measure(ref_down, est_down)
    # The found tempo over the true one (median beat intervals), for the kinds of error.
    ratio = (float(np.median(np.diff(ref_beats)) / np.median(np.diff(est)))
             if len(ref_beats) > 1 and len(est) > 1 else None)
    return {"F": f, "CMLt": cmlt, "AMLt": amlt, "DbF": down, "ratio": ratio}


METRICS = ("F", "CMLt", "AMLt", "DbF")
KINDS = ("twice", "half", "offbeat", "other")


def error_kind(row):
    """None for a clip tracked well (F >= 0.95); else "twice" or "half" the tempo, the
    right tempo on the "offbeat", or "other" (a wrong tempo, lost beats)."""
    if row["F"] >= 0.95:
        return None
    ratio = row.get("ratio")
    if ratio is not None:
        if abs(ratio - 2) < 0.1:
            return "twice"
        if abs(ratio - 0.5) < 0.025:
            return "half"
        if abs(ratio - 1) < 0.05 and row["AMLt"] >= 0.9:
            return "offbeat"
    return "other"


def mean_scores(rows):
    return {m: statistics.fmean(r[m] for r in rows) for m in METRICS} if rows else None


# ---- the long file ----------------------------------------------------------------------

def long_file(directory, clips):
    """A 10-minute file joined from clips of the set (cached beside it)."""
    import numpy as np
    import soundfile

    path = Path(directory) / "long-10min.flac"
    if path.exists():
        return path
    parts, total = [], 0
    for clip in clips:
        data, rate = soundfile.read(str(Path(directory) / f"{clip['name']}.flac"),
                                    dtype="int16")
        parts.append(data)
        total += len(data)
        if total >= LONG_SECONDS * rate:
            break
    audio = np.concatenate(parts)[:LONG_SECONDS * make_set.RATE]
    tmp = path.with_suffix(".part.flac")
    soundfile.write(str(tmp), audio, make_set.RATE, subtype="PCM_16", format="FLAC")
    os.replace(tmp, path)
    return path


# ---- the report -------------------------------------------------------------------------

def half_time(score):
    """True for a score whose snare plays on the third beat of the bar only."""
    _, events = make_set.score_events(score, 4)
    snares = [pip % 256 for pip, lane, _, _ in events if lane == "snare"]
    return bool(snares) and all(128 <= pip < 192 for pip in snares)


def child_mib(run):
    """The largest child process's peak (a decoder), or "-" when there was none."""
    return f"{run['child_kib'] / 1024:.1f}" if run.get("child_kib") else "-"


def fmt(value):
    return "   -  " if value is None else f"{value:6.3f}"


GOALS = {"F": 0.92, "CMLt": 0.88, "AMLt": 0.96, "DbF": 0.85}
GOAL_SPEED = 100.0
GOAL_PEAK_MIB = 200.0


def groups(args):
    """[(group, directory, [clip])]: the sets to score, each clip with its "path" and "bpm".

    - style: the held-out test scores, each at tempos drawn from its style's range, played
      on the recorded kits (the headline, with the Freedoom test songs);
    - freedoom: the held-out Freedoom songs of the training corpus, as composed (needs the
      corpus, built in the training root);
    - stress: the held-out test scores at tempos drawn evenly from 70 to 180 BPM;
    - drums: the evaluation set of every drum score (even tempos), as before.
    """
    sys.path.insert(0, str(HERE.parent / "training"))
    names = split.scores("test", list(make_set.scores()))
    out = []
    wanted = args.groups.split(",")
    for group, spec in (("style", {"tempos": "style", "names": names, "per_score": 4}),
                        ("stress", {"tempos": "even", "names": names, "per_score": 4}),
                        ("drums", {})):
        if group not in wanted:
            continue
        directory = make_set.build(args.seed, jobs=args.jobs, **spec)
        clips = [dict(c, path=str(Path(directory) / f"{c['name']}.flac"))
                 for c in make_set.read_index(directory)["clips"]]
        out.append((group, directory, clips))
    if "freedoom" in wanted:
        try:
            import corpus
            if not corpus.freedoom_songs():
                raise FileNotFoundError("the Freedoom WADs are not installed")
            directory = corpus.build(jobs=args.jobs)
        except Exception as error:          # noqa: BLE001 - reported, the rest goes on
            print(f"freedoom: not available ({type(error).__name__}: {error})")
        else:
            clips = [dict(e, path=str(Path(directory) / f"{e['name']}.flac"))
                     for e in corpus.read_index(directory)["items"] if e["part"] == "test"]
            out.append(("freedoom", directory, clips))
    for _, _, clips in out:
        clips[:] = [c for c in clips if args.only is None or args.only in c["name"]
                    or args.only in c["tags"]][:args.limit]
    return out


def truth_path(clip):
    return str(Path(clip["path"]).with_suffix(".beats"))


def main(argv=None):
    parser = argparse.ArgumentParser(description="Beat tracking on the evaluation sets.")
    parser.add_argument("--trackers", default=",".join(TRACKERS))
    parser.add_argument("--groups", default="style,freedoom,stress,drums")
    parser.add_argument("--limit", type=int, default=None, help="only the first N clips of each group")
    parser.add_argument("--only", default=None,
                        help="only clips whose name contains TEXT or that carry tag TEXT")
    parser.add_argument("--no-long", action="store_true", help="skip the 10-minute file")
    parser.add_argument("--per-clip", action="store_true", help="print every clip's scores")
    parser.add_argument("--jobs", type=int, default=None, help="render processes for the sets")
    parser.add_argument("--seed", type=int, default=17,
                        help="the seed the sets are drawn from")
    args = parser.parse_args(argv)
    names = [n for n in args.trackers.split(",") if n]

    started = time.perf_counter()
    sets = groups(args)
    clips = [c for _, _, chosen in sets for c in chosen]
    for group, directory, chosen in sets:
        for c in chosen:
            c["group"] = group
        minutes = sum(c["seconds"] for c in chosen) / 60
        print(f"{group}: {Path(directory).name}, {len(chosen)} clips, {minutes:.1f} min of audio")
    audio_seconds = sum(c["seconds"] for c in clips)
    print(f"(sets ready after {time.perf_counter() - started:.1f} s)")
    print("downbeats of aubio and librosa: every fourth beat from the first (a 4/4 guess)")
    print("first 5 s of every clip trimmed before scoring (mir_eval.beat.trim_beats)")
    print()

    paths = [(c["path"], c["bpm"]) for c in clips]
    warm = paths[0]
    per_tracker, runs = {}, {}
    for name in names:
        why = available(name)
        if why:
            print(f"{name}: not available ({why})")
            continue
        t0 = time.perf_counter()
        run = run_worker(name, paths, warm)
        runs[name] = run
        rows = []
        for clip, result in zip(clips, run["results"]):
            s = scores(truth_path(clip), result)
            rows.append(dict(s, clip=clip, error=result["error"]))
        per_tracker[name] = rows
        errors = sum(1 for r in rows if r["error"])
        failed = f", {errors} failed" if errors else ""
        print(f"{name}: {len(rows)} clips in {time.perf_counter() - t0:.1f} s{failed}")
    print()

    held_out = ("style", "freedoom")
    table = [("held-out (style + freedoom)", lambda c: c["group"] in held_out)]
    table += [(g, lambda c, g=g: c["group"] == g) for g, _, _ in sets]
    print("by group: F / CMLt / AMLt / DbF (the headline is the held-out row)")
    print(f"{'group':<28} {'n':>3}  " + "  ".join(f"{n:^27}" for n in per_tracker))

    def row(label, test):
        cells, n = [], 0
        for rows in per_tracker.values():
            chosen = [r for r in rows if test(r["clip"])]
            n = len(chosen)
            m = mean_scores(chosen)
            cells.append(" ".join(fmt(m[k]).strip().rjust(6) for k in METRICS) if m else "-")
        print(f"{label:<28} {n:>3}  " + "  ".join(f"{c:^27}" for c in cells))

    for label, test in table:
        row(label, test)
    print()
    print("within the groups")
    detail = [(f"{g}: {t}", lambda c, g=g, t=t: c["group"] == g and t in c["tags"])
              for g in ("style", "stress") for t in TAGS]
    detail += [("freedoom: no drums", lambda c: c["group"] == "freedoom" and "no drums" in c["tags"])]
    detail += [("style: half-time", lambda c: c["group"] == "style" and half_time(c["score"]))]
    for label, test in detail:
        if any(test(c) for c in clips):
            row(label, test)
    print()

    print(f"{'tracker':<15} {'xRT cpu':>8} {'xRT wall':>8} {'peak MiB':>8} {'child MiB':>9}  (all clips)")
    for name, run in runs.items():
        cpu = sum(r["cpu"] for r in run["results"])
        wall = sum(r["wall"] for r in run["results"])
        print(f"{name:<15} {audio_seconds / cpu:8.1f} {audio_seconds / wall:8.1f} "
              f"{run['peak_kib'] / 1024:8.1f} {child_mib(run):>9}")
    print()

    print("errors by kind on the held-out clips: beat F-measure under 0.95, by what went wrong")
    print(f"{'tracker':<15} " + " ".join(f"{k:>9}" for k in KINDS))
    for name, rows in per_tracker.items():
        kinds = [error_kind(r) for r in rows if r["clip"]["group"] in held_out]
        print(f"{name:<15} " + " ".join(f"{kinds.count(k):>9}" for k in KINDS))
    print()

    if args.per_clip:
        for name, rows in per_tracker.items():
            print(f"-- {name}")
            for r in rows:
                c = r["clip"]
                print(f"{c['group']:<9} {c['name']:<40} {c['bpm']:6.1f} {','.join(c['tags']):<14}"
                      f" {r['F']:.3f} {r['CMLt']:.3f} {r['AMLt']:.3f} {r['DbF']:.3f}"
                      f" {error_kind(r) or '':<9}" + (f"  {r['error']}" if r["error"] else ""))
        print()

    long_runs = {}
    if not args.no_long and sets:
        drums = next((d for g, d, _ in sets if g in ("drums", "stress", "style")), None)
        if drums is not None:
            path = long_file(drums, make_set.read_index(drums)["clips"])
            print(f"long file: {LONG_SECONDS / 60:.0f} min, alone in a fresh process")
            print(f"{'tracker':<15} {'xRT cpu':>8} {'xRT wall':>8} {'peak MiB':>8} {'child MiB':>9}"
                  f" {'after import':>12}")
            for name in names:
                if name == "kinetra-range" or available(name):
                    continue
                run = run_worker(name, [(path, 120.0)])
                r = run["results"][0]
                if r["error"]:
                    print(f"{name:<15} failed: {r['error']}")
                    continue
                long_runs[name] = (LONG_SECONDS / r["cpu"], run["peak_kib"] / 1024)
                print(f"{name:<15} {LONG_SECONDS / r['cpu']:8.1f} {LONG_SECONDS / r['wall']:8.1f} "
                      f"{run['peak_kib'] / 1024:8.1f} {child_mib(run):>9} "
                      f"{run['baseline_kib'] / 1024:12.1f}")
            print()

    if "kinetra" in per_tracker:
        chosen = [r for r in per_tracker["kinetra"] if r["clip"]["group"] in held_out]
        m = mean_scores(chosen)
        if m:
            print("goals (kinetra, held-out test songs at style tempos)")
            for k, goal in GOALS.items():
                print(f"  {k:<10} {m[k]:6.3f}  goal >= {goal:.2f}  {'met' if m[k] >= goal else 'not met'}")
            if "kinetra" in long_runs:
                speed, peak = long_runs["kinetra"]
                print(f"  {'speed':<10} {speed:6.0f}x goal >= {GOAL_SPEED:.0f}x  "
                      f"{'met' if speed >= GOAL_SPEED else 'not met'}")
                print(f"  {'peak':<10} {peak:6.0f}  goal <= {GOAL_PEAK_MIB:.0f} MiB  "
                      f"{'met' if peak <= GOAL_PEAK_MIB else 'not met'}")
            print()
    print(f"bench took {time.perf_counter() - started:.1f} s")
    return 0


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "--worker":
        _, _, name, listing, out, *warm = sys.argv
        worker(name, json.loads(Path(listing).read_text()), out, json.loads(warm[0]) if warm else None)
    else:
        sys.exit(main())
