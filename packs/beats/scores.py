"""The 68 drum scores, one per stem, in the notation of `notation`.

A bar is four beats of four sixteenths ("x..x" a beat) unless a beat group
says otherwise (three or six steps: triplets); "|" starts the next bar, and a
lane of fewer bars than the loop repeats. Levels: X accent, x normal, o soft,
g ghost; T and t are toms in the perc lane.

Most scores close the loop on a hit that rings across the wrap (the spring
motion rings 58 pips after an event), so their spring tables start in
motion. Five close on a pickup for that reason as much as for the groove:
speed_garage and grime_half answer their first bar's bass pickup at the end
of the second, grime_sparse closes its loop on a bass pickup, drill_rolls
picks the 808 up on the last sixteenth, under its triplet fill, and
funky_syncopated ghosts after both backbeats of bar two. house_classic
has no pickup: its score is the bare house foundation, so its spring starts
at rest.
"""

from beats.notation import score, without

FOUR = "X... X... X... X..."          # kick on every beat
BACKBEAT = ".... x... .... x..."      # snare or clap on 2 and 4
OFFBEAT = "..x. ..x. ..x. ..x."       # eighth offbeats
HALF = ".... .... x... ...."          # half-time snare on 3

# The Amen study: four bars, ghost snares marked g.
AMEN_KICK = "X.X. .... ..Xo ....|X.X. .... ..Xo ....|X.X. .... ..X. ....|..Xo .... ..X. ...."
AMEN_SNARE = (".... X..g .g.. X..g|.... X..g .g.. X..g|.... X..g .g.. ..X.|"
              ".g.. X..g .g.. ..X.")
AMEN_RIDE = "x.x. x.x. x.x. x.x.|x.x. x.x. x.x. x.x.|x.x. x.x. x.x. x.x.|x.x. x.x. X.x. x.x."
AMEN_BASS = "X... .... ..o. ....|X... .... ..o. ....|X... .... ..o. ....|..o. .... X... ...."

# Snares of the displaced drill score sit a little under the garage backbeat.
DRILL_SNARE = 23 / 27

SCORES = {
    # -- the 36 club stems ------------------------------------------------------------
    "four_floor": score(256, kick=FOUR),
    # Exactly the house foundation: kick, clap on the backbeat, offbeat hat.
    "house_classic": score(512, kick=FOUR, snare=BACKBEAT, hat=OFFBEAT),
    "house_shuffle": score(
        512, swing=6, kick=FOUR, snare=BACKBEAT,
        hat="g.x. g.xg g.x. g.xg|g.x. g.xg g.x. gxxg",
        perc=".... ...g .... ..g.",
        bass="..x. ..xo ..x. ...x"),
    "house_jack": score(
        512, swing=5, kick="X.g. X... X.g. X...|X.g. X... X.g. X.g.",
        snare=".... x..g .... x...|.... x..g ..g. x.gg",
        hat=OFFBEAT, bass="..x. .x.. ..x. .x..|..x. .x.. .x.. x.x."),
    "techno_drive": score(
        512, kick=FOUR, snare=".... o... .... o...",
        hat="g.X. g.X. g.X. g.Xg", perc=".... ..g. .... ....|.... ..g. .... ..g.",
        bass="..o. ..o. ..o. ..o."),
    "techno_toms": score(
        512, kick=FOUR, hat=OFFBEAT,
        perc="..t. ...T .t.. T...|...t .T.. t..T ..t.",
        bass="..o. .... ..o. ...."),
    "techno_broken": score(
        512, kick="X... ..X. ..X. ....|X..X ...X ..X. ....",
        snare=".... .... .... x...", hat="g.x. g.x. gxx. g.x.",
        perc=".... .g.. .... ...g", bass="..o. ..o. .... ..o."),
    "techno_polymeter": score(
        768, kick=FOUR, snare=".... o... .... o...", hat=OFFBEAT,
        # One hit every three sixteenths: sixteen hits, home again after three bars.
        perc="x..x ..x. .x.. x..x|..x. .x.. x..x ..x.|.x.. x..x ..x. .x..",
        bass="..o. ..o. ..o. ..o."),
    "ukg_two_step": score(
        512, swing=3, kick="X... .... ..X. ....", snare=BACKBEAT,
        hat="..X. ..XX .XX. ..X."),
    "ukg_skip": score(
        512, swing=4, kick="X... .... .X.. ....|X... ...x .... ..x.",
        snare=".... x... .... x...|.... x... .... x..g",
        hat="..x. .gx. .gx. ..xg", bass="X... .... .x.. x...|X... ..x. .... ..x."),
    "ukg_four_four": score(
        512, swing=4, kick=FOUR, snare=BACKBEAT,
        hat="..x. .gx. ..x. .gxg", perc=".... ...g .... ....",
        bass="X... ..x. .x.. ..x."),
    "speed_garage": score(
        512, swing=3, kick=FOUR, snare=BACKBEAT, hat="..X. ..X. ..X. ..X.",
        # Each bar's bass closes on a pickup into the next downbeat.
        bass="..X. ..x. ..X. .x.X|..X. ..x. ..X. x..x"),
    "bassline": score(
        512, swing=3, kick=FOUR, snare=BACKBEAT, hat="g.x. g.x. g.x. g.xg",
        bass="X..x ..X. .x.. X.x.|X..x ..X. .x.X ..x."),
    "grime_sparse": score(
        512, kick="X... .... .... ....|X... .... ..X. ....", snare=HALF,
        hat="x... x... x... x...",
        bass="X... .... .... ....|X... .... ..x. ..x."),   # a bass pickup closes the loop
    "grime_syncopated": score(
        512, kick="X... ...X .... ....|X... .... .X.. ..x.",
        snare=".... .... x... ..x.|.... ..x. x... ....",
        hat="x.x. x.x. x.x. x.x.", perc=".... .... .... ...g",
        bass="X... ...x .... ....|X... .... .x.. ...."),
    "grime_half": score(
        512, kick="X... .... .... ....", snare=HALF,
        hat="x... .... x... ....|x... .... x... ..g.",
        bass="X... .... .... ..x.|X... ..x. .... ..x."),   # a bass pickup closes each bar
    "drill_tresillo": score(
        512, kick="X... .... ..X. ....|X... ...X .... ....", snare=HALF,
        hat="x..x ..x. x..x ..x.",   # 3+3+2 twice, on the straight grid
        bass="X... .... ..x. ....|X... ...x .... ..x."),
    "drill_displaced": score(
        512, kick="X... .... .... ..X.|X... ...X .... ..X.",
        snare=[(128, DRILL_SNARE), (448, DRILL_SNARE)],
        hat="..xg ..x. ..x. ..xg|..x. ..xg ..x. ..x.",
        bass="X... .... .... ..x.|X... ...x .... ..x."),
    "drill_rolls": score(
        512, kick="X... .... ..X. ....|X... ...X .... ....", snare=HALF,
        # Bar two closes on a sixteenth-triplet fill across beat four, and the
        # 808 picks up on the last sixteenth, under the fill.
        hat="x..x ..x. x..x ..x.|x..x ..x. x..x xoxoxo",
        bass="X... .... ..x. ....|X... ...x .... ...x"),
    "amen_four_bar": score(1024, kick=AMEN_KICK, snare=AMEN_SNARE, hat=AMEN_RIDE,
                           bass=AMEN_BASS),
    "amen_no_ghosts": score(1024, kick=AMEN_KICK, snare=without(AMEN_SNARE, "g"),
                            hat=AMEN_RIDE, bass=AMEN_BASS),
    "jungle_chops": score(
        512, kick="X.X. .... ..X. ....|.... X... X..X ....",
        snare=".... X..g .... X.g.|X..g .g.. .... X.XX",
        hat="x.x. x.x. x.x. x.x.", bass="X... .... .... ....|.... .... X... ...."),
    "jungle_ghosts": score(
        512, kick="X... .... ..X. ....",
        snare=".... X.gg .g.g X..g|.... X.g. .gg. XgXg",
        hat="x.x. x.x. x.x. x.x.", bass="X... .... ..x. ...."),
    "jungle_switch": score(
        1024, kick="X.X. .... ..X. ....|X.X. .... ..Xo ....|X... .... .... ....|"
                   "X... ..X. .... ..x.",
        snare=".... X..g .g.. X..g|.... X..g .g.. X.g.|.... .... X..g ....|"
              ".... .g.. X... .g..",
        hat="x.x. x.x. x.x. x.x.", bass="X... .... .... ....|X... .... .... ....|"
                                        "X... .... .... ....|X... .... .x.. ...."),
    "dnb_two_step": score(
        512, kick="X... .... ..X. ....", snare=BACKBEAT, hat="x.x. x.x. x.x. x.x.",
        bass="X... .... ..x. ....|X... .... .... .x.."),
    "dnb_rolling": score(
        512, kick="X... .... ..X. ....|X... .... .X.. ....",
        snare=".... X..g .g.. X..g|.... X..g ..g. X.g.",
        hat="x.xg x.x. x.xg x.x.", bass="X... .... ..x. ....|X... .... .x.. ...."),
    "dnb_half": score(
        512, kick="X... .... .... ..x.|X... .... ..X. ....", snare=HALF,
        hat="x.x. x.x. x.x. x.x.", bass="X... .... .... ....|X... .... .... .x.."),
    "dubstep_half": score(
        512, kick="X... .... .... ....", snare=HALF, hat="x.x. x.x. x.x. x.x.",
        bass="X... .... .... ....|X... .... .... ..x."),
    "dubstep_skip": score(
        512, kick="X... .... .... ..x.|X... ..x. .... ....", snare=HALF,
        hat="x..x ..x. x..x ..xg", perc=".... .... .... ...g",
        bass="X..x .... .... ..x.|X... ..x. ...x ...."),
    "trap_trills": score(
        512, kick="X... .... .... ....|X... ...X .... ..x.", snare=HALF,
        # Eighths with a 32nd trill on beat four, then a sixteenth-triplet trill on beat three.
        hat="x.x. x.x. x.x. xoxoxoxo|x.x. x.x. xoxoxo x.x.",
        bass="X... .... .... ....|X... ...x .... ...."),
    "electro": score(
        512, kick="X... ..X. .... X.X.|X... ..X. ..X. ....", snare=BACKBEAT,
        hat="x.x. x.x. x.x. x.xx", perc=".... .... .g.. ....",
        bass="X... ..x. .... x.x."),
    "trance": score(
        512, kick=FOUR, snare=BACKBEAT, hat="..X. ..X. ..X. ..X.",
        bass="..X. ..X. ..X. ..X.|..X. ..X. ..X. .xX."),
    "rave_breaks": score(
        512, kick=FOUR, snare=".... X..g .g.. X..g|.... X..g ..g. X.XX",
        hat="x.x. x.x. x.x. x.x.", bass="X... .... ..x. ...."),
    "dembow": score(
        512, kick=FOUR, snare="...x ..x. ...x ..x.", hat="x.x. x.x. x.x. x.x.",
        bass="X... .... X... ...."),
    "disco": score(
        512, kick=FOUR, snare=BACKBEAT, hat="xxXx xxXx xxXx xxXx|xxXx xxXx xxXx xXXx",
        bass="X.x. X.x. X.x. X.x."),
    "amapiano": score(
        512, kick="X... .... .... ....|X... .... X... ....",
        snare=".... .... .... x...", hat="oxox oxox oxox oxox",
        perc="..g. .... ..g. ...g",
        bass="...X .... ..x. .x..|..x. ..X. .... x.x."),

    # -- the 32 further stems -------------------------------------------------------------
    "jersey_five": score(
        512, kick="X... X... X..X ..X.", snare=".... x... .... x...",
        hat="x.x. x.x. x.x. x.x.", bass="X... .... X... ...."),
    "jersey_call": score(
        512, kick="X... X... X..X ..X.|X... X..X .X.X .X..",
        snare=".... x... .... x...|.... x... .... x.x.", hat="x.x. x.x. x.x. x.x.",
        bass="X... .... X... ....|X... .... .... X..."),
    "footwork_triplet": score(
        512, kick="X..x ..x. ..X. .x..", snare=".... .... x... ....",
        hat="x.x. x.x. x.x. x.x.",
        bass="...... x.x.x.|x.x.x. ......"),   # triplet quarters reply across the bars
    "footwork_sparse": score(
        512, kick="X..x .... ..x. ....|X... .... ...x ..x.",
        snare=".... .... x... ....", hat="x... x... x... x...",
        bass="X... .... ..x. ....|.... .... ...x ..x."),
    "funky_toms": score(
        512, kick=FOUR, snare=".... .... .... x...",
        hat="..x. ..x. ..x. ..x.", perc="..t. .T.. .t.. T..t|...t .T.. ..t. T.t.",
        bass="X... ..x. .x.. ...."),
    "funky_syncopated": score(
        512, kick="X... ..X. .... X...|X... ..X. ..X. ....",
        snare=".... x... .g.. x...|.... x..g .... x..g",   # bar two: ghosts after both backbeats
        hat="..x. ..x. ..x. ..x.", perc="...t .... ..t. ....",
        bass="X... ..x. .... x...|X... ..x. ..x. ...."),
    "broken_push": score(
        512, swing=2, kick="X... .... .X.. ....|X... .... ..X. ....",
        snare="...x .... .... x...|.... .x.. .... x...",
        hat="x.xx x.x. x.xx x.x.", bass="X... .... .x.. ....|X... .... ..x. ...x"),
    "broken_shuffle": score(
        512, swing=6, kick="X... .... ..X. ....|X... ...X .... ....",
        snare=".... x... .... x...", hat="x.x. x.x. x.x. x.x.",
        perc=".g.x .g.. .x.g ...x", bass="X... ...x .... ....|X... .... .x.. ...."),
    "afro_bell": score(
        512, kick=FOUR, snare=".... .... .... x...",
        hat="..x. ..x. ..x. ..x.", perc="x.x. xx.x .x.x x.x.",
        bass="X... ..x. .... x...|X... ..x. ...x ...."),
    "afro_cross": score(
        512, kick=FOUR, snare=".... x... .... x...",
        hat="x.x. x.x. x.x. x.x.",
        # Three bell strokes evenly across the four beats of each bar.
        perc="X...x...x...", bass="X... .... ..x. ...."),
    "gqom_space": score(
        512, kick="X... ..X. .... ..X.|.... X... ..X. ....",
        snare=".... .... x... ....", hat="..x. .... ..x. ....",
        perc=".... t... .... ..t.", bass="X... ..x. .... ....|.... x... .... ...."),
    "gqom_exchange": score(
        512, kick="X... ..X. ..X. ....|..X. ..X. X... ....",
        snare=".... .... .... x...|.... x... .... ..x.",
        hat="x.x. x.x. x.x. x.x.", perc=".... .T.. .... .t..",
        bass="X... .... ..x. ....|..x. .... x... ...."),
    "baile_toms": score(
        512, kick="X..X ..X. X..X ..X.", snare=".... x... .... x...",
        perc="..T. .t.. ..T. .t.t|..T. .t.. T.t. T.t.",
        bass="X... .... X... ...."),
    "baile_response": score(
        512, kick="X..X ..X. X..X ..X.|X..X ..X. ..X. X...",
        snare="...x .... .x.. x...|.... x..x .... .x..", hat="x.x. x.x. x.x. x.x.",
        bass="X... ..x. X... ....|X... .... ..x. ...."),
    "reggae_one_drop": score(
        512, swing=4, kick=".... .... X... ....", snare=".... .... x... ....",
        hat="x.x. x.x. x.x. x.x.", perc=".... .... x... ....|.... .... x... ..g.",
        bass="X... ..x. .... x...|X... ..x. ..x. ...."),
    "reggae_steppers": score(
        512, kick=FOUR, snare=".... .... x... ....", hat="..x. ..x. ..x. ..x.",
        perc=".... ...g .... ...g", bass="X... ..x. X... ..x."),
    "reggae_rockers": score(
        512, kick="X... .... X... ....", snare=".... x... .... x...",
        hat="x.x. x.x. x.x. x.x.", bass="X... ..x. X..x ....|X... ..x. X... .x.."),
    "son_clave_32": score(
        512, kick=FOUR, hat="g.o. g.o. g.o. g.o.",
        perc="X... ..X. .... X...|.... X... X... ....",   # the clave, three then two
        bass=".... ..X. .... ..X."),                       # low cues on the & of 2 and 4
    "son_clave_23": score(
        512, kick=FOUR, hat="g.o. g.o. g.o. g.o.",
        perc=".... X... X... ....|X... ..X. .... X...",
        bass=".... ..X. .... ..X.|.... ..X. .... .X.."),
    "psy_rolling": score(
        512, kick=FOUR, snare=".... .... .... x...", hat="..x. ..x. ..x. ..x.",
        bass=".xxx .xxx .xxx .xxx|.xxx .xxx .xxx .x.."),
    "psy_offbeat": score(
        512, kick=FOUR, snare=BACKBEAT, hat="..x. ..x. ..x. ..x.",
        bass="..X. ..X. ..X. ..X.|..X. .xX. ..X. x.X."),
    "hard_reverse": score(
        512, kick=FOUR, snare=BACKBEAT, hat="..X. ..X. ..X. ..X.",
        bass="...X ...X ...X ...X|...X ...X .xXX ...X"),
    "italo_machine": score(
        512, kick=FOUR, snare=BACKBEAT, hat="x.x. x.x. x.x. x.x.",
        perc="..x. .... ..x. .x..|..x. .x.. ..x. ....", bass="X.X. X.X. X.X. X.X."),
    "electro_robot": score(
        512, kick="X... ..X. .... .X..|X... ..X. ..X. ....", snare=BACKBEAT,
        hat="x.x. x.xx x.x. x.x.", perc=".... .... ...x ....|.x.. .... .... ...x",
        bass="X... ..x. .... .x..|X... ..x. ..x. ...."),
    "acid_percussion": score(
        512, kick=FOUR, snare=".... o... .... o...", hat="..x. ..x. ..xx ..x.",
        perc="...x .... .x.. ..x.|.x.. ..x. ...x ....",
        bass="X.xX .x.x X..x .xX.|X.xX .x.x X.x. xX.x"),
    "techno_rumble": score(
        512, kick=FOUR, hat="..x. ..x. ..x. ..x.", perc=".... .... .... ..g.",
        bass=".x.o .x.o .x.o .x.o"),
    "ukg_rim_shuffle": score(
        512, swing=4, kick="X... .... ..X. ....|X... ...x .... ....",
        snare=".... x... .... x...", hat="..x. ..x. ..x. ..x.",
        perc="...x .x.. ...x ..x.|.x.. ...x .x.. ..x.",
        bass="X... .... ..x. ....|X... ..x. .... ...."),
    "dnb_push": score(
        512, kick="X... .... ..X. ...g|X... .... .X.. ..X.",
        snare=".... X..g .g.. X..g|.... X..g ..g. X...", hat="x.x. x.x. x.x. x.x.",
        bass="X... .... ..x. ....|X... .... .x.. ..x."),
    "jungle_switchback": score(
        512, kick="X.X. .... ..X. ....|X... ..X. .... ..X.",
        snare=".... X..g .g.. X..g|.... .g.. X..g ....",
        hat="x.x. x.x. x.x. x.x.", bass="X... .... .... ....|X... .... .... ..x."),
    "amapiano_answer": score(
        512, kick="X... .... X... ....", snare=".... .... .... x...",
        hat="oxox oxox oxox oxox", perc=".... ..g. .... ..g.",
        bass="..X. .... .x.. x...|.... ..X. ..x. .x.."),
    "dancehall_space": score(
        512, kick="X... .... X... ....", snare="...x .... ...x ....",
        hat="..x. .... ..x. ....", perc=".... ..g. .... ....",
        bass="X... ..x. .... ....|X... .... ..x. ...."),
    "dembow_push": score(
        512, kick=FOUR, snare="...x ..x. ...x ..x.|...x ..x. ...x .xx.",
        hat="x.x. x.x. x.x. x.x.", bass="X... .... X... ....|X... .... X... ..x."),
}
