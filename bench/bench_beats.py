"""Beat tracking on the evaluation set: the project's tracker beside raw aubio and raw librosa.

Builds (or reuses, from the cache) the set of `bench/beat_eval/make_set.py`, then runs
every tracker on the same files in the same run, each in its own process pinned to one
core with its math libraries on one thread, and scores it with mir_eval:

- F-measure (hits within +-70 ms), CMLt and AMLt of the beats, and the F-measure of the
  downbeats, all after mir_eval's usual trimming of the first 5 s; means over the set,
  then per tag (steady, drift, step, swing, 3/4, noisy; a clip counts under each of
  its tags), per kind of kit, for the half-time scores (snare on beat three only, where
  the tempo a listener taps may be half the notated one) and per tempo band;
- speed as a multiple of real time (audio seconds per second of analysis, decoding
  included; CPU time and wall time) and the process's peak memory (with, apart, the
  largest peak of any child process it ran, such as a decoder: Linux counts a child's
  peak from its parent's size at the fork, so that figure is an upper bound);
- errors by kind: how many clips each tracker finds at twice or half the tempo, at the
  right tempo but on the offbeat, or otherwise wrong;
- a long-file figure: a 10-minute file made by joining clips, analysed alone in a fresh
  process (peak memory, and speed).

Neither anchor places downbeats: for them every fourth beat from the first counts as a
downbeat (a 4/4 guess, so their 3/4 downbeats are mostly wrong by design). The project's
tracker is `kinetra_tools.analysis.analyse(path)`; until it can be imported its rows say
"not available". `project-range` is the same analysis given the tempo to within an octave
(`min_bpm`, `max_bpm` from the clip's notated tempo divided and multiplied by the square root
of two), as a user who knows roughly how fast the song goes can give it: the difference between
the two rows is what the choice between twice, half and the notated tempo costs.

    scripts/dev run -- python3.14 bench/bench_beats.py [--trackers aubio,librosa,project,project-range]
        [--limit N] [--only TEXT] [--no-long] [--per-clip] [--seed N]

`--seed` draws another set (other tempos, kits, starts and variations of the same scores):
the project's analysis was developed against the default set, so another seed is the
fairer measure of it.
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

TRACKERS = ("aubio", "librosa", "project", "project-range")
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

        def run(path):
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

        def run(path):
            y, sr = librosa.load(str(path), sr=22050, mono=True)
            _, beats = librosa.beat.beat_track(y=y, sr=sr, units="time")
            return beats, None
        return run
    if name == "project":
        from kinetra_tools.analysis import analyse

        def run(path):
            found = analyse(path)
            return list(found.beats), list(found.downbeats)
        return run
    if name == "project-range":
        from kinetra_tools.analysis import analyse

        def run(path):
            # What a user gets who gives the tempo to within an octave: the clip's
            # notated tempo times 1/sqrt(2) to sqrt(2), as --min-bpm and --max-bpm.
            bpm = clip_bpm(path)
            found = analyse(path, min_bpm=max(40.0, bpm / 2 ** 0.5), max_bpm=min(240.0, bpm * 2 ** 0.5))
            return list(found.beats), list(found.downbeats)
        return run
    raise ValueError(name)


def clip_bpm(path):
    """The notated starting tempo of a clip of the set, from the set's index."""
    path = Path(path)
    index = make_set.read_index(path.parent)
    return next(c["bpm"] for c in index["clips"] if c["name"] == path.stem)


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
    """Runs one tracker over `paths`; writes per-file results as JSON to `out`."""
    try:
        os.sched_setaffinity(0, {sorted(os.sched_getaffinity(0))[-1]})
    except (AttributeError, OSError):
        pass
    run = tracker(name)
    baseline = peak_kib()
    if warm:
        run(warm)                       # imports, JIT compilation, caches
    results = []
    for path in paths:
        cpu, wall = cpu_seconds(), time.perf_counter()
        try:
            beats, downbeats = run(path)
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
        listing.write_text(json.dumps([str(p) for p in paths]))
        command = [sys.executable, __file__, "--worker", name, str(listing), str(out)]
        if warm:
            command.append(str(warm))
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


def main(argv=None):
    parser = argparse.ArgumentParser(description="Beat tracking on the evaluation set.")
    parser.add_argument("--trackers", default=",".join(TRACKERS))
    parser.add_argument("--limit", type=int, default=None, help="only the first N clips")
    parser.add_argument("--only", default=None,
                        help="only clips whose name contains TEXT or that carry tag TEXT")
    parser.add_argument("--no-long", action="store_true", help="skip the 10-minute file")
    parser.add_argument("--per-clip", action="store_true", help="print every clip's scores")
    parser.add_argument("--jobs", type=int, default=None, help="render processes for the set")
    parser.add_argument("--seed", type=int, default=make_set.SEED,
                        help="draw the set from another seed: a held-out set, on which "
                             "no tracker here was tuned")
    args = parser.parse_args(argv)
    names = [n for n in args.trackers.split(",") if n]

    started = time.perf_counter()
    directory = make_set.build(args.seed, jobs=args.jobs)
    index = make_set.read_index(directory)
    clips = [c for c in index["clips"]
             if args.only is None or args.only in c["name"] or args.only in c["tags"]]
    clips = clips[:args.limit]
    audio_seconds = sum(c["seconds"] for c in clips)
    print(f"set: {directory.name} (seed {args.seed}), {len(clips)} clips, {audio_seconds / 60:.1f} min of audio "
          f"(ready after {time.perf_counter() - started:.1f} s)")
    kits = sorted({c["kit"] for c in clips})
    counts = {t: sum(t in c["tags"] for c in clips) for t in TAGS}
    print("kits: " + ", ".join(kits))
    print("clips per tag: " + ", ".join(f"{t} {n}" for t, n in counts.items()))
    print("downbeats of aubio and librosa: every fourth beat from the first (a 4/4 guess)")
    print("first 5 s of every clip trimmed before scoring (mir_eval.beat.trim_beats)")
    print()

    paths = [Path(directory) / f"{c['name']}.flac" for c in clips]
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
            s = scores(Path(directory) / f"{clip['name']}.beats", result)
            rows.append(dict(s, clip=clip, error=result["error"]))
        per_tracker[name] = rows
        errors = sum(1 for r in rows if r["error"])
        failed = f", {errors} failed" if errors else ""
        print(f"{name}: {len(rows)} clips in {time.perf_counter() - t0:.1f} s{failed}")
    print()

    header = f"{'tracker':<13} {'F':>6} {'CMLt':>6} {'AMLt':>6} {'DbF':>6}  " \
             f"{'xRT cpu':>8} {'xRT wall':>8} {'peak MiB':>8} {'child MiB':>9}"
    print("all clips")
    print(header)
    for name in names:
        if name not in per_tracker:
            print(f"{name:<13} not available")
            continue
        m = mean_scores(per_tracker[name])
        run = runs[name]
        cpu = sum(r["cpu"] for r in run["results"])
        wall = sum(r["wall"] for r in run["results"])
        print(f"{name:<13} {fmt(m['F'])} {fmt(m['CMLt'])} {fmt(m['AMLt'])} {fmt(m['DbF'])}  "
              f"{audio_seconds / cpu:8.1f} {audio_seconds / wall:8.1f} "
              f"{run['peak_kib'] / 1024:8.1f} {child_mib(run):>9}")
    print()

    print("by group: F / CMLt / AMLt / DbF")
    print(f"{'group':<12} {'n':>3}  " + "  ".join(f"{n:^27}" for n in per_tracker))
    groups = [(t, lambda c, t=t: t in c["tags"]) for t in TAGS]
    groups += [(k, lambda c, k=k: c["kit_kind"] == k) for k in ("acoustic", "electronic")]
    groups += [("half-time", lambda c: half_time(c["score"]))]
    groups += [(f"{lo}-{hi} BPM", lambda c, lo=lo, hi=hi: lo <= c["bpm"] < hi)
               for lo, hi in ((70, 100), (100, 140), (140, 181))]
    for label, test in groups:
        cells = []
        n = 0
        for name, rows in per_tracker.items():
            chosen = [r for r in rows if test(r["clip"])]
            n = len(chosen)
            m = mean_scores(chosen)
            cells.append(" ".join(fmt(m[k]).strip().rjust(6) for k in METRICS) if m else "-")
        print(f"{label:<12} {n:>3}  " + "  ".join(f"{c:^27}" for c in cells))
    print()

    print("errors by kind: clips whose beat F-measure is under 0.95, by what went wrong")
    print(f"{'tracker':<13} " + " ".join(f"{k:>9}" for k in KINDS))
    for name, rows in per_tracker.items():
        kinds = [error_kind(r) for r in rows]
        print(f"{name:<13} " + " ".join(f"{kinds.count(k):>9}" for k in KINDS))
    print()

    if args.per_clip:
        for name, rows in per_tracker.items():
            print(f"-- {name}")
            for r in rows:
                c = r["clip"]
                print(f"{c['name']:<32} {c['bpm']:6.1f} {c['kit']:<16} {','.join(c['tags']):<14}"
                      f" {r['F']:.3f} {r['CMLt']:.3f} {r['AMLt']:.3f} {r['DbF']:.3f}"
                      f" {error_kind(r) or '':<9}" + (f"  {r['error']}" if r["error"] else ""))
        print()

    if not args.no_long:
        path = long_file(directory, index["clips"])
        print(f"long file: {LONG_SECONDS / 60:.0f} min, alone in a fresh process")
        print(f"{'tracker':<13} {'xRT cpu':>8} {'xRT wall':>8} {'peak MiB':>8} {'child MiB':>9}"
              f" {'after import':>12}")
        for name in names:
            if name == "project-range":
                continue                # the same analysis, and the long file has no notated tempo
            if available(name):
                print(f"{name:<13} not available")
                continue
            run = run_worker(name, [path])
            r = run["results"][0]
            if r["error"]:
                print(f"{name:<13} failed: {r['error']}")
                continue
            print(f"{name:<13} {LONG_SECONDS / r['cpu']:8.1f} {LONG_SECONDS / r['wall']:8.1f} "
                  f"{run['peak_kib'] / 1024:8.1f} {child_mib(run):>9} "
                  f"{run['baseline_kib'] / 1024:12.1f}")
        print()
    print(f"bench took {time.perf_counter() - started:.1f} s")
    return 0


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "--worker":
        _, _, name, listing, out, *warm = sys.argv
        worker(name, json.loads(Path(listing).read_text()), out, warm[0] if warm else None)
    else:
        sys.exit(main())
