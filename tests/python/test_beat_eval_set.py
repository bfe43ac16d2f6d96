"""The beat-tracking evaluation set: its ground truth lands where the drums sound."""

import importlib.util
from pathlib import Path

import pytest

np = pytest.importorskip("numpy")
pytest.importorskip("soundfile")

BUILDER = Path(__file__).resolve().parents[2] / "bench" / "beat_eval" / "make_set.py"
_found = importlib.util.spec_from_file_location("make_set", BUILDER)
make_set = importlib.util.module_from_spec(_found)
_found.loader.exec_module(make_set)

needs_kits = pytest.mark.skipif(not (make_set.DRUMKITS / "ElectricEmpireKit").is_dir(),
                                reason="hydrogen-drumkits is not installed")


def attacks(audio, near, window=0.03):
    """The first sample above a tenth of the local peak, in seconds, around each time."""
    out = []
    for t in near:
        a = max(0, int((t - window) * make_set.RATE))
        b = int((t + window) * make_set.RATE)
        piece = np.abs(audio[a:b])
        out.append((a + int(np.argmax(piece >= 0.1 * piece.max()))) / make_set.RATE)
    return np.array(out)


@needs_kits
@pytest.mark.parametrize("changes", [
    {},
    {"start_beat": 2.5, "lead_in": 0.75},
    {"tempo": {"kind": "drift", "shape": "wave", "depth": 0.03, "sign": 1, "cycles": 1.0,
               "phase": 0.3}},
    {"tempo": {"kind": "step", "ratio": 1.2, "at": 0.5}, "bpm": 100.0},
    {"swing": ["eighth", 0.15]},
], ids=["steady", "offset", "drift", "step", "swing"])
def test_kicks_sound_on_the_annotated_beats(tmp_path, changes):
    # four_floor is a kick on every beat: each annotated beat must be a kick's attack,
    # whatever the tempo curve, start offset or swing does between the beats.
    clip = make_set.simple_clip("four_floor", **{"bpm": 132.0, **changes})
    audio, truth = make_set.render(clip, tmp_path)
    times = np.array([t for t, _ in truth])
    assert len(times) >= 7
    assert np.max(np.abs(attacks(audio, times) - times)) < 0.001
    # Nothing sounds before the first beat (the lead-in is silent).
    silent = max(0, int((times[0] - 0.005) * make_set.RATE))
    assert np.max(np.abs(audio[:silent]), initial=0) < 1e-3
    intervals = np.diff(times)
    if clip["tempo"]["kind"] == "step":
        assert intervals.max() / intervals.min() == pytest.approx(1.2, rel=1e-3)
    elif clip["tempo"]["kind"] == "drift":
        assert 1.03 < intervals.max() / intervals.min() < 1.07
    else:
        assert np.ptp(intervals) < 1e-4


@needs_kits
def test_a_mid_bar_start_counts_positions_from_the_bar():
    clip = make_set.simple_clip("house_classic", start_beat=2.5, lead_in=1.0, bpm=120.0)
    truth = make_set.ground_truth(clip)
    assert truth[0] == (pytest.approx(1.25), 4)
    assert [p for _, p in truth[:6]] == [4, 1, 2, 3, 4, 1]


def test_three_four_variant_marks_every_third_beat():
    clip = make_set.simple_clip("house_classic", meter=3, start_beat=1)
    positions = [p for _, p in make_set.ground_truth(clip)]
    assert positions[:7] == [2, 3, 1, 2, 3, 1, 2]
    period, events = make_set.score_events("house_classic", 3)
    assert period == 2 * 192
    # Kick on every beat, the backbeat snare kept on beats two and three of each bar.
    kicks = sorted(p for p, lane, _, _ in events if lane == "kick")
    snares = sorted(p for p, lane, _, _ in events if lane == "snare")
    assert kicks == [0, 64, 128, 192, 256, 320]
    assert snares == [64, 128, 256, 320]
