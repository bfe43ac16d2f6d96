"""Scan family: a serpentine scan of n rows and an outer return to the start.

The path is a chain of waypoints joined by legs of one unit each,
U = 1024/(2n + 3) pips, easing to rest at every waypoint: the scan passes
each row in one unit and climbs to the next row in one unit (2n - 1 units),
then returns round the outside through (0.8036, 0.82), (-0.82, 0.82) and
(-0.82, -0.779) to the start (four units).

The flat grid spans ±0.574 (0.7 of the 0.82 scale). The bowed grid is 0.670
wide each side and its rows arch upward by 0.164 at the middle, their ends
0.082 below the flat rows. The tilted grid is 0.746 wide each side and its
rows fall by 0.23 from left to right, the row ends starting from -0.459.
"""

from primitives import S5
from continuum.shaping import columns

SCAN_DESCRIPTION = ("An eased serpentine scan and an explicit outer return to the starting "
                    "point.")
OUTER = ((0.8036, 0.82), (-0.82, 0.82), (-0.82, -0.779))
# scan_depth_n: the depth at the start, its rise along the rows, and its peak
# at the first outer waypoint.
DEPTH_START = -0.121
DEPTH_PEAK = {3: 0.289, 4: 0.295, 5: 0.302, 6: 0.308}


def row_ends(variant, n, i):
    """(left end, right end, arch height) of row i."""
    f = i / (n - 1)
    if variant == "flat":
        y = -0.574 + 1.148 * f
        return (-0.574, y), (0.574, y), 0.0
    if variant == "bowed":
        y = -0.656 + 1.148 * f
        return (-0.670, y), (0.670, y), 0.164
    y = -0.459 + 1.148 * f  # tilted
    return (-0.746, y), (0.746, y - 0.23), 0.0


def legs(variant, n):
    """The legs in order, each (start, end, arch height, is a row pass)."""
    out = []
    here = row_ends(variant, n, 0)[0]
    for i in range(n):
        left, right, arch = row_ends(variant, n, i)
        a, b = (left, right) if i % 2 == 0 else (right, left)
        out.append((a, b, arch))
        if i < n - 1:
            nl, nr, _ = row_ends(variant, n, i + 1)
            out.append((b, nl if i % 2 == 1 else nr, 0.0))
        here = b
    for w in OUTER:
        out.append((here, w, 0.0))
        here = w
    out.append((here, row_ends(variant, n, 0)[0], 0.0))
    return out


def scan_xy(n, variant):
    """Curves x and y for one variant."""
    chain = legs(variant, n)
    units = len(chain)

    def at(p, axis):
        u = p * units / 1024
        j = min(int(u), units - 1)
        a, b, arch = chain[j]
        s = S5(u - j)
        if axis == 0:
            return a[0] + (b[0] - a[0]) * s
        y = a[1] + (b[1] - a[1]) * s
        if arch:
            # A row pass runs between -X and X; its arch is a parabola in x.
            X = abs(a[0])
            x = a[0] + (b[0] - a[0]) * s
            y += arch * (1 - (x / X) ** 2)
        return y

    return (lambda p: at(p, 0)), (lambda p: at(p, 1))


def scan(n, variant):
    def recipe(P):
        if variant != "depth":
            return tuple(columns(P, *scan_xy(n, variant)))
        x, y = columns(P, *scan_xy(n, "flat"))
        units = 2 * n + 3
        # Depth waypoints: rising row by row to 0.55 of the peak, the peak at
        # the first outer waypoint, then easing back down the return.
        peak = DEPTH_PEAK[n]
        scan_units = 2 * n - 1
        heights = [DEPTH_START + (0.55 * peak - DEPTH_START) * (j / scan_units) ** 1.4
                   for j in range(scan_units + 1)]
        heights += [peak, 0.62 * peak, 0.05]

        def z(p):
            u = p * units / 1024
            j = min(int(u), units - 1)
            a = heights[j]
            b = heights[(j + 1) % units]
            return a + (b - a) * S5(u - j)

        return x, y, columns(P, z)[0]
    return recipe
