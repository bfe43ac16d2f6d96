"""How far each motion reaches: the largest |x|, |y|, |z| over all 68 stems.

Every motion has three reach gains (see `motions`); GAINS holds the values
that put each motion's largest magnitudes exactly on REACH, as stored (to
twelve decimals). The generator checks REACH to four decimals after building
the tables, and the registry's own records (0.92 on y and z, held by ricochet
and dive) exactly, so a score or motion edit that moves a record fails the
build; then run this file

    python3 packs/beats/reach.py [MOTION ...]

to solve the gains again (each is one-dimensional: the largest magnitude of
base + g * term is convex in g) and paste the printed table over GAINS.
"""

import os
import sys
from decimal import ROUND_CEILING, ROUND_HALF_EVEN, Decimal

REACH = {
    "bounce": (0.2975, 0.6825, 0.068),
    "step": (0.7464, 0.3611, 0.1813),
    "orbit": (0.6198, 0.614, 0.216),
    "glide": (0.7, 0.4929, 0.4848),
    "surge": (0.2124, 0.3618, 0.6795),
    "recoil": (0.641, 0.3121, 0.2631),
    "flutter": (0.5413, 0.3497, 0.2938),
    "dive": (0.4884, 0.1867, 0.92),
    "pendulum": (0.5564, 0.2, 0.2636),
    "figure8": (0.6448, 0.4398, 0.204),
    "box": (0.52, 0.5013, 0.2905),
    "corkscrew": (0.5964, 0.5804, 0.6019),
    "spiral": (0.6842, 0.6409, 0.3366),
    "slalom": (0.6564, 0.41, 0.4031),
    "spring": (0.6703, 0.372, 0.6007),
    "ricochet": (0.8559, 0.92, 0.4772),
}

GAINS = {
    'bounce': (0.2975, 0.094773347176, 0.033333333333),
    'step': (0.612954291841, 0.0151, 0.122125323947),
    'orbit': (0.038554890277, 0.004265623121, 0.1393548387094),
    'glide': (0.17, 0.232901195784, 0.16198734602),
    'surge': (0.051746417787, 0.274573536469, 0.090741447093),
    'recoil': (0.498, 0.0551, 0.1311),
    'flutter': (0.208388432073, 0.1467, 0.109818288642),
    'dive': (0.370651506942, 0.1395434757412, 0.3563494360013),
    'pendulum': (0.008264147723, 0.139172160727, 0.047342447644),
    'figure8': (0.016034977721, 0.04280182587, 0.048888888889),
    'box': (0.019162958633, 0.0213, 0.132850651727),
    'corkscrew': (0.073982094441, 0.169766047001, 0.1169280065661),
    'spiral': (0.015980430223, 0.058886784071, 0.029423265831),
    'slalom': (0.022922489975, 0.081547192576, 0.0571),
    'spring': (0.287309183464, 0.310808680053, 0.238569032072),
    'ricochet': (0.3159, 0.363373724533, 0.232216028108),
}


def check(extremes):
    """Violations of REACH, given name -> (largest |x|, |y|, |z|) of the built
    tables. A motion is judged only when all 68 of its tables were built."""
    from beats.grid import STEMS, name

    found = []
    for motion, reach in REACH.items():
        names = [name(stem, motion) for stem in STEMS]
        if not all(n in extremes for n in names):
            continue
        for a, target in enumerate(reach):
            value, holder = max((extremes[n][a], n) for n in names)
            if round(value, 4) != target:
                found.append((f"beat_*_{motion}", "largest magnitude",
                              f"{'xyz'[a]} reaches {value!r} ({holder}), not {target}"))
    return found


# --- solving the gains ------------------------------------------------------------------

def shortest_gain(largest, g, target):
    """The gain with the fewest decimals, seven at least, that puts the stored
    largest magnitude exactly on target, or g itself when none does.

    g is the least gain whose largest magnitude reaches the target (from the
    bisection), so it lands there, and so do the gains a little above it. At
    each number of places the candidates are g rounded to the nearest and g
    rounded up: the nearest may fall short of g, the one rounded up not."""
    for places in range(7, 18):
        step = Decimal(1).scaleb(-places)
        for rounding in (ROUND_HALF_EVEN, ROUND_CEILING):
            candidate = float(Decimal(g).quantize(step, rounding=rounding))
            if largest(candidate) == target:
                return candidate
    return g


def solve(motions=()):
    """Solve the gains of the named motions (all by default) and print them."""
    from beats.grid import STEMS
    from beats.motions import MOTIONS, Beat
    from primitives import round12
    from beats.scores import SCORES

    beats = {s.name: Beat(SCORES[s.name], s.depth) for s in STEMS}
    gains = {}
    for motion, reach in REACH.items():
        if motions and motion not in motions:
            continue
        f = MOTIONS[motion]
        base = {n: f(b, (0.0, 0.0, 0.0)) for n, b in beats.items()}
        unit = {n: f(b, (1.0, 1.0, 1.0)) for n, b in beats.items()}
        solved = []
        for a, target in enumerate(reach):
            def largest(g):
                return max(abs(round12(bv + g * (uv - bv)))
                           for n in beats for bv, uv in zip(base[n][a], unit[n][a]))
            lo, hi = 0.0, 1.0
            if largest(lo) > target:
                print(f"# {motion} {'xyz'[a]}: {largest(lo):.6f} without the gain, "
                      f"above {target}", file=sys.stderr)
                solved.append(0.0)
                continue
            while largest(hi) < target:
                hi *= 2
            for _ in range(60):
                mid = (lo + hi) / 2
                if largest(mid) < target:
                    lo = mid
                else:
                    hi = mid
            g = shortest_gain(largest, hi, target)
            if largest(g) != target:
                print(f"# {motion} {'xyz'[a]}: no gain lands on {target}", file=sys.stderr)
            solved.append(g)
        gains[motion] = tuple(solved)
        print(f"    {motion!r}: {gains[motion]},", flush=True)
    return gains


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    sys.dont_write_bytecode = True
    sys.path.insert(0, os.path.dirname(here))
    solve(sys.argv[1:])
