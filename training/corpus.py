"""Builds the labelled corpus the beat model learns from, the truth known by construction.

Two kinds of song, each rendered several times with other sounds and changes:

- the project's drum scores (`packs/beats`), with their bass and chord parts, at the
  tempo their style is played at (`bench/beat_eval/styles.py`), drums played from the
  General MIDI percussion of a sound font (so no kit recording is learned);
- the music of Freedoom (the MIDI lumps of its WADs, BSD licence), its beats and bars
  from each file's tempo map and time signatures.

Every rendering goes through `fluidsynth` with one of the sound fonts below, then through
augmentation: tempo scaling, drift and steps, transposition, start mid-bar and lead-in
silence, a breakdown without drums, clips with no drums at all, EQ, room reverb, noise and
level. Songs are split into train, validation and test by name (`split.py`): every
rendering of a song is in one part. Only sound fonts and songs whose licence lets weights
trained on them ship under MIT train; the others (GPL) render test songs only.

Each item is `NAME.npz` (the analysis' own spectrogram features, beats and downbeats in
seconds); validation and test items also keep `NAME.flac` and `NAME.beats` (time,
position in the bar), as the evaluation set does, with `index.json` listing them all.
The corpus is cached under `${XDG_CACHE_HOME:-~/.cache}/kinetra-beat-corpus/`, keyed by
its plan and the code that makes it; the same seed makes the same corpus.

    scripts/dev train -- nice -n 10 python3.14 training/corpus.py [--jobs 2] [--small]
"""

import argparse
import hashlib
import io
import json
import math
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ProcessPoolExecutor
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
sys.path.insert(0, str(ROOT / "bench" / "beat_eval"))
sys.path.insert(0, str(ROOT / "python"))

import make_set  # noqa: E402
import split  # noqa: E402

VERSION = 2
SEED = 27
RATE = 22050
SF2 = Path("/usr/share/sounds/sf2")
# name: (file, licence, whether weights trained on it may ship under MIT)
FONTS = {
    "fluidr3": (SF2 / "FluidR3_GM.sf2", "MIT", True),
    "musescore": (Path("/usr/share/sounds/sf3/MuseScore_General_Lite.sf3"), "MIT", True),
    "timgm6mb": (SF2 / "TimGM6mb.sf2", "GPL-2", False),
}
WADS = (Path("/usr/share/games/doom/freedoom1.wad"), Path("/usr/share/games/doom/freedoom2.wad"))
FREEDOOM_LICENCE = "BSD-3-Clause"
SCORE_LICENCE = "MIT"

# Renderings per song and part.
SCORE_CLIPS = {"train": 3, "validation": 2}
FREEDOOM_VERSIONS = {"train": 2, "validation": 1, "test": 1}
EXCERPT = (40.0, 100.0)         # seconds of a Freedoom song per rendering
# More training renderings, drawn from a generator of their own so that the items above
# stay as they are: each training score at tempos drawn evenly over the whole range
# (so that the pulse, not the style, tells the tempo and the bar), and each training
# Freedoom song again.
EVEN_SCORE_CLIPS = 2
MORE_FREEDOOM_VERSIONS = 2
# How often each font is drawn: MuseScore's compressed samples take seconds to load.
FONT_WEIGHTS = {"fluidr3": 3, "musescore": 1, "timgm6mb": 1}

# General MIDI percussion for the scores' lanes.
GM_DRUMS = {"kick": (36, 35), "snare": (38, 40), "clap": (39,), "hat": (42, 44), "open_hat": (46,),
            "tom": (41, 45, 48), "perc": (37, 56, 75, 76)}
GM_KITS = {"acoustic": (0, 8, 16, 32, 40), "electronic": (24, 25, 0)}


def cache_root():
    base = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return Path(base) / "kinetra-beat-corpus"


def fonts(shippable_only):
    return [name for name, (path, _, ship) in FONTS.items()
            if path.exists() and (ship or not shippable_only)]


# ---- Freedoom ---------------------------------------------------------------------------

def freedoom_songs():
    """{song name: MIDI bytes} of the music lumps in the Freedoom WADs, each tune once."""
    songs, seen = {}, set()
    for wad in WADS:
        if not wad.exists():
            continue
        data = wad.read_bytes()
        _, count, offset = struct.unpack("<4sii", data[:12])
        for k in range(count):
            at, size, raw = struct.unpack("<ii8s", data[offset + 16 * k:offset + 16 * k + 16])
            name = raw.rstrip(b"\0").decode("ascii", "replace")
            lump = data[at:at + size]
            if not name.startswith("D_") or lump[:4] != b"MThd" or size < 4000:
                continue
            digest = hashlib.sha256(lump).hexdigest()
            if digest in seen:
                continue
            seen.add(digest)
            songs[f"freedoom-{wad.stem[-1]}-{name[2:].lower()}"] = lump
    return songs


def read_midi(data):
    """(messages [(seconds, message)], beats [(seconds, position)], has drums) of a MIDI file."""
    import mido
    import numpy as np

    mid = mido.MidiFile(file=io.BytesIO(data))
    tpb = mid.ticks_per_beat
    events = []
    for track in mid.tracks:
        tick = 0
        for message in track:
            tick += message.time
            events.append((tick, message))
    events.sort(key=lambda e: e[0])
    tempos = [(0, 500000)]
    signatures = [(0, 4, 4)]
    for tick, message in events:
        if message.type == "set_tempo":
            if tempos[-1][0] == tick:
                tempos[-1] = (tick, message.tempo)
            else:
                tempos.append((tick, message.tempo))
        elif message.type == "time_signature":
            if signatures[-1][0] == tick:
                signatures[-1] = (tick, message.numerator, message.denominator)
            else:
                signatures.append((tick, message.numerator, message.denominator))
    marks = np.array([t for t, _ in tempos], dtype=np.float64)
    rates = np.array([us / 1e6 / tpb for _, us in tempos])         # seconds per tick
    starts = np.concatenate(([0.0], np.cumsum(np.diff(marks) * rates[:-1])))

    def seconds(ticks):
        ticks = np.asarray(ticks, dtype=np.float64)
        k = np.searchsorted(marks, ticks, side="right") - 1
        return starts[k] + (ticks - marks[k]) * rates[k]

    notes = [t for t, m in events if m.type == "note_on" and m.velocity > 0]
    if not notes:
        return [], [], False
    first, last = min(notes), max(notes)
    has_drums = any(m.type == "note_on" and m.velocity > 0 and m.channel == 9 for _, m in events)
    # Beats bar by bar from tick 0, each bar in the signature in force at its start.
    beat_ticks, positions = [], []
    tick, s = 0.0, 0
    while tick <= last:
        while s + 1 < len(signatures) and signatures[s + 1][0] <= tick:
            s += 1
        _, num, den = signatures[s]
        unit = tpb * 4 / den
        per_bar = num
        if den == 8 and num % 3 == 0 and num >= 6:       # compound: the dotted beat
            unit, per_bar = unit * 3, num // 3
        nxt = signatures[s + 1][0] if s + 1 < len(signatures) else math.inf
        for b in range(per_bar):
            at = tick + b * unit
            if at >= nxt and b:
                break
            beat_ticks.append(at)
            positions.append(b + 1)
        tick = min(tick + per_bar * unit, nxt) if nxt > tick else tick + per_bar * unit
    beat_ticks = np.array(beat_ticks)
    times = seconds(beat_ticks)
    keep = (beat_ticks >= first - tpb / 2) & (beat_ticks <= last)
    beats = [(float(t), p) for t, p, k in zip(times, positions, keep) if k]
    timed = [(float(seconds(t)), m) for t, m in events if not m.is_meta and m.type != "sysex"]
    return timed, beats, has_drums


def tapped_level(beats):
    """The beats at a level a listener taps (60-200 BPM): every other one of too fast a pulse."""
    if len(beats) < 3:
        return beats
    import numpy as np

    bpm = 60 / float(np.median(np.diff([t for t, _ in beats])))
    if bpm > 200:
        beats = [b for b in beats if b[1] % 2 == 1]
        beats = [(t, (p + 1) // 2) for t, p in beats]
    return beats


# ---- time warps -------------------------------------------------------------------------

def warp(rng, length, scale, drift):
    """A function from seconds of the song to seconds of the rendering: played `scale`
    times as fast, with a slow wave of speed `drift` deep."""
    import numpy as np

    grid = np.arange(0, length / min(scale, 1) * 1.2 + 10, 0.01)
    depth = drift * rng.choice((-1, 1))
    cycles_seconds = rng.uniform(20, 60)
    phase = rng.uniform(0, 2 * math.pi)
    speed = scale * (1 + depth * np.sin(2 * math.pi * grid / cycles_seconds + phase))
    out = np.concatenate(([0.0], np.cumsum(0.01 / speed[:-1])))
    return lambda t: np.interp(t, grid, out)


# ---- the plan ---------------------------------------------------------------------------

def plan(seed=SEED, small=False):
    """Every item's parameters: renderings of the drum scores (train, validation) and of
    Freedoom's songs (all parts)."""
    rng = random.Random(seed)
    items = []
    names = list(make_set.scores())
    shippable = fonts(True)
    every = fonts(False)
    for part in ("train", "validation"):
        chosen = split.scores(part, names)
        if small:
            chosen = chosen[:3]
        clips = make_set.plan(rng.randrange(2 ** 31), tempos="style", names=chosen,
                              per_score=SCORE_CLIPS[part])
        for clip in clips:
            items.append(score_item(rng, part, f"{part[:2]}-score-{clip['name']}", clip, shippable))
            # A rendering at 0.8-1.25 times the style tempo now and then, so that the
            # pulse, not only the style, tells the tempo.
            if rng.random() < 0.2:
                clip["bpm"] = round(clip["bpm"] * rng.uniform(0.8, 1.25), 3)
    songs = sorted(freedoom_songs())
    if small:
        songs = songs[:4]
    for song in songs:
        part = split.part(song)
        for v in range(FREEDOOM_VERSIONS[part]):
            items.append(freedoom_item(rng, song, part, v, every if part == "test" else shippable))
    more = random.Random(seed * 1_000_003 + 2)
    chosen = split.scores("train", names)[:3 if small else None]
    for clip in make_set.plan(more.randrange(2 ** 31), tempos="even", names=chosen,
                              per_score=EVEN_SCORE_CLIPS):
        items.append(score_item(more, "train", f"tr-even-{clip['name']}", clip, shippable))
    for song in songs:
        if split.part(song) == "train":
            for v in range(FREEDOOM_VERSIONS["train"], FREEDOOM_VERSIONS["train"] + MORE_FREEDOOM_VERSIONS):
                items.append(freedoom_item(more, song, "train", v, shippable))
    for item in items:
        item["font_licence"] = FONTS[item["font"]][1]
    return items


def score_item(rng, part, name, clip, font_names):
    kind = make_set.KITS[clip["kit"]].kind
    return {
        "name": name, "source": "score", "song": clip["score"],
        "part": part, "clip": clip, "font": pick_font(rng, font_names),
        "gm_kit": rng.choice(GM_KITS[kind]),
        "breakdown": rng.random() < 0.25, "no_drums": bool(clip["bass"]) and rng.random() < 0.08,
        "augment": augment_params(rng), "seed": rng.randrange(2 ** 31),
        "licence": SCORE_LICENCE}


def freedoom_item(rng, song, part, version, font_names):
    test = part == "test"
    return {
        "name": f"{part[:2]}-{song}-{version}", "source": "freedoom", "song": song, "part": part,
        "font": pick_font(rng, font_names),
        "scale": 1.0 if test else rng.uniform(0.88, 1.12),
        "drift": 0.0 if test or rng.random() < 0.6 else rng.uniform(0.01, 0.04),
        "transpose": 0 if test else rng.randint(-3, 3),
        "start": rng.choice((0.0, rng.uniform(0, 40))),
        "length": rng.uniform(*EXCERPT),
        "lead_in": rng.choice((0.0, 0.0, rng.uniform(0.1, 3.0))),
        "breakdown": not test and rng.random() < 0.25,
        "no_drums": not test and rng.random() < 0.1,
        "augment": augment_params(rng, light=test), "seed": rng.randrange(2 ** 31),
        "licence": FREEDOOM_LICENCE}


def pick_font(rng, names):
    return rng.choices(names, [FONT_WEIGHTS[n] for n in names])[0]


def augment_params(rng, light=False):
    return {
        "eq_db": [round(rng.uniform(-8, 8), 2) for _ in range(6)] if not light else [0.0] * 6,
        "reverb": (None if light or rng.random() < 0.6
                   else {"rt60": rng.uniform(0.2, 1.6), "wet": rng.uniform(0.1, 0.5)}),
        "noise_snr_db": None if light or rng.random() < 0.7 else rng.uniform(6, 30),
        "peak_db": rng.uniform(-18, -1),
    }


# ---- rendering --------------------------------------------------------------------------

def synth(messages, path_sf, seconds, workdir, name):
    """[(seconds, mido message)] played by fluidsynth with a sound font: mono float64 at RATE."""
    import mido
    import numpy as np
    import soundfile

    ticks_per_second = 2000
    track = mido.MidiTrack()
    now = 0
    for t, message in sorted(messages, key=lambda m: (m[0], m[1].type == "note_on")):
        tick = max(0, int(round(t * ticks_per_second)))
        track.append(message.copy(time=tick - now))
        now = tick
    midi = mido.MidiFile(ticks_per_beat=1000)
    midi.tracks.append(track)
    mid = Path(workdir) / f"{name}.mid"
    wav = Path(workdir) / f"{name}.wav"
    midi.save(mid)
    subprocess.run(["fluidsynth", "-ni", "-q", "-g", "0.5", "-F", str(wav), "-r", str(RATE),
                    str(path_sf), str(mid)], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    data, rate = soundfile.read(str(wav), dtype="float64", always_2d=True)
    mid.unlink()
    wav.unlink()
    x = data.mean(axis=1)[:int(seconds * RATE)]
    return np.pad(x, (0, int(seconds * RATE) - len(x)))


def score_messages(item):
    """(messages, beats, seconds) of a drum score clip: GM drums, bass and chords."""
    import mido
    import numpy as np

    clip = item["clip"]
    rng = np.random.default_rng(item["seed"])
    events = make_set.clip_events(clip)
    beats = make_set.swung(clip, np.array([e[0] for e in events]))
    clock = make_set.beat_clock(clip)
    times = clock(beats)
    if make_set.KITS[clip["kit"]].kind == "acoustic":
        times = np.maximum(times + np.clip(rng.normal(0, 0.004, len(times)), -0.01, 0.01), 0)
    start, end = clip["start_beat"], clip["start_beat"] + clip["length_beats"]
    gap = None
    if item["breakdown"]:
        width = clip["meter"] * rng.integers(4, 9)
        at = start + rng.uniform(0.2, 0.7) * clip["length_beats"]
        gap = (at, at + width)
    out = [(0.0, mido.Message("program_change", channel=9, program=item["gm_kit"]))]
    for (beat, lane, level, tom), t in zip(events, times):
        if lane == "bass" or item["no_drums"] or (gap and gap[0] <= beat < gap[1]):
            continue
        parts = []
        if lane == "snare":
            voice = clip["snare_voice"]
            if voice in ("snare", "both"):
                parts.append("snare")
            if voice in ("clap", "both"):
                parts.append("clap")
        elif lane == "hat":
            parts.append("open_hat" if level >= 1.0 and beat % 1 != 0 else "hat")
        elif lane == "perc":
            parts.append("tom" if tom else "perc")
        else:
            parts.append(lane)
        for part in parts:
            notes = GM_DRUMS[part]
            index = int(beat * 4) % len(notes) if part in ("tom", "perc") else item["seed"] % len(notes)
            velocity = int(np.clip(30 + 97 * level * (0.8 if part in ("hat", "open_hat") else 1.0), 1, 127))
            out.append((float(t), mido.Message("note_on", channel=9, note=notes[index], velocity=velocity)))
            out.append((float(t) + 0.1, mido.Message("note_off", channel=9, note=notes[index])))
    music = make_set.midi_notes(dict(clip, chords=clip["chords"] or ({"program": 0} if item["no_drums"] else None)))
    bass = (clip["bass"] or {"program": 33})["program"]
    chords = (clip["chords"] or {"program": 0})["program"]
    out.append((0.0, mido.Message("program_change", channel=0, program=bass)))
    out.append((0.0, mido.Message("program_change", channel=1, program=chords)))
    for t0, t1, channel, note, velocity in music:
        out.append((float(t0), mido.Message("note_on", channel=channel, note=note, velocity=velocity)))
        out.append((float(t1), mido.Message("note_off", channel=channel, note=note)))
    truth = make_set.ground_truth(clip)
    seconds = float(clock(np.array([end]))[0]) + 1.5
    return out, truth, seconds


def freedoom_messages(item, songs):
    """(messages, beats, seconds) of an excerpt of a Freedoom song, warped and transposed."""
    import mido
    import numpy as np

    rng = random.Random(item["seed"])
    timed, beats, has_drums = read_midi(songs[item["song"]])
    beats = tapped_level(beats)
    first = beats[0][0] if beats else 0.0
    start = first + item["start"]
    end = start + item["length"]
    w = warp(rng, end + 5, item["scale"], item["drift"])
    zero = float(w(start))

    def at(t):
        return float(w(t)) - zero + item["lead_in"]

    gap = None
    if item["breakdown"]:
        a = rng.uniform(start + 5, max(start + 6, end - 15))
        gap = (a, a + rng.uniform(6, 16))
    out = []
    for t, message in timed:
        kind = message.type
        if t < start:
            if kind not in ("note_on", "note_off"):
                out.append((item["lead_in"], message))
            continue
        if t > end:
            break
        if kind in ("note_on", "note_off"):
            if message.channel == 9:
                if kind == "note_on" and (item["no_drums"] or (gap and gap[0] <= t < gap[1])):
                    continue
            else:
                note = message.note + item["transpose"]
                if not 0 <= note <= 127:
                    continue
                message = message.copy(note=note)
        out.append((at(t), message))
    for channel in range(16):
        out.append((at(end), mido.Message("control_change", channel=channel, control=123, value=0)))
    truth = [(at(t), p) for t, p in beats if start - 0.01 <= t <= end]
    seconds = at(end) + 1.5
    tags = ["drums" if has_drums and not item["no_drums"] else "no drums"]
    return out, truth, seconds, tags


def augment(x, params, rng):
    """EQ, room reverb, noise and level on a mono float64 signal at RATE."""
    import numpy as np

    n = len(x)
    size = 1 << int(math.ceil(math.log2(n + int(2.0 * RATE))))
    spectrum = np.fft.rfft(x, size)
    freqs = np.fft.rfftfreq(size, 1 / RATE)
    centres = np.array([60, 200, 600, 1800, 5000, 10000], dtype=float)
    gains = np.interp(np.log2(np.maximum(freqs, 20)), np.log2(centres), params["eq_db"])
    spectrum *= 10 ** (gains / 20)
    if params["reverb"]:
        rt60, wet = params["reverb"]["rt60"], params["reverb"]["wet"]
        t = np.arange(int(min(rt60, 2.0) * RATE)) / RATE
        ir = rng.normal(size=len(t)) * np.exp(-6.9 * t / rt60)
        ir = np.concatenate((np.zeros(int(0.01 * RATE)), ir))
        ir /= np.sqrt(np.sum(ir ** 2)) + 1e-12
        spectrum = spectrum * (1 - wet) + spectrum * np.fft.rfft(ir, size) * wet
    y = np.fft.irfft(spectrum, size)[:n]
    if params["noise_snr_db"] is not None:
        white = np.fft.rfft(rng.normal(size=n))
        f = np.arange(len(white))
        white[1:] /= np.sqrt(f[1:]) ** rng.uniform(0, 1)         # white to pink
        noise = np.fft.irfft(white, n)
        rms = np.sqrt(np.mean(y ** 2)) + 1e-12
        y = y + noise / (np.sqrt(np.mean(noise ** 2)) + 1e-12) * rms * 10 ** (-params["noise_snr_db"] / 20)
    return y / (np.max(np.abs(y)) + 1e-12) * 10 ** (params["peak_db"] / 20)


def features_of_file(path):
    """The analysis' features of an audio file, read as the analysis reads it: (features, fps)."""
    from kinetra_tools.analysis import decode, spectrum

    stream = decode.open_audio(str(path), length=False)
    frames = spectrum.Spectrum(stream.rate)
    for block in stream.blocks():
        frames.feed(block)
    frames.finish()
    return frames.features(), frames.fps


def render_item(item, directory):
    import numpy as np
    import soundfile

    started = time.process_time()
    rng = np.random.default_rng(item["seed"])
    tags = []
    with tempfile.TemporaryDirectory(dir=directory) as work:
        if item["source"] == "score":
            messages, truth, seconds = score_messages(item)
            tags = list(item["clip"]["tags"]) + (["no drums"] if item["no_drums"] else [])
        else:
            messages, truth, seconds, tags = freedoom_messages(item, freedoom_songs_cached())
        audio = synth(messages, FONTS[item["font"]][0], seconds, work, item["name"])
        audio = augment(audio, item["augment"], rng)
        flac = Path(work if item["part"] == "train" else directory) / f"{item['name']}.flac"
        soundfile.write(str(flac), audio, RATE, subtype="PCM_16")
        features, fps = features_of_file(flac)
    beats = np.array([t for t, _ in truth])
    downbeats = np.array([t for t, p in truth if p == 1])
    np.savez_compressed(Path(directory) / f"{item['name']}.npz", features=features.astype(np.float16),
                        beats=beats, downbeats=downbeats, fps=fps)
    if item["part"] != "train":
        with open(Path(directory) / f"{item['name']}.beats", "w") as f:
            for t, p in truth:
                f.write(f"{t:.6f}\t{p}\n")
    bpm = 60 / float(np.median(np.diff(beats))) if len(beats) > 2 else 0.0
    meter = int(np.median(np.diff(np.flatnonzero([p == 1 for _, p in truth])))) if len(downbeats) > 2 else 4
    entry = {k: v for k, v in item.items() if k not in ("clip", "augment")}
    entry.update(seconds=round(len(audio) / RATE, 3), bpm=round(bpm, 3), meter=meter, tags=tags,
                 beats=len(beats), render_cpu=round(time.process_time() - started, 3))
    if item["source"] == "score":
        entry.update(score=item["clip"]["score"], kit=item["font"], kit_kind="gm")
    return entry


_SONGS = None


def freedoom_songs_cached():
    global _SONGS
    if _SONGS is None:
        _SONGS = freedoom_songs()
    return _SONGS


# ---- the cache --------------------------------------------------------------------------

def corpus_key(items):
    h = hashlib.sha256()
    h.update(json.dumps([VERSION, RATE, items], sort_keys=True, default=str).encode())
    for path in (Path(__file__), ROOT / "bench" / "beat_eval" / "make_set.py",
                 ROOT / "python" / "kinetra_tools" / "analysis" / "spectrum.py",
                 ROOT / "packs" / "beats" / "scores.py"):
        h.update(path.read_bytes())
    for song, data in sorted(freedoom_songs().items()):
        h.update(song.encode() + hashlib.sha256(data).digest())
    return h.hexdigest()[:16]


def build(seed=SEED, jobs=None, small=False, log=print):
    """The corpus' directory, rendered first if missing."""
    import fcntl

    items = plan(seed, small)
    key = corpus_key(items)
    root = cache_root()
    target = root / f"corpus-{key}"
    root.mkdir(parents=True, exist_ok=True)
    with open(root / "lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not (target / "index.json").exists():
            work = target.with_name(f"building-{key}")
            work.mkdir(exist_ok=True)
            started = time.perf_counter()
            done = {p.stem for p in work.glob("*.npz")}
            entries = []
            if (work / "entries.jsonl").exists():
                entries = [json.loads(line) for line in (work / "entries.jsonl").read_text().splitlines()]
                done &= {e["name"] for e in entries}
            todo = [i for i in items if i["name"] not in done]
            with ProcessPoolExecutor(max_workers=jobs or min(2, os.cpu_count() or 1)) as pool, \
                    open(work / "entries.jsonl", "a") as journal:
                futures = [pool.submit(render_item, item, str(work)) for item in todo]
                for k, future in enumerate(futures):
                    entry = future.result()
                    entries.append(entry)
                    journal.write(json.dumps(entry) + "\n")
                    journal.flush()
                    log(f"corpus: {k + 1}/{len(todo)} {entry['name']} ({entry['render_cpu']:.1f} s)",
                        file=sys.stderr)
            order = {i["name"]: n for n, i in enumerate(items)}
            entries.sort(key=lambda e: order[e["name"]])
            index = {"key": key, "seed": seed, "rate": RATE, "items": entries,
                     "build_seconds": round(time.perf_counter() - started, 1)}
            (work / "index.json").write_text(json.dumps(index, indent=1))
            (work / "entries.jsonl").unlink()
            os.rename(work, target)
        os.utime(target / "index.json")
    return target


def read_index(directory):
    return json.loads((Path(directory) / "index.json").read_text())


def main(argv=None):
    parser = argparse.ArgumentParser(description="Builds the beat model's training corpus.")
    parser.add_argument("--jobs", type=int, default=None)
    parser.add_argument("--seed", type=int, default=SEED)
    parser.add_argument("--small", action="store_true", help="a few songs only, to try the pipeline")
    parser.add_argument("--plan", action="store_true", help="print the plan's size and stop")
    args = parser.parse_args(argv)
    if args.plan:
        items = plan(args.seed, args.small)
        for part in ("train", "validation", "test"):
            chosen = [i for i in items if i["part"] == part]
            print(part, len(chosen), "items,", len({i["song"] for i in chosen}), "songs")
        return 0
    started = time.perf_counter()
    directory = build(args.seed, args.jobs, args.small)
    index = read_index(directory)
    minutes = sum(e["seconds"] for e in index["items"]) / 60
    print(f"{directory}: {len(index['items'])} items, {minutes:.1f} min of audio "
          f"(built in {index['build_seconds']} s; this call {time.perf_counter() - started:.1f} s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
