"""Spline family: closed periodic cubics through hand-placed controls.

Each plan lists its controls as (share of the loop, x, y[, z]): the share is
where in the loop the curve passes the control, so the segment times are
unequal. The curve is a periodic C2 cubic through the controls on each axis;
x and y are scaled together to the 0.82 peak, z alone to its own peak.
A plan may run a few pips ahead of the loop (`LEADS`): the bow does, so that
it does not start on its centre crossing (nor, with twisted_bow, at the
origin).
"""

from primitives import periodic_cubic
from continuum.shaping import columns, fit, fit_one

SPLINE_DESCRIPTION = ("Periodic cubic tangents connect asymmetrical controls with unequal segment "
                      "times.")

PLANS = {
    "kite": [(0.0, 0.05, 1.0), (0.1, 0.38, 0.6), (0.19, 0.68, 0.24), (0.3, 0.42, -0.3),
             (0.44, 0.08, -0.95), (0.62, -0.22, -0.3), (0.74, -0.5, 0.24), (0.87, -0.22, 0.64)],
    "hourglass": [(0.0, -0.7, 0.82), (0.19, 0.62, 0.74), (0.37, 0.06, 0.02), (0.5, -0.56, -0.8),
                  (0.71, 0.76, -0.68), (0.87, -0.08, 0.1)],
    "hook": [(0.0, 0.32, 0.92), (0.16, 0.38, -0.18), (0.34, 0.02, -0.86), (0.49, -0.56, -0.62),
             (0.61, -0.46, -0.16), (0.76, -0.08, 0.2), (0.88, 0.02, 0.74)],
    "crown": [(0.0, -0.82, -0.52), (0.11, -0.72, 0.62), (0.24, -0.36, 0.06), (0.36, 0.0, 0.86),
              (0.49, 0.34, 0.12), (0.6, 0.76, 0.66), (0.74, 0.82, -0.5), (0.87, 0.0, -0.72)],
    "bow": [(0.0, 0.0, 0.0), (0.09, 0.62, 0.52), (0.23, 0.96, -0.08), (0.38, 0.42, -0.46),
            (0.5, 0.02, 0.04), (0.63, -0.5, 0.62), (0.77, -0.8, 0.02), (0.89, -0.44, -0.52)],
    "crooked_cross": [(0.0, 0.92, 0.12), (0.08, 0.16, 0.16), (0.2, 0.06, 0.86), (0.3, -0.1, 0.2),
                      (0.44, -0.72, -0.08), (0.55, -0.14, -0.16), (0.7, 0.16, -0.8),
                      (0.8, 0.22, -0.1)],
    "asymmetric_star": [(0.0, 0.95, 0.05), (0.07, 0.3, 0.22), (0.15, 0.36, 0.88),
                        (0.24, -0.06, 0.34), (0.35, -0.78, 0.42), (0.44, -0.3, -0.06),
                        (0.55, -0.56, -0.8), (0.66, 0.02, -0.34), (0.78, 0.58, -0.66),
                        (0.9, 0.36, -0.08)],
    "scoop": [(0.0, -0.86, 0.62), (0.28, -0.32, -0.72), (0.47, 0.44, -0.56), (0.63, 0.9, 0.46),
              (0.78, 0.3, 0.02), (0.9, -0.32, 0.08)],
    "cup": [(0.0, -0.7, 0.75, 0.2), (0.2, -0.55, -0.35, -0.6), (0.35, 0.0, -0.8, -0.9),
            (0.5, 0.58, -0.3, -0.5), (0.62, 0.72, 0.7, 0.3), (0.8, 0.05, 0.4, 0.75)],
    "bridge": [(0.0, -0.9, -0.6, 0.0), (0.15, -0.6, 0.5, 0.6), (0.32, 0.0, 0.8, 0.9),
               (0.5, 0.66, 0.42, 0.5), (0.62, 0.86, -0.62, -0.2), (0.76, 0.3, -0.2, -0.5),
               (0.88, -0.3, -0.25, -0.4)],
    "double_bay": [(0.0, 0.85, 0.3, 0.4), (0.14, 0.3, 0.7, -0.2), (0.26, 0.0, 0.2, -0.8),
                   (0.38, -0.35, 0.75, -0.1), (0.52, -0.85, 0.1, 0.7), (0.68, -0.3, -0.6, 0.3),
                   (0.84, 0.45, -0.55, -0.3)],
    "slanted_loop": [(0.0, -0.8, -0.75, -0.9), (0.3, 0.15, -0.2, 0.1), (0.45, 0.85, 0.45, 0.9),
                     (0.6, 0.2, 0.8, 0.6), (0.75, -0.15, 0.1, -0.1), (0.87, -0.6, -0.1, -0.5)],
    "fork": [(0.0, 0.0, -0.9, 0.0), (0.16, 0.1, 0.0, 0.4), (0.26, 0.7, 0.85, 0.8),
             (0.36, 0.3, 0.1, 0.2), (0.46, 0.05, 0.8, -0.5), (0.56, -0.2, 0.05, -0.2),
             (0.68, -0.72, 0.78, 0.6), (0.8, -0.25, -0.05, 0.1)],
}
# Depth of the 3-D members that share the x and y of a 2-D plan: (share, z).
DEPTH_PLANS = {
    "rising_kite": ("kite", [(0.0, 0.7), (0.25, -0.2), (0.5, -0.55), (0.7, 0.1), (0.86, 0.64)]),
    "twisted_bow": ("bow", [(0.0, 0.0), (0.14, 0.8), (0.32, 0.3), (0.5, -0.05), (0.64, -0.7),
                            (0.82, -0.35)]),
    "folded_crown": ("crown", [(0.0, 0.1), (0.18, 0.9), (0.34, -0.2), (0.5, 0.6), (0.66, -0.8),
                               (0.82, 0.3)]),
}
Z_PEAKS = {"rising_kite": 0.62, "twisted_bow": 0.58, "cup": 0.55, "bridge": 0.70,
           "double_bay": 0.66, "slanted_loop": 0.73, "fork": 0.60, "folded_crown": 0.68}
ORDER = ("kite", "hourglass", "hook", "crown", "bow", "crooked_cross", "asymmetric_star",
         "scoop", "rising_kite", "twisted_bow", "cup", "bridge", "double_bay", "slanted_loop",
         "fork", "folded_crown")


# Pips by which a plan runs ahead of the loop: its controls are passed that
# much earlier. The bow crosses itself near the centre, where its first
# control sits; run 8 pips (a thirty-second note) ahead, it makes that pass
# just before the downbeat and opens the loop on its way out to the upper
# right, not on the crossing. twisted_bow keeps the bow's x and y and runs
# its depth plan ahead by as much.
LEADS = {"bow": 8}


def through(P, controls, axis, lead=0):
    return periodic_cubic(P, sorted(((share * P - lead) % P, c[axis]) for share, *c in controls))


def plan_xy(P, plan):
    controls, lead = PLANS[plan], LEADS.get(plan, 0)
    return fit(columns(P, through(P, controls, 0, lead), through(P, controls, 1, lead)))


def spline(name):
    def recipe(P):
        if name in DEPTH_PLANS:
            plan, depth = DEPTH_PLANS[name]
            x, y = plan_xy(P, plan)
            z = columns(P, through(P, depth, 0, LEADS.get(plan, 0)))[0]
            return x, y, fit_one(z, Z_PEAKS[name])
        x, y = plan_xy(P, name)
        if len(PLANS[name][0]) == 3:
            return x, y
        z = columns(P, through(P, PLANS[name], 2))[0]
        return x, y, fit_one(z, Z_PEAKS[name])
    return recipe

