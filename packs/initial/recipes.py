"""The initial pack: hand-made low-frequency shapes, rhythm and sticking
studies, easing curves, single-cycle waveforms and recorded grooves.

Notation: P is the period, p the pip (0 <= p < P), θ = 2πp/P.
"""

from pack import Pack
from primitives import KF, bumps, pi, sin, theta

pack = Pack("initial")
pattern = pack.pattern


@pattern("lfo_breathe", 256, 1,
         "A four-beat, single-axis sine. The quiet reference for judging busier shapes.")
def lfo_breathe(P):
    def x(p):
        return 0.8 * sin(theta(p, P))
    return (x,)


@pattern("lfo_surge", 256, 1,
         "A long rounded sweep and short recovery; an independently authored smooth-reset shape.")
def lfo_surge(P):
    # A three-beat rise and a one-beat return.
    return (KF(P, (0, -0.8), (192, 0.8)),)


@pattern("lfo_soft_gate", 256, 1,
         "Short smooth transitions separated by long stationary dwells. No square-wave teleport.")
def lfo_soft_gate(P):
    return (KF(P, (0, -0.8), (32, 0.8), (128, 0.8), (160, -0.8)),)


@pattern("lfo_double_pump", 256, 2,
         "Two unequal pumps and a breathing space within four beats.")
def lfo_double_pump(P):
    # Only y moves.
    y = KF(P, (0, 0.0), (32, -0.85), (64, 0.0), (96, -0.55), (128, 0.0))
    return 0.0, y


@pattern("lfo_ratchet", 256, 2,
         "A four-hit decaying burst, then a rest. Every event is peak-aligned.")
def lfo_ratchet(P):
    hits = (0, 16, 32, 48)
    x = bumps(P, *[(c, A, 8) for c, A in zip(hits, (0.8, 0.656, 0.512, 0.368))])
    y = bumps(P, *[(c, A, 8) for c, A in zip(hits, (-0.5, -0.41, -0.32, -0.23))])
    return x, y
