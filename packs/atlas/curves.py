"""Closed curves: harmonic orbits, Lissajous weaves, polar curves,
rolling-circle curves and spatial curves. θ = 2πt with t = p/P.
"""

from primitives import TAU, cos, pi, sin

from atlas.common import PEAK, angle, normalised, phase

# --- harmonic orbits (normalised) ---------------------------------------------------------------
# x = cos θ + c·cos(mθ + φ), y = 0.72·sin θ − c·sin((m + 1)θ − φ)

HARMONIC_ORBITS = [  # (m, c, φ) for orbit_harmonic_01 ... _16
    (2, 0.18, 0), (3, 0.22, 0), (4, 0.25, 0), (5, 0.28, 0),
    (6, 0.25, 0), (7, 0.20, 0), (8, 0.15, 0), (9, 0.13, 0),
    (2, 0.34, 0.5), (3, 0.31, 0.8), (4, 0.29, 1.1), (5, 0.26, 1.4),
    (6, 0.23, 1.7), (7, 0.20, 2.0), (8, 0.17, 2.3), (9, 0.14, 2.6),
]


def harmonic_orbit(m, c, phi):
    def recipe(P):
        def x(p):
            th = angle(p, P)
            return cos(th) + c * cos(m * th + phi)

        def y(p):
            th = angle(p, P)
            return 0.72 * sin(th) - c * sin((m + 1) * th - phi)

        return normalised(P, x, y)
    return recipe


# --- Lissajous weaves (normalised) ----------------------------------------------------------------
# x = sin(2π·a·t + 0.37), y = 0.8125·sin(2π·b·t)

WEAVES = [(1, 3), (1, 4), (1, 5), (2, 5), (2, 7), (3, 4), (3, 5), (3, 7), (3, 8), (4, 5),
          (4, 7), (4, 9), (5, 6), (5, 7), (5, 8), (5, 9)]


def weave(a, b):
    def recipe(P):
        def x(p):
            return sin(TAU * a * phase(p, P) + 0.37)

        def y(p):
            return 0.8125 * sin(TAU * b * phase(p, P))

        return normalised(P, x, y)
    return recipe


# --- polar curves -------------------------------------------------------------------------------
# Roses: signed radius r = cos(kφ); odd n: k = n, φ = πt; even n: k = n/2, φ = 2πt.
# Scallops: φ = 2πt, r = 0.58 + 0.24·cos(kφ + 0.2·sin φ), never through the centre.

ROSES = [3, 6, 7, 8, 9, 10, 11, 12]
SCALLOPS = [2, 3, 4, 5, 6, 7, 8, 9]


def rose(n):
    if n % 2:
        k, turn = n, pi
    else:
        k, turn = n // 2, TAU

    def recipe(P):
        def x(p):
            phi = turn * phase(p, P)
            return PEAK * cos(k * phi) * cos(phi)

        def y(p):
            phi = turn * phase(p, P)
            return PEAK * cos(k * phi) * sin(phi)

        return x, y
    return recipe


def scallop(k):
    def recipe(P):
        def r(phi):
            return 0.58 + 0.24 * cos(k * phi + 0.2 * sin(phi))

        def x(p):
            phi = angle(p, P)
            return r(phi) * cos(phi)

        def y(p):
            phi = angle(p, P)
            return r(phi) * sin(phi)

        return x, y
    return recipe


# --- rolling-circle curves (normalised) ------------------------------------------------------------
# Fixed radius R = p, rolling radius r = q, pen d = ρ·q, ψ = 2π·q·t.
# Inside:  x = (R − r)·cos ψ + d·cos(2π(p − q)t),  y = (R − r)·sin ψ − d·sin(2π(p − q)t)
# Outside: x = (R + r)·cos ψ − d·cos(2π(p + q)t),  y = (R + r)·sin ψ − d·sin(2π(p + q)t)

SPIROS = [((3, 1), 0.45), ((4, 1), 0.60), ((5, 2), 0.75), ((5, 1), 0.55),
          ((7, 2), 0.65), ((7, 3), 0.70), ((8, 3), 0.60), ((9, 4), 0.80)]


def spiro_inside(R, r, rho):
    d = rho * r

    def recipe(P):
        def x(p):
            t = phase(p, P)
            return (R - r) * cos(TAU * r * t) + d * cos(TAU * (R - r) * t)

        def y(p):
            t = phase(p, P)
            return (R - r) * sin(TAU * r * t) - d * sin(TAU * (R - r) * t)

        return normalised(P, x, y)
    return recipe


def spiro_outside(R, r, rho):
    d = rho * r

    def recipe(P):
        def x(p):
            t = phase(p, P)
            return (R + r) * cos(TAU * r * t) - d * cos(TAU * (R + r) * t)

        def y(p):
            t = phase(p, P)
            return (R + r) * sin(TAU * r * t) - d * sin(TAU * (R + r) * t)

        return normalised(P, x, y)
    return recipe


# --- spatial curves ---------------------------------------------------------------------------------
# Torus knots (normalised): ρ = 0.58 + 0.2·cos(qθ); x = ρ·cos(pθ), y = ρ·sin(pθ), z = 0.42·sin(qθ).
# Weaves: x = 0.82·sin(aθ), y = 0.656·sin(bθ + 0.4), z = 0.574·cos(cθ + 0.7).

TORUS_KNOTS = [(2, 5), (2, 7), (3, 4), (3, 5), (3, 7), (4, 5), (4, 7), (5, 6)]
SPACE_WEAVES = [(1, 2, 3), (1, 3, 4), (2, 3, 4), (2, 3, 7), (2, 5, 7), (3, 4, 5), (3, 5, 7),
                (4, 5, 7)]


def torus_knot(a, b):
    def recipe(P):
        def rho(th):
            return 0.58 + 0.2 * cos(b * th)

        def x(p):
            th = angle(p, P)
            return rho(th) * cos(a * th)

        def y(p):
            th = angle(p, P)
            return rho(th) * sin(a * th)

        def z(p):
            return 0.42 * sin(b * angle(p, P))

        return normalised(P, x, y, z)
    return recipe


def space_weave(a, b, c):
    def recipe(P):
        def x(p):
            return 0.82 * sin(a * angle(p, P))

        def y(p):
            return 0.656 * sin(b * angle(p, P) + 0.4)

        def z(p):
            return 0.574 * cos(c * angle(p, P) + 0.7)

        return x, y, z
    return recipe


def register(pattern):
    for number, (m, c, phi) in enumerate(HARMONIC_ORBITS, start=1):
        pattern(f"orbit_harmonic_{number:02d}", 512, 2,
                "An ellipse combined with unequal horizontal and vertical harmonic ripples.")(
            harmonic_orbit(m, c, phi))
    for a, b in WEAVES:
        pattern(f"weave_{a}_{b}", 1024, 2,
                f"{a} horizontal and {b} vertical cycles; a phase-offset, closed 16-beat "
                f"traversal.")(weave(a, b))
    for n in ROSES:
        pattern(f"polar_rose_{n}", 1024, 2,
                "A complete signed-radius rose traversal; odd-petal roses use a half-turn "
                "parameter.")(rose(n))
    for k in SCALLOPS:
        pattern(f"polar_scallop_{k}", 1024, 2,
                "A positive-radius scalloped loop; no centre crossings, with an asymmetrically "
                "bent lobe.")(scallop(k))
    for (R, r), rho in SPIROS:
        pattern(f"spiro_inside_{R}_{r}", 1024, 2,
                "A closed inside-rolling circle trace, with pen radius smaller than the rolling "
                "radius.")(spiro_inside(R, r, rho))
    for (R, r), rho in SPIROS:
        pattern(f"spiro_outside_{R}_{r}", 1024, 2,
                "A closed outside-rolling circle trace, with pen radius smaller than the rolling "
                "radius.")(spiro_outside(R, r, rho))
    for a, b in TORUS_KNOTS:
        pattern(f"space_torus_{a}_{b}", 1024, 3,
                "A genuine XYZ closed torus-knot trajectory. The demo uses an oblique "
                "projection.")(torus_knot(a, b))
    for a, b, c in SPACE_WEAVES:
        pattern(f"space_weave_{a}_{b}_{c}", 1024, 3,
                "Three coprime-frequency coordinate lanes with distinct phase offsets.")(
            space_weave(a, b, c))
