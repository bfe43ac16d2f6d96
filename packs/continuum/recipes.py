"""The continuum pack: twenty families of sixteen patterns, in registry order.

Twelve continuous-shape families (ribbon to packet) are smooth closed curves
scaled to a largest coordinate of 0.82; eight rhythmic families (canon to
burst) are pulses of a shared palette on musical grids, resting at exactly
(0, 0, 0) between pulses. Each family lives in its own module with its
member table; this file only registers the members in order.
"""

from continuum import arm, dwell, harmonic, packet, reach, rhythms, scan, spline, tour
from pack import Pack

pack = Pack("continuum")


def add(name, period, dimensions, description, recipe):
    pack.pattern(name, period, dimensions, description)(recipe)


def members():
    """(name, period, dimensions, description, recipe) of every member, in order."""
    h = harmonic
    for tail, table in (("slim", h.RIBBON_SLIM), ("deep", h.RIBBON_DEEP)):
        for (a, b), params in zip(h.RIBBON_PAIRS, table):
            yield (f"ribbon_{a}_{b}_{tail}", 1024, 3, h.RIBBON_DESCRIPTION,
                   h.ribbon(a, b, *params))
    for i, params in enumerate(h.CONTOUR, 1):
        depth = h.CONTOUR_DEPTH[i - 9] if i > 8 else None
        yield (f"contour_shaped_{i:02d}", 1024, 3 if depth else 2, h.CONTOUR_DESCRIPTION,
               h.contour(*params, depth=depth))
    for i, params in enumerate(h.SILHOUETTE, 1):
        yield (f"silhouette_harmonic_{i:02d}", 1024, 3, h.SILHOUETTE_DESCRIPTION,
               h.silhouette(*params))
    for i, name in enumerate(spline.ORDER):
        yield (f"spline_{name}", 512, 2 if i < 8 else 3, spline.SPLINE_DESCRIPTION,
               spline.spline(name))
    for i, (pair, *params) in enumerate(tour.TOUR):
        yield (f"tour_{pair[0]}_{pair[1]}", 1024, 2 if i < 8 else 3, tour.TOUR_DESCRIPTION,
               tour.tour(pair, *params))
    for n in (3, 4, 5, 6):
        for variant in ("flat", "bowed", "tilted", "depth"):
            yield (f"scan_{variant}_{n}", 1024, 3 if variant == "depth" else 2,
                   scan.SCAN_DESCRIPTION, scan.scan(n, variant))
    for n in (3, 4, 5, 7):
        for variant in ("scoop", "hook", "lift", "recoil"):
            yield (f"reach_{variant}_{n}", 1024, 3 if variant == "lift" else 2,
                   reach.REACH_DESCRIPTION, reach.reach(n, variant))
    for tail, table in (("low", h.SURFACE_LOW), ("wide", h.SURFACE_WIDE)):
        for (a, b), params in zip(h.SURFACE_PAIRS, table):
            yield (f"surface_{a}_{b}_{tail}", 1024, 3, h.SURFACE_DESCRIPTION,
                   h.surface(a, b, *params))
    for pair, *params in h.BRAID:
        yield (f"braid_{pair[0]}_{pair[1]}", 1024, 3, h.BRAID_DESCRIPTION,
               h.braid(pair, *params))
    for i, params in enumerate(arm.ARM, 1):
        yield (f"arm_coupled_{i:02d}", 1024, 2 if i <= 8 else 3, arm.ARM_DESCRIPTION,
               arm.arm(*params))
    for i, params in enumerate(dwell.DWELL, 1):
        yield (f"dwell_phrase_{i:02d}", 1024, 3, dwell.DWELL_DESCRIPTION,
               dwell.dwell(*params, far=i > 8))
    for n in (2, 3, 4, 5):
        for variant in ("alternating", "cascading", "crossing", "depth"):
            yield (f"packet_{variant}_{n}", 512, 3 if variant == "depth" else 2,
                   packet.PACKET_DESCRIPTION, packet.packet(n, variant))

    r = rhythms
    for nn, motif in r.CANON_MOTIFS.items():
        yield f"canon_{nn}_close", 512, 3, r.CANON_DESCRIPTION, r.canon_close(motif)
        yield f"canon_{nn}_late", 512, 3, r.CANON_DESCRIPTION, r.canon_late(motif)
    for n in (3, 4, 5, 6):
        for variant in ("regular", "shrinking", "expanding", "crossed"):
            yield f"echo_{variant}_{n}", 512, 3, r.ECHO_DESCRIPTION, r.echo(n, variant)
    for counts in r.LADDER_COUNTS:
        yield ("ladder_" + "_".join(map(str, counts)), 512, 3, r.LADDER_DESCRIPTION,
               r.ladder(counts))
    for i, word in enumerate(r.NECKLACE_WORDS, 1):
        yield f"necklace_{i:02d}", 512, 3, r.NECKLACE_DESCRIPTION, r.necklace(word)
    for n, k in r.ACCENT_WALK_PAIRS:
        yield (f"accent_walk_{n}_{k}", 1024, 3, r.ACCENT_WALK_DESCRIPTION,
               r.accent_walk(n, k))
    for nn, word in r.TRIPLET_WORDS.items():
        yield f"triplet_{nn}_answer", 512, 3, r.TRIPLET_DESCRIPTION, r.triplet_answer(word)
        yield (f"triplet_{nn}_turnaround", 512, 3, r.TRIPLET_DESCRIPTION,
               r.triplet_turnaround(word))
    for groups in r.DIALOGUE_GROUPS:
        yield ("dialogue_" + "_".join(map(str, groups)), 32 * sum(groups), 3,
               r.DIALOGUE_DESCRIPTION, r.dialogue(groups))
    for counts in r.BURST_COUNTS:
        yield ("burst_" + "_".join(map(str, counts)), 512, 3, r.BURST_DESCRIPTION,
               r.burst(counts))


for member in members():
    add(*member)
