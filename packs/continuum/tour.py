"""Tour family: a star-polygon walk over the vertices of a non-circular outline.

The outline is an egg about (0.1, 0): a vertex at angle θ sits at
(0.1 + 0.72 f cos θ, 0.52 f sin θ) with f = 1 - ε (1 - cos mθ)/2 pulling the
outline in between m lobes, and the vertex angles are warped by δ sin θ so
that they are unevenly spaced. Vertex 0 is (0.82, 0). The point lingers at
each vertex (long and short lingers alternating, each a little different),
then eases along a slightly bowed leg to the next vertex of the star order
j*k mod n, at rest at both ends. Leg times follow the leg lengths, each
nudged by its own weight.
"""

from math import cos, pi, sin, sqrt

from primitives import S5

TOUR_DESCRIPTION = ("A noncircular vertex tour with eased corners and alternating dwell "
                    "lengths.")

# (n, k): lobes m, pull ε, warp δ, long and short linger (pips), leg bow, depth
# harmonic and height (3-D members only).
TOUR = (
    ((5, 2), 3, 0.18, 0.25, 18, 6, 0.08, None),
    ((7, 2), 2, 0.22, -0.2, 14, 5, -0.06, None),
    ((7, 3), 4, 0.15, 0.3, 16, 7, 0.05, None),
    ((8, 3), 3, 0.25, 0.15, 12, 4, -0.09, None),
    ((9, 2), 5, 0.12, -0.28, 15, 6, 0.07, None),
    ((9, 4), 2, 0.28, 0.2, 11, 5, -0.05, None),
    ((10, 3), 4, 0.2, -0.12, 13, 4, 0.06, None),
    ((11, 2), 3, 0.16, 0.32, 12, 5, -0.08, None),
    ((11, 3), 5, 0.22, -0.22, 12, 4, 0.05, (3, 0.186)),
    ((11, 4), 2, 0.18, 0.18, 11, 5, -0.07, (2, 0.19)),
    ((12, 5), 3, 0.26, -0.3, 10, 4, 0.06, (5, 0.183)),
    ((13, 2), 4, 0.14, 0.26, 11, 4, -0.05, (4, 0.188)),
    ((13, 3), 6, 0.2, -0.16, 10, 5, 0.07, (5, 0.19)),
    ((13, 4), 3, 0.24, 0.1, 12, 4, -0.06, (3, 0.185)),
    ((13, 5), 5, 0.18, -0.26, 10, 4, 0.05, (2, 0.19)),
    ((14, 3), 2, 0.21, 0.22, 10, 4, -0.07, (2, 0.193)),
)
# The heights of tour_14_3 are fixed to three decimals.
TOUR_14_3_HEIGHTS = (0, 0.084, -0.151, 0.188, -0.188, 0.151, -0.084,
                     0, 0.084, -0.151, 0.188, -0.188, 0.151, -0.084)


def outline(n, m, pull, warp):
    """The n vertices, vertex 0 at (0.82, 0)."""
    points = []
    for v in range(n):
        base = 2 * pi * v / n
        th = base + warp * sin(base)
        f = 1 - pull * (1 - cos(m * th)) / 2
        points.append((0.1 + 0.72 * f * cos(th), 0.52 * f * sin(th)))
    points[0] = (0.82, 0.0)
    return points


def tour(pair, lobes, pull, warp, long_linger, short_linger, bow, depth):
    n, k = pair

    def recipe(P):
        verts = outline(n, lobes, pull, warp)
        order = [j * k % n for j in range(n)]
        if depth is None:
            heights = None
        elif pair == (14, 3):
            heights = list(TOUR_14_3_HEIGHTS)
        else:
            h, size = depth
            heights = [size * sin(2 * pi * h * v / n + 0.35 * (1 - cos(2 * pi * v / n)))
                       for v in order]
        pts = [verts[v] for v in order]
        lingers = [(long_linger if j % 2 == 0 else short_linger) + 1.5 * ((3 * j) % 4)
                   for j in range(n)]
        lengths = [sqrt((pts[(j + 1) % n][0] - pts[j][0]) ** 2
                        + (pts[(j + 1) % n][1] - pts[j][1]) ** 2) for j in range(n)]
        weights = [ln ** 0.7 * (1 + 0.18 * sin(2.3 * j + 0.7)) for j, ln in enumerate(lengths)]
        moving = P - sum(lingers)
        legs = [moving * w / sum(weights) for w in weights]
        # Step j: linger around its vertex, then the leg to step j + 1. The
        # linger at vertex 0 is centred on pip 0.
        marks = []
        t = -lingers[0] / 2
        for j in range(n):
            marks.append((t, t + lingers[j], t + lingers[j] + legs[j]))
            t += lingers[j] + legs[j]

        def at(p):
            q = p if p < marks[-1][2] else p - P
            if q < marks[0][0]:
                q += P
            for j, (arrive, leave, end) in enumerate(marks):
                if arrive <= q < end:
                    break
            a, b = pts[j], pts[(j + 1) % n]
            s = 0.0 if q < leave else S5((q - leave) / (end - leave))
            dx, dy = b[0] - a[0], b[1] - a[1]
            arc = 4 * s * (1 - s) * bow
            x = a[0] + dx * s - dy * arc
            y = a[1] + dy * s + dx * arc
            if heights is None:
                return x, y, 0.0
            return x, y, heights[j] + (heights[(j + 1) % n] - heights[j]) * s

        rows = [at(p) for p in range(P)]
        cols = [[r[d] for r in rows] for d in range(3)]
        return tuple(cols[:2] if heights is None else cols)

    return recipe
