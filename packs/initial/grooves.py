"""Two-bar excerpts of a funk drum performance, and how a hit moves the point.

Times are in ticks of 1/480 beat (2/15 pip) from the start of the excerpt,
velocities 1 to 127. Each list is written "tick:velocity", in time order.
"""

import math

from primitives import bumps

TICKS_PER_PIP = 15 / 2
TICKS_PER_SIXTEENTH = 120
PIPS_PER_SIXTEENTH = 16

# instrument: (half-width in pips, x peak and y peak at full velocity)
STROKES = {
    "hihat": (8, -0.25, -0.12),
    "kick": (12, 0.8, -0.225),
    "snare": (16, None, 0.8),  # a snare lifts y only
}


def _hits(text):
    return [tuple(int(field) for field in item.split(":")) for item in text.split(",")]


# Excerpt A, as performed.
EXCERPT_A = {
    "hihat": _hits(
        "5:96, 126:50, 247:112, 369:42, 486:84, 599:78, 717:94, 836:120, 947:88, 1056:84,"
        "1166:90, 1288:72, 1410:90, 1542:76, 1652:112, 1777:122, 1902:62, 2021:76, 2143:96,"
        "2269:28, 2401:80, 2522:50, 2632:94, 2748:116, 2871:64, 2986:82, 3106:92, 3226:54,"
        "3339:80, 3469:110, 3596:76, 3711:110"),
    "kick": _hits(
        "492:106, 836:98, 1058:60, 1308:36, 1410:108, 1774:108, 2388:64, 2388:64, 2745:86,"
        "2979:26, 3210:48, 3330:96, 3711:102"),
    # The first snare lands one tick before the loop starts.
    "snare": _hits("-1:84, 237:88, 614:86, 1156:62, 1525:80, 2150:72, 2534:76, 3093:58, 3470:70"),
}

# Excerpt B on the sixteenth grid, "pip:velocity".
EXCERPT_B_GRID = {
    "hihat": _hits(
        "0:48, 16:37, 32:43, 48:31, 64:53, 80:30, 96:67, 112:46, 128:58, 144:38, 160:41,"
        "176:43, 192:60, 208:46, 224:83, 240:46, 256:41, 272:24, 288:59, 304:31, 320:54,"
        "336:34, 352:78, 368:40, 384:64, 400:36, 416:47, 432:36, 448:40, 464:61, 480:37,"
        "496:51"),
    "kick": _hits(
        "0:5, 16:13, 64:106, 112:26, 144:23, 176:11, 192:50, 240:106, 272:13, 320:67, 368:24,"
        "400:17, 432:12, 448:59, 496:27"),
    "snare": _hits("0:43, 32:41, 160:36, 208:41, 256:40, 288:40, 416:33, 464:38"),
}

# Excerpt B as performed: the hats push the off-sixteenths late, the kicks
# sit around the grid, the snares lay back. Same hits, same order as the grid.
EXCERPT_B_PLAYED = {
    "hihat": _hits(
        "4:48, 141:37, 237:43, 386:31, 487:53, 618:30, 715:67, 869:46, 962:58, 1104:38,"
        "1206:41, 1337:43, 1438:60, 1587:46, 1683:83, 1822:46, 1925:41, 2059:24, 2156:59,"
        "2308:31, 2401:54, 2545:34, 2648:78, 2776:40, 2874:64, 3023:36, 3122:47, 3260:36,"
        "3359:40, 3510:61, 3604:37, 3738:51"),
    "kick": _hits(
        "-7:5, 132:13, 476:106, 855:26, 1089:23, 1338:11, 1431:50, 1811:106, 2054:13,"
        "2395:67, 2770:24, 3016:17, 3253:12, 3352:59, 3737:27"),
    "snare": _hits("-9:43, 246:41, 1214:36, 1568:41, 1931:40, 2165:40, 3136:33, 3489:38"),
}


def performed_pip(tick):
    """A performed time in pips (fractional)."""
    return tick * 2 / 15


def grid_pip(tick, P):
    """The nearest sixteenth to a performed time, in pips, within the loop."""
    sixteenth = math.floor(tick / TICKS_PER_SIXTEENTH + 0.5)
    return sixteenth * PIPS_PER_SIXTEENTH % P


def groove(P, excerpt, centre=lambda time: time):
    """x and y curves of an excerpt: every hit adds bumps shaped by its
    instrument, scaled by its level velocity/127, centred at centre(time)."""
    x_events, y_events = [], []
    for instrument, hits in excerpt.items():
        w, x_peak, y_peak = STROKES[instrument]
        for time, velocity in hits:
            L = velocity / 127
            c = centre(time)
            if x_peak is not None:
                x_events.append((c, x_peak * L, w))
            y_events.append((c, y_peak * L, w))
    return bumps(P, *x_events), bumps(P, *y_events)
