"""How far each motion reaches: the largest |x|, |y|, |z| over all 68 stems.

Every motion has three reach gains (see `motions`); GAINS holds the values
that put each motion's largest magnitudes on REACH to four decimals. The
generator checks REACH after building the tables, so a score or motion edit
that moves a record fails the build; then run this file

    python3 packs/beats/reach.py [MOTION ...]

to solve the gains again (each is one-dimensional: the largest magnitude of
base + g * term is convex in g) and paste the printed table over GAINS.
"""

import os
import sys

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
    'bounce': (0.2975, 0.0947733, 0.0333333),
    'step': (0.6129543, 0.0151, 0.1221253),
    'orbit': (0.0385549, 0.0042656, 0.1393548),
    'glide': (0.17, 0.2329012, 0.1619873),
    'surge': (0.0517464, 0.2745735, 0.0907414),
    'recoil': (0.498, 0.0551, 0.1311),
    'flutter': (0.2083884, 0.1467, 0.1098183),
    'dive': (0.3706515, 0.1395435, 0.3563494),
    'pendulum': (0.0082641, 0.1391722, 0.0473424),
    'figure8': (0.016035, 0.0428018, 0.0488889),
    'box': (0.019163, 0.0213, 0.1328507),
    'corkscrew': (0.0739821, 0.169766, 0.116928),
    'spiral': (0.0159804, 0.0588868, 0.0294233),
    'slalom': (0.0229225, 0.0815472, 0.0571),
    'spring': (0.2873092, 0.3108087, 0.238569),
    'ricochet': (0.3159, 0.3633737, 0.232216),
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
            g = round(hi, 7)
            if round(largest(g), 4) != target:
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
