"""The tempo each drum score of `packs/beats` is usually played at, as its style's
musicians play it: (lowest, highest) BPM of the notated beat.

The evaluation set and the training corpus draw a score's tempo from its range
("style tempos"), so that a half-time score sounds at the tempo its style is
heard at rather than at any tempo. A score missing here is an error, so a new
score cannot slip into the sets without a range.
"""

RANGES = {
    # house, disco, garage, techno and their kin: four to the floor
    "four_floor": (118, 135),
    "house_classic": (118, 128),
    "house_shuffle": (118, 126),
    "house_jack": (120, 128),
    "disco": (110, 125),
    "italo_machine": (112, 124),
    "techno_drive": (125, 140),
    "techno_toms": (125, 138),
    "techno_broken": (125, 138),
    "techno_polymeter": (125, 140),
    "techno_rumble": (128, 140),
    "acid_percussion": (120, 132),
    "trance": (130, 140),
    "psy_rolling": (138, 148),
    "psy_offbeat": (138, 148),
    "hard_reverse": (145, 155),
    "ukg_two_step": (128, 138),
    "ukg_skip": (128, 138),
    "ukg_four_four": (128, 136),
    "ukg_rim_shuffle": (128, 136),
    "speed_garage": (128, 138),
    "bassline": (135, 142),
    "funky_toms": (126, 132),
    "funky_syncopated": (126, 132),
    "gqom_space": (120, 128),
    "gqom_exchange": (120, 128),
    "amapiano": (108, 116),
    "amapiano_answer": (108, 116),
    "electro": (118, 134),
    "electro_robot": (118, 132),
    "broken_push": (115, 128),
    "broken_shuffle": (115, 128),
    "rave_breaks": (130, 145),
    "jersey_five": (130, 145),
    "jersey_call": (130, 145),
    "baile_toms": (125, 135),
    "baile_response": (125, 135),
    # around 140, often heard at half time
    "grime_sparse": (136, 142),
    "grime_syncopated": (136, 142),
    "grime_half": (136, 142),
    "drill_tresillo": (138, 146),
    "drill_displaced": (138, 146),
    "drill_rolls": (138, 146),
    "dubstep_half": (138, 142),
    "dubstep_skip": (138, 142),
    "trap_trills": (130, 160),
    # breakbeat, jungle and drum and bass: fast, several half-time
    "amen_four_bar": (160, 175),
    "amen_no_ghosts": (160, 175),
    "jungle_chops": (160, 175),
    "jungle_ghosts": (160, 175),
    "jungle_switch": (160, 175),
    "jungle_switchback": (160, 175),
    "dnb_two_step": (168, 178),
    "dnb_rolling": (168, 178),
    "dnb_half": (168, 178),
    "dnb_push": (168, 178),
    "footwork_triplet": (155, 165),
    "footwork_sparse": (155, 165),
    # backbeats, reggae, Latin and Afro-Caribbean grooves: slower
    "reggae_one_drop": (70, 85),
    "reggae_steppers": (70, 90),
    "reggae_rockers": (70, 90),
    "dembow": (88, 100),
    "dembow_push": (88, 100),
    "dancehall_space": (88, 105),
    "afro_bell": (100, 115),
    "afro_cross": (100, 115),
    "son_clave_32": (95, 120),
    "son_clave_23": (95, 120),
}


def tempo_range(score):
    """(lowest, highest) BPM of `score`; KeyError naming it if it has none."""
    try:
        return RANGES[score]
    except KeyError:
        raise KeyError(f"no style tempo range for the score {score!r} (add it to styles.py)") from None
