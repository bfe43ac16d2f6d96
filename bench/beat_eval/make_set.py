"""Builds the beat-tracking evaluation set: the project's own drum scores played
on recorded drum kits, with a bass and chord part, and the ground truth known by
construction.

Every clip is one of the 68 drum scores of `packs/beats` (some also as a 3/4
variant), rendered from the samples of a Debian `hydrogen-drumkits` kit
(acoustic and electronic kits), with a bass part where the score has a bass lane
and, in some clips, a chord part, both played by `fluidsynth` from
`fluid-soundfont-gm`. Clips vary, reproducibly from one seed: tempo (70-180
BPM), where in the loop they start (mid-bar, mid-beat), lead-in silence, swing,
gradual tempo drift (up to 3 %), a tempo step, added noise and level changes,
and length (30-60 s).

Beside each `NAME.flac` lies `NAME.beats`: one line per beat, its time in
seconds, then its position in the bar (1 = downbeat). `index.json` lists every
clip with its tempo, meter, kit, variations and tags. Beat times are where the
notated beat falls; every drum sample is trimmed to its attack, so a hit
notated on a beat sounds there (acoustic kits add a few milliseconds of
human timing spread around it).

The set is written to `${XDG_CACHE_HOME:-~/.cache}/kinetra-beat-eval/` and is
rebuilt only when this file or the parameters change:

    python3 bench/beat_eval/make_set.py [--jobs N] [--force]

prints the set's directory.
"""

import argparse
import hashlib
import json
import math
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET
from concurrent.futures import ProcessPoolExecutor
from dataclasses import dataclass
from functools import lru_cache
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import styles  # noqa: E402

# Bump VERSION whenever a change alters what a clip sounds like or its ground truth
# without changing its parameters; a change of parameters changes the key by itself.
VERSION = 2
RATE = 44100
SEED = 16
PIPS = 64                       # pips per beat in the scores
DRUMKITS = Path("/usr/share/hydrogen/data/drumkits")
SOUNDFONT = Path("/usr/share/sounds/sf2/FluidR3_GM.sf2")
PACKS = Path(__file__).resolve().parents[2] / "packs"

# Clips of each kind in 4/4 (one per score, shuffled), then 3/4 variants.
PLAN_44 = {"steady": 20, "drift": 14, "step": 12, "swing": 10, "noisy": 12}
COUNT_34 = 16
MIN_BPM, MAX_BPM = 70.0, 180.0


# ---- kits -------------------------------------------------------------------------------

@dataclass(frozen=True)
class Kit:
    folder: str
    kind: str                   # "acoustic" or "electronic"
    kick: tuple
    snare: tuple
    hat: tuple
    open_hat: tuple = ()
    clap: tuple = ()
    toms: tuple = ()            # low to high
    perc: tuple = ()


# Instrument names as the kit's drumkit.xml gives them. A lane a kit lacks is
# played from the hand-percussion kit below.
KITS = {
    "colombo": Kit("ColomboAcousticDrumkit", "acoustic", ("BassDrum",), ("Snare1",),
                   ("Closed HH",), ("Open HH",), (), ("Tom Low", "Tom Mid", "Tom Hi"),
                   ("Stick",)),
    "black_pearl": Kit("The Black Pearl 1.0", "acoustic", ("Pearl Kick",), ("Pearl Snare",),
                       ("Sabian Hat Closed",), ("Sabian Hat Open",), ("Hand Clap",),
                       ("Pearl Tom Floor", "Pearl Tom 2", "Pearl Tom 1"),
                       ("Pearl Side Stick", "Cowbell")),
    "forzee": Kit("ForzeeStereo", "acoustic", ("Kick (Tama Superstar 22\")",),
                  ("Snare (Pearl Free Floating Maple 14x3.5)",),
                  ("Hi-Hat Closed (Paiste Alpha Metal edge 14\")",),
                  ("Hi-Hat Open (Paiste Alpha Metal edge 14\")",), (),
                  ("Tom Low (Tama Superstar 16\")", "Tom Mid (Tama Superstar 13\")",
                   "Tom High (Tama Superstar 12\")"),
                  ("Rim Click (Pearl Free Floating Maple 14x3.5)", "Agogo High (Pearl ECB-23)")),
    "millo": Kit("Millo_MultiLayered2", "acoustic", ("Kick",), ("Snare Rock",), ("Closed HH",),
                 ("Open HH",), ("Hand Clap",), ("Tom Low", "Tom Mid", "Tom Hi"),
                 ("Stick", "Cowbell")),
    "pacific": Kit("BJA_Pacific", "acoustic", ("BassDrum",), ("Snare",), ("Hi Hat Closed",),
                   ("Hi Hat Opened",), (), ("Floor Tom", "Tom"), ("Ride Bell",)),
    "electric_empire": Kit("ElectricEmpireKit", "electronic", ("Kick Power",), ("Snare 1",),
                           ("Hat Closed Bs",), ("Hat Op Dirty",), ("Clap",),
                           ("Drum 2", "Drum 1"), ("Conga 1", "Click")),
    "hard_electro": Kit("HardElectro1", "electronic", ("Kick 1",), ("Snare",), ("Closed HH 2",),
                        ("Open HH",), ("Clap 1",), (), ("Side HH",)),
    "varibreaks": Kit("VariBreaks", "electronic", ("VariBreaks Kick 1",), ("VariBreaks Snare 1",),
                      ("VariBreaks Hat 1 Cl",), ("VariBreaks Hat 1 Op",), (),
                      ("VariBreaks Tom Low", "VariBreaks Tom Mid", "VariBreaks Tom Hi"),
                      ("VariBreaks Drum 1",)),
    "audiophob": Kit("Audiophob", "electronic", ("Kick",), ("Snare Rock",), ("Closed HH",),
                     ("Open HH",), ("Hand Clap",), ("Tom Low", "Tom Mid", "Tom Hi"),
                     ("Cowbell", "Stick")),
    "rumpf": Kit("rumpf_kit_z01_h2", "electronic", ("c3 - bass drum 1",), ("d3 - snare 1",),
                 ("f#3 - hi-hat closed",), ("a#3 - hi-hat open",), ("d#3 - clap",),
                 ("b3 - low tom", "c4 - middle tom", "d4 - high tom"),
                 ("c#3 - stick", "g#4 - cowbell")),
}
HANDS = Kit("Gimme A Hand 1.0", "acoustic", ("Cajon Thump",), ("Cajon Slap",), ("Maraca",), (),
            ("Hand Clap",), ("Bongo Lo", "Bongo Hi"), ("Clave", "Cowbell", "Woodblock Hi"))

GM_BASS = (33, 34, 38, 39)            # finger, pick, synth bass 1 and 2
GM_CHORDS = (0, 4, 16, 48, 89)        # piano, electric piano, organ, strings, warm pad
PROGRESSIONS = (                      # (semitones above the key, minor chord)
    ((0, True), (8, False), (3, False), (10, False)),
    ((0, False), (7, False), (9, True), (5, False)),
    ((0, True), (5, True), (7, False), (0, True)),
    ((0, False), (5, False), (0, False), (7, False)),
)


def _local(tag):
    return tag.rsplit("}", 1)[-1]


@lru_cache(maxsize=None)
def kit_instruments(folder):
    """{instrument name: [(min velocity, max velocity, file path), ...]} of a kit.

    Layers whose file the package does not ship are left out, and so are
    instruments left with none.
    """
    base = DRUMKITS / folder
    root = ET.parse(base / "drumkit.xml").getroot()
    found = {}
    for inst in root.iter():
        if _local(inst.tag) != "instrument":
            continue
        fields = {_local(c.tag): c for c in inst}
        name = (fields["name"].text or "") if "name" in fields else ""
        layers = []
        for layer in inst.iter():
            if _local(layer.tag) != "layer":
                continue
            parts = {_local(c.tag): (c.text or "") for c in layer}
            if parts.get("filename") and (base / parts["filename"]).is_file():
                layers.append((float(parts.get("min", 0) or 0), float(parts.get("max", 1) or 1),
                               base / parts["filename"]))
        if (not layers and "filename" in fields and fields["filename"].text
                and (base / fields["filename"].text).is_file()):
            layers.append((0.0, 1.0, base / fields["filename"].text))
        if layers and name not in found:
            found[name] = sorted(layers, key=lambda layer: layer[0])
    return found


@lru_cache(maxsize=None)
def load_sample(path):
    """A mono float64 sample at RATE, trimmed to its attack, at most 2.5 s long."""
    import numpy as np
    import soundfile

    data, rate = soundfile.read(str(path), dtype="float64", always_2d=True)
    x = data.mean(axis=1)
    if rate != RATE:
        n = int(round(len(x) * RATE / rate))
        x = np.interp(np.arange(n) * (rate / RATE), np.arange(len(x)), x)
    peak = float(np.max(np.abs(x))) if len(x) else 0.0
    if peak <= 0:
        return np.zeros(1)
    start = int(np.argmax(np.abs(x) >= 0.1 * peak))
    # Keep the rise just before the 10 % point: about half a millisecond.
    x = x[max(0, start - 20):]
    limit = int(2.5 * RATE)
    if len(x) > limit:
        x = x[:limit].copy()
        fade = int(0.2 * RATE)
        x[-fade:] *= np.linspace(1.0, 0.0, fade)
    return x / peak


def voice(folder, names, index, level):
    """The sample and gain that play instrument `names[index % len]` at `level`."""
    instruments = kit_instruments(folder)
    # The instrument asked for, or the next of `names` the kit really has.
    order = [names[(index + k) % len(names)] for k in range(len(names))]
    name = next((n for n in order if n in instruments), None)
    if name is None:
        raise KeyError(f"{folder}: none of the instruments {list(names)!r}")
    layers = instruments[name]
    chosen = next((path for lo, hi, path in layers if lo <= level <= hi), layers[-1][2])
    gain = level ** 1.3 if len(layers) == 1 else 0.4 + 0.6 * level
    return load_sample(chosen), gain


# ---- scores -----------------------------------------------------------------------------

@lru_cache(maxsize=None)
def scores():
    """{name: Score} of the project's drum scores."""
    if str(PACKS) not in sys.path:
        sys.path.insert(0, str(PACKS))
    from beats.scores import SCORES
    return dict(SCORES)


def score_events(name, meter):
    """(period in pips, [(pip, lane, level, tom)]) of a score, in 4/4 or made into 3/4.

    The 3/4 variant keeps beats one, two and four of every 4/4 bar (kick, backbeat,
    backbeat in most scores), or one to three where beat four holds no snare.
    """
    s = scores()[name]
    events = [(e.time, e.lane, e.level, e.tom) for e in s.events]
    if meter == 4:
        return s.period, events
    snare_on_four = any(e[1] == "snare" and 192 <= e[0] % 256 < 256 for e in events)
    keep = (0, 1, 3) if snare_on_four else (0, 1, 2)
    out = []
    for pip, lane, level, tom in events:
        bar, within = divmod(pip, 256)
        beat = int(within // PIPS)
        if beat in keep:
            out.append((bar * 192 + keep.index(beat) * PIPS + within % PIPS, lane, level, tom))
    return s.period // 256 * 192, out


def three_four_candidates():
    """Scores that make a clear 3/4: a kick on the downbeat, a snare and a bass lane."""
    out = []
    for name, s in scores().items():
        lanes = {e.lane for e in s.events}
        if {"kick", "snare", "bass"} <= lanes and any(
                e.lane == "kick" and e.time == 0 for e in s.events):
            out.append(name)
    return out


# ---- the plan ---------------------------------------------------------------------------

def plan(seed=SEED, tempos="even", names=None, per_score=1):
    """Every clip's parameters, drawn reproducibly from `seed`.

    `tempos` is "even" (each score anywhere from MIN_BPM to MAX_BPM, the stress set)
    or "style" (within the range its style is played at, `styles.py`). With `names`,
    only those scores, each `per_score` times in 4/4 (of different kinds) and those
    that make a clear 3/4 once more in 3/4; without, every score once in 4/4 and
    COUNT_34 in 3/4.
    """
    if tempos not in ("even", "style"):
        raise ValueError(f"tempos must be 'even' or 'style', not {tempos!r}")
    rng = random.Random(seed)
    kits = list(KITS)
    if names is None:
        names = list(scores())
        rng.shuffle(names)
        kinds = [k for k, n in PLAN_44.items() for _ in range(n)]
        if len(kinds) != len(names):
            raise ValueError(f"the plan covers {len(kinds)} clips for {len(names)} scores")
        jobs = [(name, 4, kind) for name, kind in zip(names, kinds)]
        waltz = three_four_candidates()
        rng.shuffle(waltz)
        waltz = waltz[:COUNT_34]
    else:
        names = sorted(names)
        kinds = [k for k, n in PLAN_44.items() for _ in range(n)]
        jobs = []
        for name in names:
            for kind in rng.sample(kinds, per_score):
                jobs.append((name, 4, kind))
        rng.shuffle(jobs)
        waltz = [n for n in three_four_candidates() if n in names]
    for i, name in enumerate(waltz):
        jobs.append((name, 3, ("steady", "drift", "step", "swing")[i % 4]))
    clips = []
    for i, (name, meter, kind) in enumerate(jobs):
        bounds = styles.tempo_range(name) if tempos == "style" else None
        clips.append(_clip(rng, i, name, meter, kind, kits[i % len(kits)], bounds))
    return clips


def _clip(rng, i, name, meter, kind, kit, bounds=None):
    tags = [kind] if meter == 4 else ["3/4"] + ([kind] if kind != "steady" else [])
    if kind == "steady" and meter == 4:
        tags = ["steady"]
    seconds = rng.uniform(30, 60)
    tempo = {"kind": "steady"}
    if kind == "step":
        ratio = rng.choice((rng.uniform(0.8, 0.9), rng.uniform(1.1, 1.25)))
        lo, hi = MIN_BPM / min(1, ratio), MAX_BPM / max(1, ratio)
        bpm = rng.uniform(*(bounds or (lo, hi)))
        tempo = {"kind": "step", "ratio": ratio, "at": rng.uniform(0.35, 0.65)}
    elif kind == "drift":
        bpm = rng.uniform(*(bounds or (MIN_BPM / 0.97, MAX_BPM / 1.03)))
        shape = rng.choice(("ramp", "wave"))
        tempo = {"kind": "drift", "shape": shape, "depth": rng.uniform(0.015, 0.03),
                 "sign": rng.choice((-1, 1)), "cycles": rng.uniform(0.5, 1.5),
                 "phase": rng.uniform(0, 2 * math.pi)}
    else:
        bpm = rng.uniform(*(bounds or (MIN_BPM, MAX_BPM)))
    swing = None
    if kind == "swing":
        swing = rng.choice((("eighth", rng.uniform(0.08, 0.16)),
                            ("sixteenth", rng.uniform(0.04, 0.08))))
    period_bars = scores()[name].period // 256
    beats_long = seconds * bpm / 60
    start = (rng.randrange(period_bars) * meter
             + (0 if rng.random() < 0.5 else rng.randrange(1, meter))
             + rng.choice((0, 0, 0.25, 0.5, 0.75)))
    has_bass = any(e.lane == "bass" for e in scores()[name].events)
    chords = meter == 3 or rng.random() < 0.4
    drums = KITS[kit]
    return {
        "name": f"{i:03d}_{name}{'_34' if meter == 3 else ''}",
        "score": name, "meter": meter, "kit": kit, "kit_kind": drums.kind,
        "bpm": round(bpm, 3), "tempo": tempo, "swing": swing,
        "start_beat": start, "length_beats": round(beats_long),
        "lead_in": round(rng.choice((0.0, rng.uniform(0.1, 4.0))), 3),
        "jitter_ms": 4.0 if drums.kind == "acoustic" else 0.0,
        "snare_voice": rng.choice(("snare", "snare", "clap", "both")),
        "bass": {"program": rng.choice(GM_BASS), "key": rng.randrange(12)} if has_bass else None,
        "chords": {"program": rng.choice(GM_CHORDS)} if chords else None,
        "progression": rng.randrange(len(PROGRESSIONS)),
        "noise": ({"snr_db": rng.uniform(6, 15), "segments": rng.randint(3, 6)}
                  if kind == "noisy" else None),
        "gain_db": round(rng.uniform(-14, -1), 2),
        "seed": rng.randrange(2 ** 31),
        "tags": tags,
    }


def simple_clip(score, meter=4, kit="electric_empire", bpm=120.0, **changes):
    """A clip without any variation (steady, straight, clean), with `changes` applied."""
    clip = {
        "name": f"{score}{'_34' if meter == 3 else ''}", "score": score, "meter": meter,
        "kit": kit, "kit_kind": KITS[kit].kind, "bpm": bpm, "tempo": {"kind": "steady"},
        "swing": None, "start_beat": 0, "length_beats": 8 * meter, "lead_in": 0.0,
        "jitter_ms": 0.0, "snare_voice": "snare", "bass": None, "chords": None,
        "progression": 0, "noise": None, "gain_db": -1.0, "seed": 1, "tags": ["steady"],
    }
    clip.update(changes)
    return clip


# ---- time -------------------------------------------------------------------------------

def tempo_at(clip, u):
    """The tempo in BPM at fraction u (0..1) of the clip."""
    t, bpm = clip["tempo"], clip["bpm"]
    if t["kind"] == "step":
        return bpm * (t["ratio"] if u >= t["at"] else 1.0)
    if t["kind"] == "drift":
        if t["shape"] == "ramp":
            d = 2 * u - 1
        else:
            d = math.sin(2 * math.pi * t["cycles"] * u + t["phase"])
        return bpm * (1 + t["sign"] * t["depth"] * d)
    return bpm


def beat_clock(clip):
    """A function from beat (in the loop's own count) to seconds in the clip."""
    import numpy as np

    start, length = clip["start_beat"], clip["length_beats"]
    step = 1 / 64
    grid = start + np.arange(int(round((length + 4) / step)) + 1) * step
    if clip["tempo"]["kind"] == "step":
        # The step falls on a bar line.
        meter = clip["meter"]
        at = math.ceil((start + clip["tempo"]["at"] * length) / meter) * meter
        u_step = (at - start) / length
        clip = dict(clip, tempo=dict(clip["tempo"], at=u_step))
    mids = (grid[:-1] + step / 2 - start) / length
    bpm = np.array([tempo_at(clip, u) for u in mids])
    seconds = clip["lead_in"] + np.concatenate(([0.0], np.cumsum(60.0 / bpm * step)))
    return lambda beats: np.interp(beats, grid, seconds)


def swung(clip, beats):
    """Beat positions moved by the clip's swing (the beats themselves stay)."""
    import numpy as np

    if not clip["swing"]:
        return beats
    kind, amount = clip["swing"]
    cell = 1.0 if kind == "eighth" else 0.5
    whole = np.floor(beats / cell) * cell
    u = (beats - whole) / cell                  # 0..1 within the cell
    mid = 0.5 + amount / cell
    warped = np.where(u < 0.5, u * (mid / 0.5), mid + (u - 0.5) * ((1 - mid) / 0.5))
    return whole + warped * cell


# ---- rendering --------------------------------------------------------------------------

def clip_events(clip):
    """[(beat, lane, level, tom)] of every hit of the clip, in the loop's beat count."""
    period, events = score_events(clip["score"], clip["meter"])
    start, end = clip["start_beat"], clip["start_beat"] + clip["length_beats"]
    loops = range(int(start * PIPS // period), int(end * PIPS // period) + 1)
    out = []
    for k in loops:
        for pip, lane, level, tom in events:
            beat = (k * period + pip) / PIPS
            if start <= beat < end:
                out.append((beat, lane, level, tom))
    return out


def ground_truth(clip):
    """[(seconds, position in bar)] of every beat the clip plays."""
    import numpy as np

    clock = beat_clock(clip)
    start, end = clip["start_beat"], clip["start_beat"] + clip["length_beats"]
    beats = np.arange(math.ceil(start), math.ceil(end))
    times = clock(beats)
    return [(float(t), int(b % clip["meter"]) + 1) for t, b in zip(times, beats)]


def render_drums(clip, total):
    import numpy as np

    kit = KITS[clip["kit"]]
    rng = np.random.default_rng(clip["seed"])
    events = clip_events(clip)
    beats = swung(clip, np.array([e[0] for e in events]))
    seconds = beat_clock(clip)(beats)
    if clip["jitter_ms"]:
        seconds = seconds + np.clip(rng.normal(0, clip["jitter_ms"] / 1000, len(seconds)),
                                    -0.01, 0.01)
        seconds = np.maximum(seconds, 0.0)
    out = np.zeros(total)
    # Samples come normalised to their peaks; cymbals and hand percussion sit well
    # under the drums, as in a mix.
    mix = {"kick": 1.0, "snare": 0.8, "clap": 0.6, "hat": 0.22, "open_hat": 0.2,
           "tom": 0.7, "perc": 0.35}
    mix = {k: v * 10 ** (rng.uniform(-3, 3) / 20) for k, v in mix.items()}
    hits = []                                    # (start sample, sample, gain, choke group)
    for (beat, lane, level, tom), t in zip(events, seconds):
        at = int(round(t * RATE))
        played = []
        if lane == "kick":
            played.append(("kick", kit.kick, 0))
        elif lane == "snare":
            if clip["snare_voice"] in ("snare", "both") or not (kit.clap or HANDS.clap):
                played.append(("snare", kit.snare, 0))
            if clip["snare_voice"] in ("clap", "both"):
                played.append(("clap", kit.clap, 0))
        elif lane == "hat":
            if level >= 1.0 and kit.open_hat and beat % 1 != 0:
                played.append(("open_hat", kit.open_hat, 0))
            else:
                played.append(("hat", kit.hat, 0))
        elif lane == "perc":
            if tom:
                played.append(("tom", kit.toms, int(beat * 4) % 3))
            else:
                played.append(("perc", kit.perc, int(beat * 4) % 2))
        for part, names, index in played:
            folder = kit.folder if names else HANDS.folder
            if not names:
                names = {"clap": HANDS.clap, "tom": HANDS.toms, "perc": HANDS.perc}[part]
            sample, gain = voice(folder, names, index, level)
            hits.append((at, sample, gain * mix[part], part in ("hat", "open_hat")))
    hits.sort(key=lambda h: h[0])
    next_hat = total
    for at, sample, gain, choke in reversed(hits):
        end = min(total, at + len(sample))
        if choke:
            end = min(end, next_hat + int(0.01 * RATE))
            next_hat = at
        if end <= at:
            continue
        piece = sample[:end - at] * gain
        if choke and end - at < len(sample):
            fade = min(len(piece), int(0.01 * RATE))
            piece[-fade:] *= np.linspace(1, 0, fade)
        out[at:end] += piece
    return out


def midi_notes(clip):
    """[(start s, end s, channel, note, velocity)] of the clip's bass and chords."""
    import numpy as np

    notes = []
    clock = beat_clock(clip)
    meter = clip["meter"]
    progression = PROGRESSIONS[clip["progression"]]
    key = (clip["bass"] or {"key": clip["seed"] % 12})["key"]

    def chord_of(beat):
        return progression[int(beat // meter) % len(progression)]

    if clip["bass"]:
        bass = [e for e in clip_events(clip) if e[1] == "bass"]
        beats = swung(clip, np.array([e[0] for e in bass] + [clip["start_beat"]
                                                             + clip["length_beats"]]))
        times = clock(beats)
        low = 28 if clip["bass"]["program"] in (38, 39) else 33
        for k, (beat, _, level, _) in enumerate(bass):
            degree, _ = chord_of(beat)
            note = low + (key + degree - low) % 12
            end = min(times[k + 1] - 0.02, times[k] + 60 / clip["bpm"] * 1.5)
            notes.append((times[k], max(end, times[k] + 0.05), 0, note,
                          int(40 + 80 * level)))
    if clip["chords"]:
        start, end = clip["start_beat"], clip["start_beat"] + clip["length_beats"]
        bar = math.ceil(start / meter) * meter
        while bar < end:
            degree, minor = chord_of(bar)
            root = 55 + (key + degree - 55) % 12
            t0, t1 = clock(np.array([bar, min(bar + meter, end)]))
            for step in (0, 3 if minor else 4, 7):
                notes.append((float(t0), float(t1) - 0.03, 1, root + step, 70))
            bar += meter
    return notes


def render_midi(clip, total, workdir):
    """The clip's bass and chords rendered by fluidsynth, or silence."""
    import mido
    import numpy as np
    import soundfile

    notes = midi_notes(clip)
    if not notes:
        return np.zeros(total)
    ticks_per_second = 2000          # at the default 120 BPM and 1000 ticks a beat
    track = mido.MidiTrack()
    messages = [(0, mido.Message("program_change", channel=0,
                                 program=(clip["bass"] or {"program": 33})["program"]))]
    messages.append((0, mido.Message("program_change", channel=1,
                                     program=(clip["chords"] or {"program": 0})["program"])))
    for t0, t1, channel, note, velocity in notes:
        messages.append((int(round(t0 * ticks_per_second)),
                         mido.Message("note_on", channel=channel, note=note, velocity=velocity)))
        messages.append((int(round(t1 * ticks_per_second)),
                         mido.Message("note_off", channel=channel, note=note)))
    messages.sort(key=lambda m: (m[0], m[1].type == "note_on"))
    now = 0
    for tick, message in messages:
        track.append(message.copy(time=tick - now))
        now = tick
    midi = mido.MidiFile(ticks_per_beat=1000)
    midi.tracks.append(track)
    mid = Path(workdir) / f"{clip['name']}.mid"
    wav = Path(workdir) / f"{clip['name']}.synth.wav"
    midi.save(mid)
    subprocess.run(["fluidsynth", "-ni", "-q", "-g", "0.6", "-F", str(wav), "-r", str(RATE),
                    str(SOUNDFONT), str(mid)], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    data, rate = soundfile.read(str(wav), dtype="float64", always_2d=True)
    if rate != RATE:
        raise ValueError(f"fluidsynth wrote {rate} Hz")
    x = data.mean(axis=1)[:total]
    mid.unlink()
    wav.unlink()
    return np.pad(x, (0, total - len(x)))


def render(clip, workdir):
    """(audio, ground truth) of one clip."""
    import numpy as np

    truth = ground_truth(clip)
    clock = beat_clock(clip)
    end = float(clock(np.array([clip["start_beat"] + clip["length_beats"]]))[0])
    total = int((end + 1.5) * RATE)
    rng = np.random.default_rng(clip["seed"] + 1)
    drums = render_drums(clip, total)
    music = drums
    if clip["bass"] or clip["chords"]:
        synth = render_midi(clip, total, workdir)
        drum_rms = np.sqrt(np.mean(drums ** 2)) + 1e-12
        synth_rms = np.sqrt(np.mean(synth ** 2)) + 1e-12
        music = drums + synth * (drum_rms / synth_rms) * 10 ** (rng.uniform(-9, -3) / 20)
    if clip["noise"]:
        n = clip["noise"]
        white = rng.normal(size=total)
        spectrum = np.fft.rfft(white)
        f = np.arange(len(spectrum))
        spectrum[1:] /= np.sqrt(f[1:])           # pink
        noise = np.fft.irfft(spectrum, total)
        music_rms = np.sqrt(np.mean(music ** 2))
        noise *= music_rms / np.sqrt(np.mean(noise ** 2)) * 10 ** (-n["snr_db"] / 20)
        music = music + noise
        # Level changes: segments a few dB apart, joined by short ramps.
        edges = np.sort(rng.uniform(0, total, n["segments"] - 1)).astype(int)
        levels = rng.uniform(-12, 0, n["segments"])
        gain_db = np.empty(total)
        for k, (a, b) in enumerate(zip(np.r_[0, edges], np.r_[edges, total])):
            gain_db[a:b] = levels[k]
        ramp = int(0.3 * RATE)                   # a moving average makes the ramps
        padded = np.pad(gain_db, (ramp // 2, ramp - ramp // 2), mode="edge")
        sums = np.concatenate(([0.0], np.cumsum(padded)))
        gain_db = (sums[ramp:ramp + total] - sums[:total]) / ramp
        music = music * 10 ** (gain_db / 20)
    peak = np.max(np.abs(music)) + 1e-12
    audio = music / peak * 10 ** (clip["gain_db"] / 20)
    return audio, truth


def write_clip(clip, directory):
    """Renders one clip into `directory`; returns its index entry."""
    import soundfile

    started = time.process_time()
    with tempfile.TemporaryDirectory(dir=directory) as work:
        audio, truth = render(clip, work)
    soundfile.write(str(Path(directory) / f"{clip['name']}.flac"), audio, RATE,
                    subtype="PCM_16")
    with open(Path(directory) / f"{clip['name']}.beats", "w") as f:
        for t, position in truth:
            f.write(f"{t:.6f}\t{position}\n")
    entry = dict(clip, seconds=round(len(audio) / RATE, 3),
                 beats=len(truth), render_cpu=round(time.process_time() - started, 3))
    return entry


# ---- the cache --------------------------------------------------------------------------

def cache_root():
    base = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return Path(base) / "kinetra-beat-eval"


def version_key(seed=SEED, **choice):
    """Changes with VERSION, every clip's parameters, the scores and the kits."""
    h = hashlib.sha256()
    h.update(json.dumps([VERSION, RATE, plan(seed, **choice)], sort_keys=True).encode())
    for part in ("notation.py", "scores.py"):
        h.update((PACKS / "beats" / part).read_bytes())
    h.update(repr(sorted(KITS.items()) + [HANDS]).encode())
    return h.hexdigest()[:16]


def build(seed=SEED, jobs=None, force=False, log=print, **choice):
    """The set's directory, rendered first if it is missing or out of date; `choice`
    (tempos, names, per_score) as for `plan`."""
    import fcntl

    key = version_key(seed, **choice)
    root = cache_root()
    target = root / f"set-{key}"
    root.mkdir(parents=True, exist_ok=True)
    with open(root / "lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)        # one build at a time; others wait for it
        if not (target / "index.json").exists() or force:
            _render_set(seed, key, root, target, jobs, log, choice)
        os.utime(target / "index.json")         # marks the set as in use
        # Sets of other versions go once nobody has used them for a day.
        for old in root.glob("set-*"):
            used = old / "index.json"
            if old != target and (not used.exists()
                                  or used.stat().st_mtime < time.time() - 86400):
                shutil.rmtree(old, ignore_errors=True)
    return target


def _render_set(seed, key, root, target, jobs, log, choice):
    for stale in root.glob("building-*"):      # left by a build that was killed
        shutil.rmtree(stale, ignore_errors=True)
    clips = plan(seed, **choice)
    work = Path(tempfile.mkdtemp(prefix=f"building-{key}-", dir=root))
    started = time.perf_counter()
    jobs = jobs or min(2, os.cpu_count() or 1)
    try:
        entries = []
        with ProcessPoolExecutor(max_workers=jobs) as pool:
            futures = [pool.submit(write_clip, clip, str(work)) for clip in clips]
            try:
                for k, future in enumerate(futures):
                    entries.append(future.result())
                    log(f"make_set: {k + 1}/{len(clips)} {entries[-1]['name']}",
                        file=sys.stderr)
            except BaseException:
                pool.shutdown(cancel_futures=True)
                raise
        index = {"key": key, "seed": seed, "rate": RATE, "clips": entries,
                 "build_seconds": round(time.perf_counter() - started, 1)}
        with open(work / "index.json", "w") as f:
            json.dump(index, f, indent=1)
        if target.exists():
            shutil.rmtree(target)
        os.rename(work, target)
    except BaseException:
        shutil.rmtree(work, ignore_errors=True)
        raise


def read_index(directory):
    with open(Path(directory) / "index.json") as f:
        return json.load(f)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--jobs", type=int, default=None, help="render processes (default 2)")
    parser.add_argument("--force", action="store_true", help="render even if cached")
    parser.add_argument("--seed", type=int, default=SEED)
    args = parser.parse_args(argv)
    started = time.perf_counter()
    directory = build(args.seed, args.jobs, args.force)
    index = read_index(directory)
    clips = index["clips"]
    minutes = sum(c["seconds"] for c in clips) / 60
    print(f"{directory}: {len(clips)} clips, {minutes:.1f} min of audio "
          f"(built in {index['build_seconds']} s; this call {time.perf_counter() - started:.1f} s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
