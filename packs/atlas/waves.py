"""Waves: x only, one cycle per loop, normalised to a peak of 0.82.

θ = 2πt. Twelve waves have a formula. Five are composed here to fit their
description; their figures (after normalisation) are:

- wave_soft_rectifier: even harmonics only, 0.1585 − cos 2θ − 0.125·cos 4θ:
  swells of 0.82 at pips 128 and 384, troughs of −0.766841 at 0 and 256, mean
  0.125757. The 4th harmonic rounds the crests and sharpens the troughs, as a
  softened full-wave rectifier does.
- wave_scoop_warp: sin(θ − 0.15·sin 2θ) + 0.3585·(1 + cos 2θ): a sine plus a
  second-harmonic cosine scoop. The scoop carries its own constant so that it
  vanishes at the crest and the trough (0.82 at 128, −0.82 at 384) and gives
  0.58794 at pip 0; the phase warp narrows crest and trough so that they stay
  the extremes.
- wave_shelf_wave, wave_soft_teeth, wave_warped_fold: Σ A_k·sin(kθ + φ_k)
  over the odd harmonics in the tables below, phases set so that the crest and
  trough fall on fixed pips (shelf 191 and 447, teeth 61 and 317, fold 33
  and 289). The shelf wave is a rise to a held shelf at about half height,
  then the crest (four harmonics of that shape); the teeth use three
  harmonics of slowly falling amplitude 1, 0.7, 0.5, leaning so that the first
  tooth is the crest; the fold is a wave folder sin(2.6·sin ψ) on the skewed
  phase ψ = θ + 0.3·cos 2θ, cut to four harmonics.
"""

from primitives import cos, sin, tanh

from atlas.common import angle, normalised

LABEL_TAIL = "; a continuous shaped control wave, mapped to horizontal displacement."


def harmonics(table):
    """θ -> Σ A·sin(kθ + φ) over the (k, A, φ) rows."""
    def wave(th):
        return sum(A * sin(k * th + phi) for k, A, phi in table)
    return wave


SHELF = [(1, 0.772, -0.273), (3, 0.338, 0.578), (5, 0.059, 1.531), (7, 0.03, 0.359)]
TEETH = [(1, 1.0, 1.883), (3, 0.7, -0.435), (5, 0.5, -2.753)]
FOLD = [(1, 1.009, 2.354), (3, 0.42, 0.174), (5, 0.192, -0.943), (7, 0.051, -2.067)]

WAVES = [  # name, label, raw x as a function of θ
    ("wave_pinched", "Pinched sine", lambda th: sin(th) ** 3),
    ("wave_shouldered", "Shouldered sine", lambda th: sin(th) * (1 + 0.62 * cos(2 * th))),
    ("wave_folded", "Folded sine", lambda th: sin(2.2 * sin(th))),
    ("wave_double_fold", "Double-fold wave", lambda th: sin(3.8 * sin(th))),
    ("wave_rounded_square", "Rounded square", lambda th: tanh(2 * sin(th)) / tanh(2)),
    ("wave_soft_rectifier", "Soft rectified swell",
     lambda th: 0.1585 - cos(2 * th) - 0.125 * cos(4 * th)),
    ("wave_skew_warp", "Phase-skew sweep", lambda th: sin(th + 0.7 * sin(th))),
    ("wave_scoop_warp", "Scooped return",
     lambda th: sin(th - 0.15 * sin(2 * th)) + 0.3585 * (1 + cos(2 * th))),
    ("wave_shelf_wave", "Shelf and scoop", harmonics(SHELF)),
    ("wave_notched", "Notched crest",
     lambda th: sin(th) - 0.36 * sin(3 * th) + 0.12 * cos(5 * th)),
    ("wave_bottle", "Bottle-neck swell", lambda th: sin(th) / (1 + 0.9 * cos(th) ** 2)),
    ("wave_reed", "Reed flutter", lambda th: sin(th) * (0.85 + 0.4 * cos(7 * th))),
    ("wave_unequal_peaks", "Unequal double crest",
     lambda th: 0.67 * sin(th) + 0.4 * sin(2 * th + 0.8)),
    ("wave_ripple_return", "Rippled recovery",
     lambda th: sin(th) + 0.09 * sin(5 * th) * (1 + cos(th))),
    ("wave_soft_teeth", "Soft triple teeth", harmonics(TEETH)),
    ("wave_warped_fold", "Warped wave fold", harmonics(FOLD)),
]


def wave(raw):
    def recipe(P):
        x = normalised(P, lambda p: raw(angle(p, P)))
        return (x[0],)
    return recipe


def register(pattern):
    for name, label, raw in WAVES:
        pattern(name, 512, 1, label + LABEL_TAIL)(wave(raw))
