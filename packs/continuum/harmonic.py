"""Families drawn from a few harmonics of the loop: ribbon, contour,
silhouette, surface and braid. Each starts from its member table.

Notation: t = 2πp/P, the loop angle at pip p.
"""

from math import cos, pi, sin

from continuum.shaping import PEAK, angle, bisect, fit, fit_one, largest, smooth_power

# --- ribbon ----------------------------------------------------------------------

RIBBON_DESCRIPTION = ("A curved elliptical spine with variable radial width and linked depth "
                      "deflection.")
RIBBON_PAIRS = ((1, 2), (1, 3), (1, 4), (1, 5), (2, 3), (2, 5), (3, 4), (3, 5))
# Per pair: width variation ε, spine curvature κ, y peak, |z| peak.
RIBBON_SLIM = (
    (0.22, 0.18, 0.62, 0.057), (0.18, -0.12, 0.48, 0.083), (0.15, 0.25, 0.71, 0.071),
    (0.12, -0.2, 0.40, 0.102), (0.25, 0.1, 0.55, 0.064), (0.14, -0.16, 0.77, 0.119),
    (0.20, 0.22, 0.44, 0.090), (0.16, -0.08, 0.66, 0.077),
)
RIBBON_DEEP = (
    (0.30, -0.15, 0.52, 0.210), (0.26, 0.2, 0.68, 0.187), (0.21, -0.1, 0.37, 0.245),
    (0.18, 0.24, 0.60, 0.200), (0.33, -0.2, 0.74, 0.258), (0.20, 0.12, 0.45, 0.226),
    (0.28, -0.06, 0.63, 0.193), (0.24, 0.18, 0.50, 0.237),
)


def ribbon(a, b, width, bend, y_peak, z_peak):
    """x = w cos(at) and y = w sin(at) + κ sin(2at) with the width
    w = 1 + ε cos((b+1)t); the depth is the width variation times the spine,
    cos((b+1)t) sin(at). x is even and greatest at pip 0, y and z are odd."""
    def recipe(P):
        ts = angle(P)
        w = [1 + width * cos((b + 1) * t) for t in ts]
        x = [PEAK * (wi * cos(a * t) / (1 + width)) for wi, t in zip(w, ts)]
        y = [wi * sin(a * t) + bend * sin(2 * a * t) for wi, t in zip(w, ts)]
        z = [cos((b + 1) * t) * sin(a * t) for t in ts]
        return x, fit_one(y, y_peak), fit_one(z, z_peak)
    return recipe


# --- contour ---------------------------------------------------------------------

CONTOUR_DESCRIPTION = "Signed-power oval edges with local ripples and an asymmetric bow."
# Per member: x and y exponents, bow, ripple count and sizes (x, y), ripple
# phase, y peak; members 09-16 add z = A cos 2t + B cos 4t + C cos 6t.
CONTOUR = (
    (0.55, 0.70, 0.18, 5, 0.04, 0.05, 0.3, 0.58),
    (1.35, 0.60, -0.22, 7, 0.03, 0.04, 1.1, 0.44),
    (0.70, 1.25, 0.12, 4, 0.05, 0.03, 2.0, 0.60),
    (0.45, 0.45, -0.15, 9, 0.02, 0.03, 0.7, 0.52),
    (1.10, 0.80, 0.25, 6, 0.04, 0.06, 2.6, 0.36),
    (0.60, 1.50, -0.10, 3, 0.06, 0.04, 1.5, 0.48),
    (0.85, 0.55, 0.20, 8, 0.03, 0.05, 0.1, 0.56),
    (1.60, 1.10, -0.25, 5, 0.05, 0.02, 2.2, 0.40),
    (0.50, 0.90, 0.15, 6, 0.03, 0.05, 0.9, 0.54),
    (1.25, 0.50, -0.18, 4, 0.05, 0.03, 1.8, 0.46),
    (0.65, 0.65, 0.22, 7, 0.04, 0.04, 0.4, 0.60),
    (0.90, 1.40, -0.12, 5, 0.02, 0.06, 2.9, 0.38),
    (0.40, 0.75, 0.10, 9, 0.03, 0.03, 1.2, 0.50),
    (1.45, 0.65, -0.20, 3, 0.06, 0.05, 0.6, 0.42),
    (0.75, 0.55, 0.16, 8, 0.02, -0.04, 2.4, 0.57),
    (1.05, 1.20, -0.24, 6, 0.04, 0.05, 1.6, 0.45),
)
CONTOUR_DEPTH = (  # members 09 to 16: (A, B, C)
    (0.10, -0.030, 0.000), (0.07, -0.045, 0.010), (0.12, -0.020, -0.008),
    (0.05, -0.060, 0.000), (0.11, -0.035, -0.012), (0.08, -0.020, -0.015),
    (0.09, -0.050, 0.006), (0.06, -0.040, -0.010),
)


def contour(ex, ey, bow, k, rx, ry, phase, y_peak, depth=None):
    """A signed-power oval (x from cos t, y from sin t), bowed at the top and
    bottom unequally, with k small ripples on each axis.

    The bow and the ripples push one side of the oval further out than the
    other; the oval is mirrored left to right where needed so that the
    further side is +x, and x reaches the full 0.82 there."""
    def recipe(P):
        ts = angle(P)
        x = [smooth_power(cos(t), ex) + bow * (1 - cos(2 * t)) / 2 * (1 + 0.6 * sin(t))
             + rx * cos(k * t + phase) for t in ts]
        if -min(x) > max(x):
            x = [-v for v in x]
        y = [smooth_power(sin(t), ey) + ry * sin(k * t) for t in ts]
        axes = [fit_one(x, PEAK), fit_one(y, y_peak)]
        if depth:
            A, B, C = depth
            axes.append([A * cos(2 * t) + B * cos(4 * t) + C * cos(6 * t) for t in ts])
        return tuple(axes)
    return recipe


# --- silhouette ------------------------------------------------------------------

SILHOUETTE_DESCRIPTION = ("Three unequal harmonic components, with cross-axis phases and a small "
                          "linked depth term.")
# Per member: (p, q, r), (a, b), the phases of x and of y (one per harmonic),
# and the sign joining the two depth harmonics.
SILHOUETTE = (
    ((1, 2, 3), (0.20, 0.16), (0.0, 0.4, 1.1), (0.3, 1.9, 0.2), 1),
    ((1, 3, 5), (0.35, 0.12), (0.0, 0.9, 2.4), (1.2, 0.1, 0.8), -1),
    ((2, 3, 4), (0.30, 0.18), (0.2, 0.0, 1.7), (0.0, 2.2, 1.0), 1),
    ((2, 5, 7), (0.23, 0.16), (0.0, 1.3, 0.5), (2.0, 0.6, 2.9), 1),
    ((1, 4, 7), (0.35, 0.21), (0.1, 0.0, 0.6), (0.9, 1.5, 0.0), -1),
    ((3, 4, 5), (0.28, 0.14), (0.0, 2.1, 0.9), (0.4, 0.0, 2.5), 1),
    ((2, 7, 9), (0.19, 0.12), (0.0, 0.3, 2.8), (1.6, 2.7, 0.3), -1),
    ((3, 5, 8), (0.30, 0.17), (0.3, 0.0, 1.4), (0.0, 1.0, 1.8), 1),
    ((1, 2, 5), (0.40, 0.22), (0.0, 0.6, 0.0), (2.4, 0.2, 1.3), 1),
    ((1, 5, 8), (0.27, 0.24), (0.0, 1.8, 0.7), (0.7, 2.9, 0.0), -1),
    ((2, 3, 7), (0.34, 0.20), (0.2, 0.0, 2.2), (1.3, 0.5, 2.0), 1),
    ((3, 7, 10), (0.26, 0.16), (0.0, 0.8, 1.6), (0.1, 1.7, 0.9), -1),
    ((2, 4, 9), (0.33, 0.23), (0.0, 0.2, 0.9), (2.7, 1.1, 0.4), 1),
    ((3, 4, 9), (0.29, 0.25), (0.1, 1.5, 0.0), (0.5, 0.0, 2.6), -1),
    ((4, 5, 7), (0.25, 0.21), (0.0, 2.5, 1.2), (1.9, 0.8, 0.1), 1),
    ((4, 7, 11), (0.21, 0.16), (0.0, 0.5, 2.0), (0.2, 2.3, 1.4), -1),
)


def silhouette(harmonics, weights, x_phases, y_phases, sign):
    """x: harmonics p, q, r with amplitudes 1, a, b; y: the same harmonics with
    0.65, b, a; z: 0.06 (cos (p+q-1)t ± cos (p+q+1)t), even in time. Scaled
    together to the 0.82 peak."""
    p_, q_, r_ = harmonics
    a, b = weights

    def recipe(P):
        ts = angle(P)
        x = [cos(p_ * t + x_phases[0]) + a * cos(q_ * t + x_phases[1])
             + b * cos(r_ * t + x_phases[2]) for t in ts]
        y = [0.65 * sin(p_ * t + y_phases[0]) + b * sin(q_ * t + y_phases[1])
             + a * sin(r_ * t + y_phases[2]) for t in ts]
        z = [0.06 * cos((p_ + q_ - 1) * t) + sign * 0.06 * cos((p_ + q_ + 1) * t) for t in ts]
        return tuple(fit([x, y, z]))
    return recipe


# --- surface ---------------------------------------------------------------------

SURFACE_DESCRIPTION = ("A varying-radius surface path with coupled longitude and latitude; "
                       "all three coordinates are retained.")
SURFACE_PAIRS = RIBBON_PAIRS
# Per pair: radius swing η, radius harmonic, y squash, |z| peak.
SURFACE_LOW = (
    (0.12, 3, 0.85, 0.39), (0.08, 2, 0.70, 0.47), (0.15, 5, 0.90, 0.43), (0.10, 4, 0.75, 0.58),
    (0.14, 1, 0.80, 0.51), (0.06, 7, 0.95, 0.41), (0.11, 2, 0.65, 0.55), (0.09, 6, 0.88, 0.45),
)
SURFACE_WIDE = (
    (0.10, 4, 0.90, 0.74), (0.13, 1, 0.78, 0.67), (0.07, 3, 0.85, 0.78), (0.12, 6, 0.70, 0.71),
    (0.09, 5, 0.95, 0.69), (0.14, 3, 0.80, 0.76), (0.08, 1, 0.72, 0.73), (0.11, 7, 0.86, 0.70),
)


def surface(a, b, swing, c, squash, z_peak):
    """Longitude at, latitude Φ sin(bt), radius 1 + η cos(ct): x is even and
    greatest at pip 0, y and z are odd. Φ is chosen for the wanted depth."""
    def recipe(P):
        ts = angle(P)
        rho = [1 + swing * cos(c * t) for t in ts]
        k = PEAK / (1 + swing)

        def depth(Phi, step=1):
            return [k * r * sin(Phi * sin(b * t)) for r, t in zip(rho[::step], ts[::step])]

        # Φ for the depth peak, found on every fourth pip.
        Phi = bisect(lambda F: largest(depth(F, 4)), 0.0, pi / 2, z_peak, steps=40)
        lat = [Phi * sin(b * t) for t in ts]
        x = [PEAK * (r * cos(f) * cos(a * t) / (1 + swing)) for r, f, t in zip(rho, lat, ts)]
        y = [k * squash * r * cos(f) * sin(a * t) for r, f, t in zip(rho, lat, ts)]
        return x, y, depth(Phi)
    return recipe


# --- braid -----------------------------------------------------------------------

BRAID_DESCRIPTION = ("An offset tube centreline and a rolling cross-section with a second depth "
                     "ripple.")
# Per member: (a, b), centreline aspect, tube radius, ripple harmonic and size,
# ripple phase, |z| peak.
BRAID = (
    ((1, 2), 0.70, 0.28, 5, 0.30, 0.4, 0.33), ((1, 3), 0.85, 0.22, 4, 0.25, 1.2, 0.38),
    ((1, 4), 0.60, 0.30, 7, 0.20, 2.1, 0.31), ((1, 5), 0.90, 0.18, 2, 0.35, 0.0, 0.42),
    ((2, 3), 0.75, 0.25, 1, 0.30, 2.7, 0.36), ((2, 5), 0.65, 0.20, 8, 0.22, 0.9, 0.40),
    ((3, 4), 0.80, 0.27, 2, 0.28, 1.6, 0.34), ((3, 5), 0.55, 0.24, 9, 0.18, 0.2, 0.39),
    ((1, 6), 0.72, 0.16, 3, 0.32, 2.4, 0.32), ((2, 7), 0.88, 0.21, 5, 0.26, 1.0, 0.41),
    ((3, 7), 0.62, 0.23, 4, 0.30, 0.6, 0.35), ((4, 5), 0.78, 0.29, 1, 0.24, 2.9, 0.37),
    ((4, 7), 0.68, 0.19, 11, 0.20, 1.4, 0.33), ((5, 6), 0.92, 0.26, 2, 0.34, 0.3, 0.42),
    ((5, 7), 0.58, 0.22, 12, 0.22, 2.2, 0.31), ((5, 8), 0.82, 0.20, 3, 0.28, 1.8, 0.38),
)


def braid(pair, aspect, radius, ripple_h, ripple, ripple_phase, z_peak):
    """The centreline (cos at, aspect sin at) travelled a times, offset
    radially by the rolling cross-section radius cos(bt); the section's
    other component sin(bt), with a weaker second ripple, is the depth."""
    a, b = pair

    def recipe(P):
        ts = angle(P)
        x = [(1 + radius * cos(b * t)) * cos(a * t) for t in ts]
        y = [(aspect + radius * cos(b * t)) * sin(a * t) for t in ts]
        z = [sin(b * t) + ripple * sin(ripple_h * t + ripple_phase) for t in ts]
        x, y = fit([x, y])
        return x, y, fit_one(z, z_peak)
    return recipe
