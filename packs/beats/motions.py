"""The sixteen motion styles: each turns a drum score into three axes.

A motion is a function of a `Beat` (the score and whether bounce and step may
use depth) and its three reach gains (gx, gy, gz). Each gain scales one term
of one axis, a response that plain kicks never excite; `reach` sets the gains
so that the largest magnitude over all stems lands on its target figure.
Everything a bare four-to-the-floor pulse produces is fixed here by value.

Notation: P the period, p the pip, e an event (time, lane, level), E the
event envelope of the motion's family (club or dancefloor), phi the
rhythm-weighted phase in turns, theta = 2*pi*phi.
"""

from dataclasses import dataclass
from math import asin, atan, cos, exp, pi, sin, tanh

from beats.notation import Score
from beats.shapes import (CLUB, FLOOR, TICK, activity, after_kick_sign, alternate, kick_drive,
                          pulses, saturate, score_phase)


@dataclass(frozen=True)
class Beat:
    score: Score
    depth: bool = True      # bounce and step may move z

    @property
    def P(self):
        return self.score.period


def add(first, *columns):
    """Columns added pip by pip, left to right (plain float additions, the
    same on every interpreter)."""
    out = list(first)
    for column in columns:
        out = [a + b for a, b in zip(out, column)]
    return out


def hits(beat, events, peak, env):
    """Pulse train of the given events, each at peak(e) * level."""
    return pulses(beat.P, [(e.time, peak(e) * e.level, env[e.lane]) for e in events])


def signed(beat, pairs, peak, env):
    """Pulse train of (event, sign) pairs, each at sign * peak(e) * level."""
    return pulses(beat.P, [(e.time, s * peak(e) * e.level, env[e.lane]) for e, s in pairs])


def kick_cycle(beat, values, env):
    """The kicks in turn take the values of a cycle: kick k peaks at values[k % n]."""
    kicks = beat.score.lane("kick")
    return pulses(beat.P, [(e.time, values[k % len(values)] * e.level, env["kick"])
                           for k, e in enumerate(kicks)])


def zeros(beat):
    return [0.0] * beat.P


def wave(beat, f):
    """A continuous curve of the rhythm-weighted angle theta."""
    return [f(2 * pi * phi) for phi in score_phase(beat.score)]


# --- the four basic motions (club envelopes) ------------------------------------

def bounce(beat, g):
    """Kicks lift y by 0.55; snares, claps and percussion give side accents on
    x, alternating; snares pull y down, hats dip it by 0.02 to 0.03 (ghost to
    accent); bass lifts y. Stems with depth: bass low cues move z,
    alternating, and snares push depth."""
    s = beat.score
    side = alternate(s.lane("snare", "perc"))
    side_peak = {"snare": 0.27, "perc": 0.068}
    x = signed(beat, side, lambda e: g[0] if e.tom else side_peak[e.lane], CLUB)
    y = add(hits(beat, s.events, lambda e: {"kick": 0.55, "snare": -0.22, "hat": 0.0,
                                            "perc": 0.0, "bass": g[1]}[e.lane], CLUB),
            pulses(beat.P, [(e.time, -(0.02 + 0.01 * e.level), CLUB["hat"])
                            for e in s.lane("hat")]))
    if not beat.depth:
        return x, y, zeros(beat)
    z = add(signed(beat, alternate(s.lane("bass")), lambda e: 0.038, CLUB),
            signed(beat, [(e, sg) for e, sg in side if e.lane == "snare"], lambda e: g[2], CLUB))
    return x, y, z


def step(beat, g):
    """Kicks step x by 0.42 to alternate sides (the first to +) and drop y by
    0.22; a snare or tom steps back against the kick before it; hats lift y
    and off-grid hats tick sideways. Stems with depth: bass moves z."""
    s = beat.score
    sign = after_kick_sign(s)
    kicks = alternate(s.lane("kick"))
    backs = [(e, -sign[id(e)]) for e in s.lane("snare", "perc") if e.lane == "snare" or e.tom]
    ticks = alternate([e for e in s.lane("hat") if not e.on_grid])
    x = add(signed(beat, kicks, lambda e: 0.42, CLUB),
            signed(beat, backs, lambda e: 0.32 if e.lane == "snare" else g[0], CLUB),
            pulses(beat.P, [(e.time, sg * 0.025 * e.level, TICK) for e, sg in ticks]))
    y = hits(beat, [e for e in s.events if e.lane != "perc" or e.tom],
             lambda e: {"kick": -0.22, "snare": -0.14, "hat": 0.04, "perc": -g[1],
                        "bass": 0.0}[e.lane], CLUB)
    if not beat.depth:
        return x, y, zeros(beat)
    z = add(signed(beat, alternate(s.lane("bass")), lambda e: g[2], CLUB),
            signed(beat, [(e, sg) for e, sg in backs if e.lane == "snare"], lambda e: 0.05, CLUB))
    return x, y, z


def orbit(beat, g):
    """One turn per loop at the rhythm-weighted phase, radius 0.43 swelling
    by 0.15 per unit of activity; snares nudge x, percussion and hats nudge y,
    and every event but the kick sets the depth, alternating."""
    s = beat.score
    A = activity(s)
    phi = score_phase(s)
    R = [0.43 + 0.15 * saturate(a) for a in A]
    nudge_x = signed(beat, alternate(s.lane("snare")), lambda e: g[0], CLUB)
    nudge_y = signed(beat, alternate(s.lane("perc", "hat")), lambda e: g[1], CLUB)
    x = [r * cos(2 * pi * f) + n for r, f, n in zip(R, phi, nudge_x)]
    y = [r * sin(2 * pi * f) + n for r, f, n in zip(R, phi, nudge_y)]
    z = signed(beat, alternate([e for e in s.events if e.lane != "kick"]), lambda e: g[2], CLUB)
    return x, y, z


def glide(beat, g):
    """A continuous phrase path: x and z one asymmetric swing per loop, y two;
    bass notes make excursions on x (alternating) and z, snares on y."""
    s = beat.score
    bass = alternate(s.lane("bass"))
    x = add(wave(beat, lambda t: 0.461 * cos(t) - 0.069 * cos(2 * t)),
            signed(beat, bass, lambda e: g[0], CLUB))
    y = add(wave(beat, lambda t: 0.26 * sin(2 * t)),
            signed(beat, alternate(s.lane("snare")), lambda e: g[1], CLUB))
    z = add(wave(beat, lambda t: -0.332 * cos(t) - 0.068 * cos(2 * t)),
            hits(beat, s.lane("bass"), lambda e: g[2], CLUB))
    return x, y, z


# --- the twelve further motions (dancefloor envelopes) ------------------------------

def surge(beat, g):
    """Kicks thrust z by 0.506 and dip y by 0.1535 while x alternates 0.153;
    snares lift y, hats add alternating detail on x, bass pushes depth."""
    s = beat.score
    x = add(signed(beat, alternate(s.lane("kick")), lambda e: 0.153, FLOOR),
            signed(beat, alternate(s.lane("hat")), lambda e: g[0], FLOOR))
    y = add(hits(beat, s.lane("kick"), lambda e: -0.1535, FLOOR),
            hits(beat, s.lane("snare"), lambda e: g[1], FLOOR))
    z = add(hits(beat, s.lane("kick"), lambda e: 0.506, FLOOR),
            hits(beat, s.lane("bass"), lambda e: g[2], FLOOR))
    return x, y, z


def recoil(beat, g):
    """Kicks push x by 0.143 to alternate sides, lift y by 0.257 and pull z by
    0.072; 24 pips after each kick an echo of it draws x back by 0.091.
    Snares push sideways, alternating; they also lift y; hats stir z and the
    bass pulls it back."""
    s = beat.score
    kicks = s.lane("kick")
    echo = pulses(beat.P, [(e.time + 24, -0.091 * e.level, FLOOR["kick"]) for e in kicks])
    x = add(signed(beat, alternate(kicks), lambda e: 0.143, FLOOR), echo,
            signed(beat, alternate(s.lane("snare")), lambda e: g[0], FLOOR))
    y = add(hits(beat, kicks, lambda e: 0.257, FLOOR),
            hits(beat, s.lane("snare"), lambda e: g[1], FLOOR))
    z = add(hits(beat, kicks, lambda e: -0.072, FLOOR),
            hits(beat, s.lane("bass"), lambda e: -0.06, FLOOR),
            signed(beat, alternate(s.lane("hat", "perc")), lambda e: g[2], FLOOR))
    return x, y, z


def flutter(beat, g):
    """A wide arc in x and z once per loop; kicks lift y by 0.203; hats and
    shakers tremble on x and z, snares swing x wider and lift y."""
    s = beat.score
    tremor = alternate(s.lane("hat"))
    x = add(wave(beat, lambda t: 0.3065 * cos(t) - 0.0525 * cos(2 * t)),
            signed(beat, tremor, lambda e: 0.02, FLOOR),
            signed(beat, alternate(s.lane("snare")), lambda e: g[0], FLOOR))
    y = add(hits(beat, s.lane("kick"), lambda e: 0.203, FLOOR),
            hits(beat, s.lane("snare"), lambda e: g[1], FLOOR))
    z = add(wave(beat, lambda t: 0.1765 * sin(t) - 0.0185 * cos(2 * t)),
            signed(beat, tremor, lambda e: -0.02, FLOOR),
            signed(beat, alternate(s.lane("perc")), lambda e: g[2], FLOOR))
    return x, y, z


# The bass plunge is slow to build and slower to release.
PLUNGE = {"bass": (16.0, 64.0)}


def dive(beat, g):
    """Kicks throw x by 0.341 to alternate sides and drop y by 0.126; snares
    counterweigh x against the kick before them, hats lift y; z is a depth
    wave from -0.108 to 0.24 that the bass drives down in broad plunges."""
    s = beat.score
    sign = after_kick_sign(s)
    counter = [(e, -sign[id(e)]) for e in s.lane("snare")]
    x = add(signed(beat, alternate(s.lane("kick")), lambda e: 0.341, FLOOR),
            signed(beat, counter, lambda e: g[0], FLOOR))
    y = add(hits(beat, s.lane("kick"), lambda e: -0.126, FLOOR),
            hits(beat, s.lane("hat"), lambda e: g[1], FLOOR))
    z = add(wave(beat, lambda t: 0.066 + 0.174 * sin(t)),
            hits(beat, s.lane("bass"), lambda e: -g[2], PLUNGE))
    return x, y, z


# Pendulum geometry from its reach over the bare pulse: x from -0.549 to
# 0.434, y from -0.193 at the bottom to 0.048 at the far end of the left swing.
_LEFT, _RIGHT, _LOW, _HIGH = -0.549, 0.434, -0.193, 0.048
SWING_LEFT = 2 * atan((_HIGH - _LOW) / -_LEFT)
ARM = -_LEFT / sin(SWING_LEFT)
PIVOT = _LOW + ARM
SWING_RIGHT = asin(_RIGHT / ARM)


def pendulum(beat, g):
    """A bob on an arm of 0.746 swings once per loop, further left than right,
    at the rhythm-weighted phase: fast through events, lingering between.
    Kicks push z by 0.192 and -0.06 in turn; snares shove x, alternating,
    hats lift y, bass pushes depth."""
    s = beat.score
    c, d = (SWING_LEFT + SWING_RIGHT) / 2, (SWING_LEFT - SWING_RIGHT) / 2

    def angle(t):
        return c * sin(t) + d * cos(2 * t)

    x = add(wave(beat, lambda t: ARM * sin(angle(t))),
            signed(beat, alternate(s.lane("snare")), lambda e: g[0], FLOOR))
    y = add(wave(beat, lambda t: PIVOT - ARM * cos(angle(t))),
            hits(beat, s.lane("hat"), lambda e: g[1], FLOOR))
    z = add(kick_cycle(beat, (0.192, -0.06), FLOOR),
            hits(beat, s.lane("bass"), lambda e: g[2], FLOOR))
    return x, y, z


def figure8(beat, g):
    """x one lobe pair per loop, widening from 0.504 by 0.126 per kick
    envelope (0.63 at a kick); y two cycles of 0.397, lifted by snares; kicks
    set z to 0.064 and -0.16 in turn; percussion nudges x, hats stir z."""
    s = beat.score
    K = kick_drive(s, FLOOR)
    phi = score_phase(s)
    x = add([(0.504 + 0.126 * k) * sin(2 * pi * f) for k, f in zip(K, phi)],
            signed(beat, alternate(s.lane("perc")), lambda e: g[0], FLOOR))
    y = add(wave(beat, lambda t: 0.397 * sin(2 * t)),
            hits(beat, s.lane("snare"), lambda e: g[1], FLOOR))
    z = add(kick_cycle(beat, (0.064, -0.16), FLOOR),
            signed(beat, alternate(s.lane("hat")), lambda e: g[2], FLOOR))
    return x, y, z


def _rounded(u, k=2.0):
    """A cosine or sine pushed towards +-1: corners of a softened square."""
    return tanh(k * u) / tanh(k)


def box(beat, g):
    """Four softened corners, one per quarter of the rhythm-weighted turn:
    x +-0.502, y from -0.48 to 0.4; kicks lift z by 0.138 and 0.066 in turn;
    snares push x outward, percussion y, hats z."""
    s = beat.score
    x = add(wave(beat, lambda t: 0.502 * _rounded(cos(t))),
            signed(beat, alternate(s.lane("snare")), lambda e: g[0], FLOOR))
    y = add(wave(beat, lambda t: -0.04 + 0.44 * _rounded(sin(t))),
            signed(beat, alternate(s.lane("perc", "bass")), lambda e: g[1], FLOOR))
    z = add(kick_cycle(beat, (0.138, 0.066), FLOOR),
            signed(beat, alternate(s.lane("hat")), lambda e: g[2], FLOOR))
    return x, y, z


def corkscrew(beat, g):
    """Two turns per loop (x 0.53, y 0.473) on one depth wave (z from -0.411
    to 0.436); snares and percussion widen the turn in x, hats in y, and the
    bass deepens z."""
    s = beat.score
    phi = score_phase(s)
    widen_x = hits(beat, s.lane("snare", "perc"), lambda e: 1.0, FLOOR)
    widen_y = hits(beat, s.lane("hat"), lambda e: 1.0, FLOOR)
    x = [0.53 * cos(4 * pi * f) * (1 + g[0] * w) for f, w in zip(phi, widen_x)]
    y = [0.473 * sin(4 * pi * f) * (1 + g[1] * w) for f, w in zip(phi, widen_y)]
    z = add(wave(beat, lambda t: 0.4235 * sin(t) - 0.0125 * cos(2 * t)),
            hits(beat, s.lane("bass"), lambda e: g[2], FLOOR))
    return x, y, z


# Spiral radius r0 + r2c*cos(2t) + r2s*sin(2t) + r4c*cos(4t): it breathes with
# the turns, narrow across x (0.506) and wide along it (0.67) over the bare pulse.
SPIRAL_RADIUS = (0.578813, -0.082, -0.006395, 0.009187)


def spiral(beat, g):
    """Two turns per loop whose radius contracts and expands, the seam
    continuous; z one wave from -0.186 to 0.295; snares push x, percussion
    and hats y, bass z."""
    s = beat.score
    r0, r2c, r2s, r4c = SPIRAL_RADIUS

    def radius(t):
        return r0 + r2c * cos(2 * t) + r2s * sin(2 * t) + r4c * cos(4 * t)

    x = add(wave(beat, lambda t: radius(t) * cos(2 * t)),
            signed(beat, alternate(s.lane("snare")), lambda e: g[0], FLOOR))
    y = add(wave(beat, lambda t: radius(t) * sin(2 * t)),
            signed(beat, alternate(s.lane("perc", "hat")), lambda e: g[1], FLOOR))
    z = add(wave(beat, lambda t: 0.2405 * sin(t) - 0.0545 * cos(2 * t)),
            hits(beat, s.lane("bass"), lambda e: g[2], FLOOR))
    return x, y, z


def slalom(beat, g):
    """One S-shaped traverse of x per loop (-0.636 to 0.567) over two swings
    of y, which kicks lift by 0.08 (y -0.374 to 0.26 over the bare pulse);
    kicks alternate z by 0.346; snares cut back on x, hats and percussion
    lift y, bass counters in depth."""
    s = beat.score
    x = add(wave(beat, lambda t: 0.6015 * sin(t) + 0.0345 * cos(2 * t)),
            signed(beat, alternate(s.lane("snare")), lambda e: -g[0], FLOOR))
    y = add(wave(beat, lambda t: -0.088169 + 0.309313 * sin(2 * t)),
            hits(beat, s.lane("kick"), lambda e: 0.08, FLOOR),
            hits(beat, s.lane("hat", "perc"), lambda e: g[1], FLOOR))
    z = add(signed(beat, alternate(s.lane("kick")), lambda e: 0.346, FLOOR),
            signed(beat, alternate(s.lane("bass")), lambda e: -g[2], FLOOR))
    return x, y, z


# The spring's ringing: a damped oscillation from rest whose phase passes
# whole half-turns 14.43, 28.82 and 43.24 pips after the event, faded out
# from 38.6 pips to rest at 58; normalised to 1 at its peak, five pips in.
RING_CROSSINGS = (14.43, 28.82, 43.24)
RING_DAMPING = (10.421337, 0.000737214)   # e^(-d/tau - beta*d^2)
RING_FADE = (38.606006, 58.0)
RING_PEAK = 5


def _ring_phase():
    # psi(d) = a*d + b*d^2 + c*d^3 with psi = 1, 2, 3 at the crossings (Cramer's rule).
    rows = [(t, t * t, t ** 3, k + 1) for k, t in enumerate(RING_CROSSINGS)]

    def det(m):
        return (m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1])
                - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0])
                + m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]))

    base = [r[:3] for r in rows]
    D = det(base)
    return tuple(det([[r[3] if j == i else r[j] for j in range(3)] for r in rows]) / D
                 for i in range(3))


RING_PSI = _ring_phase()


def _ring_raw(d):
    if not 0 < d < RING_FADE[1]:
        return 0.0
    a, b, c = RING_PSI
    tau, beta = RING_DAMPING
    start, end = RING_FADE
    fade = 1.0 if d <= start else (1 + cos(pi * (d - start) / (end - start))) / 2
    return exp(-d / tau - beta * d * d) * sin(pi * (a * d + b * d * d + c * d ** 3)) * fade


_RING_NORM = _ring_raw(RING_PEAK)


def ring(d):
    """The unit ringing excursion d pips after its event: 0 at the event,
    1 at the peak five pips later, exactly 0 from 58 pips on."""
    if d == RING_PEAK:
        return 1.0
    return _ring_raw(d) / _RING_NORM


def rings(beat, impulses):
    """Sum of ringing excursions: (event time, peak) pairs."""
    P = beat.P
    values = [0.0] * P
    for t, peak in impulses:
        if peak == 0:
            continue
        for k in range(int(t) + 1, int(t) + int(RING_FADE[1]) + 2):
            v = ring(k - t)
            if v:
                values[k % P] += peak * v
    return values


SPRING_X, SPRING_Z, SPRING_Y = 0.365895265801, 0.324078663995, 0.061170371497


def spring(beat, g):
    """Each kick rings one axis from rest, the axes taking turns z+, x+, z-,
    x-; y rings with every kick, alternating. Snares ring y, percussion x and
    bass z, alternating.

    A ring lasts 58 pips, so the table starts at rest at pip 0 exactly when
    no ringing event falls in the loop's last 58 pips: four_floor (by its
    definition), and house_classic, ukg_two_step, afro_cross and
    dancehall_space, whose scores leave that stretch to hats. Every other
    score rings across the wrap (see the pickups in `scores`)."""
    s = beat.score
    kicks = s.lane("kick")
    turn = [("z", 1), ("x", 1), ("z", -1), ("x", -1)]
    x_imp, z_imp = [], []
    for k, e in enumerate(kicks):
        axis, sg = turn[k % 4]
        if axis == "x":
            x_imp.append((e.time, sg * SPRING_X * e.level))
        else:
            z_imp.append((e.time, sg * SPRING_Z * e.level))
    y_imp = [(e.time, sg * SPRING_Y * e.level) for e, sg in alternate(kicks)]
    x_imp += [(e.time, sg * g[0] * e.level) for e, sg in alternate(s.lane("perc"))]
    y_imp += [(e.time, sg * g[1] * e.level) for e, sg in alternate(s.lane("snare"))]
    z_imp += [(e.time, sg * g[2] * e.level) for e, sg in alternate(s.lane("bass"))]
    return rings(beat, x_imp), rings(beat, y_imp), rings(beat, z_imp)


# Targets of the ricochet, visited in turn by successive kicks and snares.
TARGETS = ((0.54, -0.12, 0.126), (0.0, 0.34, -0.03), (-0.54, -0.12, 0.126), (0.0, -0.58, -0.03))


def ricochet(beat, g):
    """Each kick or snare sends the point toward the next target of a cycle
    of four, easing back to the centre after; percussion flicks x, hats y,
    bass z, alternating."""
    s = beat.score
    onsets = list(enumerate(s.lane("kick", "snare")))
    axes = [pulses(beat.P, [(e.time, TARGETS[k % 4][a] * e.level, FLOOR[e.lane])
                            for k, e in onsets]) for a in range(3)]
    extra = [signed(beat, alternate(s.lane("perc")), lambda e: g[0], FLOOR),
             signed(beat, alternate(s.lane("hat")), lambda e: g[1], FLOOR),
             signed(beat, alternate(s.lane("bass")), lambda e: g[2], FLOOR)]
    return tuple(add(a, b) for a, b in zip(axes, extra))


MOTIONS = {f.__name__: f for f in (bounce, step, orbit, glide, surge, recoil, flutter, dive,
                                   pendulum, figure8, box, corkscrew, spiral, slalom, spring,
                                   ricochet)}
