"""The trained beat analysis: its numpy network against torch's, its features and its decoder."""

import json
import sys
from pathlib import Path

import pytest

np = pytest.importorskip("numpy")

from kinetra_tools.analysis import barpointer, network  # noqa: E402
from kinetra_tools.analysis.spectrum import Spectrum  # noqa: E402

TRAINING = Path(__file__).resolve().parents[2] / "training"


def small_net(causal, features=12):
    torch = pytest.importorskip("torch")
    sys.path.insert(0, str(TRAINING))
    try:
        import train
    finally:
        sys.path.remove(str(TRAINING))
    torch.manual_seed(5)
    rng = np.random.default_rng(5)
    net = train.net_class()(features, rng.normal(size=features), rng.uniform(0.5, 2, features),
                            channels=6, blocks=4, causal=causal)
    net.eval()
    arrays = {k: v.detach().numpy() for k, v in net.state_dict().items()}
    meta = {"blocks": 4, "causal": causal, "lookahead": 5 if causal else 0}
    arrays["meta"] = np.frombuffer(json.dumps(meta).encode(), dtype=np.uint8)
    return torch, net, network.Model(arrays)


@pytest.mark.parametrize("causal", [False, True])
def test_numpy_forward_pass_equals_torch(causal):
    torch, net, model = small_net(causal)
    x = np.random.default_rng(6).normal(size=(300, 12)).astype(np.float32) * 3
    with torch.no_grad():
        expected = torch.sigmoid(net(torch.from_numpy(x.T[None].copy())))[0].numpy().T
    np.testing.assert_allclose(network.activations(x, model), expected, atol=1e-5, rtol=0)
    if causal:
        # Frames to come change nothing before them.
        later = x.copy()
        later[200:] = 0
        np.testing.assert_allclose(network.activations(later, model)[:200], expected[:200],
                                   atol=1e-5, rtol=0)


def test_a_stream_gives_the_activations_of_the_whole_run_whatever_its_blocks():
    _, _, model = small_net(True)
    x = np.random.default_rng(7).normal(size=(300, 12)).astype(np.float32) * 3
    stream = network.Stream(model)
    cuts = [0, 1, 2, 9, 40, 41, 170, 300]
    got = np.concatenate([stream.push(x[a:b]) for a, b in zip(cuts, cuts[1:])])
    np.testing.assert_allclose(got, network.activations(x, model), atol=1e-5, rtol=0)
    with pytest.raises(ValueError, match="causal"):
        network.Stream(small_net(False)[2])


def test_shipped_weights_load_and_fit_the_features():
    net = network.model()
    assert net["mean"].shape == net["std"].shape == (net["input.weight"].shape[1],)
    assert net["input.weight"].shape[1] == 2 * Spectrum(11025.0).bands.shape[1]
    assert network.WEIGHTS.stat().st_size < 4 << 20


def test_spectrum_does_not_depend_on_how_the_audio_is_cut_into_blocks():
    rng = np.random.default_rng(1)
    samples = rng.normal(size=40000).astype(np.float32)
    whole, pieces = Spectrum(11025.0), Spectrum(11025.0)
    whole.feed(samples)
    cuts = [0, 1, 7, 110, 511, 513, 4000, 4001, 20000, len(samples)]
    for a, b in zip(cuts, cuts[1:]):
        pieces.feed(samples[a:b])
    for s in (whole, pieces):
        s.finish()
    assert len(whole.features()) == len(samples) // whole.hop + 1
    np.testing.assert_array_equal(whole.features(), pieces.features())


def activations(bpm, meter, seconds=30.0, fps=100.0, start=1.0, strength=0.9):
    n = int(seconds * fps)
    act = np.full((n, 2), 0.01)
    beats = np.arange(start * fps, n - 1, 60 * fps / bpm)
    for k, b in enumerate(beats):
        act[int(round(b)), 0] = strength
        if k % meter == 0:
            act[int(round(b)), 1] = strength * 0.9
    return act, beats


FLAT = (np.array([40.0, 240.0]), np.array([0.0, 0.0]))


def decode(act, meters, bpm_range, meter_log, fps=100.0):
    frames, positions, meter = barpointer.decode(act, fps, meters, bpm_range, *FLAT, meter_log)
    kept = barpointer.trim(frames, act[:, 0], 0.1)
    return frames[kept], positions[kept], meter


@pytest.mark.parametrize("bpm, meter", [(97.0, 3), (128.0, 4), (174.0, 4), (62.0, 3)])
def test_decoder_finds_tempo_meter_and_downbeats(bpm, meter):
    act, beats = activations(bpm, meter)
    frames, positions, found = decode(act, (3, 4), (40.0, 240.0), barpointer.log_prior(0.3))
    assert found == meter
    assert len(frames) == len(beats)
    assert np.max(np.abs(frames - np.round(beats))) <= 1
    assert list(positions) == [k % meter for k in range(len(beats))]


def test_decoder_keeps_the_pulse_through_a_quiet_passage():
    act, beats = activations(120.0, 4, seconds=40)
    act[1500:2500] = 0.01
    frames, positions, _ = decode(act, (3, 4), (40.0, 240.0), barpointer.log_prior(0.3))
    assert len(frames) == len(beats)
    assert np.max(np.abs(frames - np.round(beats))) <= 1


def test_decoder_keeps_to_a_tempo_range():
    act, beats = activations(150.0, 4)
    # 60-120 BPM: every other beat (75), never the dotted 100.
    frames, _, _ = decode(act, (4,), (60.0, 120.0), {4: 0.0})
    assert np.median(np.diff(frames)) == pytest.approx(80, abs=1)
    # An exact tempo is a range too, even one that is not a whole number of frames.
    for fps in (100.0, 100.227):
        act, beats = activations(100.0, 4, seconds=60, fps=fps)
        frames, _, _ = decode(act, (4,), (100.0, 100.0), {4: 0.0}, fps)
        assert len(frames) == len(beats)
        assert np.max(np.abs(frames - np.round(beats))) <= 1


def test_decoder_follows_a_tempo_step():
    first, _ = activations(105.0, 4, seconds=20)
    second, _ = activations(160.0, 4, seconds=20, start=0.0)
    act = np.concatenate((first, second))
    frames, _, _ = decode(act, (4,), (50.0, 220.0), {4: 0.0})
    gaps = np.diff(frames)
    assert np.median(gaps[frames[1:] < 1900]) == pytest.approx(6000 / 105, abs=1)
    assert np.median(gaps[frames[:-1] > 2200]) == pytest.approx(6000 / 160, abs=1)
