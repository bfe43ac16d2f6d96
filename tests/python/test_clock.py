from decimal import Decimal
from fractions import Fraction

import pytest

from kinetra_tools import FrameClock, Tempo, clock, frame_pip, pip_at, seconds_at

HOUR_FRAMES_2997 = 107_892  # 3600 s at 29.97 fps


@pytest.mark.parametrize(
    "seconds, bpm, beat_zero, pip",
    [
        (0, 120, 0, 0),
        (0.5, 120, 0, 64),  # one beat
        (1 / 128, 120, 0, 1),  # exactly on a pip boundary: the new pip
        (Fraction(1, 128) - Fraction(1, 10**12), 120, 0, 0),  # just before it
        (0.1, 174, 0, 18),  # 18.56 pips: floor
        (0, 120, 0.25, -32),  # before beat zero: negative pips
        (0.24, 120, 0.25, -2),  # -1.28 pips: floor goes down
        (3600, 174, 0, 668_160),
        ("90.5", "97.5", "0.1", 9401),  # strings are read as written
    ],
)
def test_pip_sounding_at_a_time_is_the_floor(seconds, bpm, beat_zero, pip):
    assert pip_at(seconds, bpm, beat_zero) == pip


@pytest.mark.parametrize("bpm, beat_zero", [(120, 0), (174, 0.1), ("97.5", "-2.5"), (Fraction(1000, 7), 0)])
def test_seconds_and_pips_round_trip(bpm, beat_zero):
    tempo = Tempo(bpm, beat_zero)
    for pip in (-1_000_001, -65, -1, 0, 1, 63, 64, 2**31 - 1):
        start = tempo.seconds_at(pip)
        assert tempo.pip_at(start) == pip
        assert tempo.pip_at(start - Fraction(1, 10**15)) == pip - 1
        assert seconds_at(pip, bpm, beat_zero) == float(start)


@pytest.mark.parametrize(
    "fps, per_frame",
    [
        # pip(n) = floor(n * 174 * 64 / (60 * fps)) as pure integer arithmetic
        (29.97, lambda n: n * 100 * 174 * 64 // (2997 * 60)),
        ("30000/1001", lambda n: n * 1001 * 174 * 64 // (30000 * 60)),
        (Fraction(30000, 1001), lambda n: n * 1001 * 174 * 64 // (30000 * 60)),
    ],
)
def test_frames_at_174_bpm_do_not_drift_over_an_hour(fps, per_frame):
    frames = FrameClock(fps, 174)
    pips = [frames.pip(n) for n in range(HOUR_FRAMES_2997 + 1)]
    assert pips == [per_frame(n) for n in range(HOUR_FRAMES_2997 + 1)]
    # 6.19 pips a frame: every step is 6 or 7, never a skipped or repeated pip count
    assert {b - a for a, b in zip(pips, pips[1:])} == {6, 7}
    assert frame_pip(HOUR_FRAMES_2997, fps, 174) == per_frame(HOUR_FRAMES_2997)


def test_hour_at_2997_fps_ends_exactly_on_its_pip():
    frames = FrameClock(29.97, 174)
    assert frames.seconds(HOUR_FRAMES_2997) == 3600
    assert frames.pip(HOUR_FRAMES_2997) == 60 * 174 * 64
    assert frames.frames_before(3600) == HOUR_FRAMES_2997
    assert frames.frames_before(Fraction(3600) + Fraction(1, 10**9)) == HOUR_FRAMES_2997 + 1


def test_frames_with_a_beat_zero_offset_match_exact_times():
    frames = FrameClock(25, 128, beat_zero_seconds=0.37)
    for n in list(range(0, 50)) + [10**6, 10**6 + 1]:
        t = Fraction(n, 25)
        expected = (t - Fraction("0.37")) * 128 * 64 / 60
        assert frames.pip(n) == expected.numerator // expected.denominator
    assert frames.pip(0) == -51  # 0.37 s before beat zero is 50.5 pips: floor


@pytest.mark.parametrize(
    "value, exact",
    [(29.97, Fraction(2997, 100)), ("30000/1001", Fraction(30000, 1001)), (Decimal("0.1"), Fraction(1, 10)),
     (0.1, Fraction(1, 10)), (" 120 ", Fraction(120)), (7, Fraction(7))],
)
def test_numbers_are_read_as_written(value, exact):
    assert clock.exact(value) == exact


@pytest.mark.parametrize("bad", [float("nan"), float("inf"), "abc", "", "1/0", True, None, 1j])
def test_non_numbers_are_refused(bad):
    with pytest.raises(ValueError, match="must be a"):
        clock.exact(bad, "BPM")


@pytest.mark.parametrize("make", [lambda: Tempo(0), lambda: Tempo("-120"), lambda: FrameClock(0, 120),
                                  lambda: FrameClock(30, -1)])
def test_tempo_and_rate_must_be_positive(make):
    with pytest.raises(ValueError, match="must be positive"):
        make()


@pytest.mark.parametrize("frame", [1.0, "3", True])
def test_frame_numbers_are_ints(frame):
    with pytest.raises(TypeError):
        FrameClock(30, 120).pip(frame)
