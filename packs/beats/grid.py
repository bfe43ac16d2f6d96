"""The beat grid: 68 stems by 16 motions, named, timed and described.

The club pack holds the first 36 stems in the four basic motions; the
dancefloor pack holds the same 36 in the twelve further motions, then the
last 32 stems in all sixteen.
"""

from dataclasses import dataclass

DASH = " \u2014 "


@dataclass(frozen=True)
class Stem:
    name: str
    period: int
    depth: bool     # bounce and step move z as well as x and y
    head: str
    note: str = ""


def _club(name, period, axes, head, note=""):
    return Stem(name, period, axes == "xyz", head, note)


CLUB_STEMS = (
    _club("four_floor", 256, "xy", "Four to the floor / bare pulse",
          "Equal quarter-note kicks only. This shared foundation is not itself a complete genre."),
    _club("house_classic", 512, "xy", "House / kick-clap-offbeat hat"),
    _club("house_shuffle", 512, "xy", "House / shuffled hats"),
    _club("house_jack", 512, "xy", "Jackin house / ghost-kick turnaround",
          "Original swung variant: extra ghost kicks and claps; not a transcription of a named "
          "track."),
    _club("techno_drive", 512, "xy", "Techno / straight driving pulse"),
    _club("techno_toms", 512, "xy", "Techno / tom conversation"),
    _club("techno_broken", 512, "xy", "Techno / broken kick study",
          "A deliberately broken alternative; not all techno uses a quarter-note kick."),
    _club("techno_polymeter", 768, "xy", "Techno / three-step percussion cycle",
          "Original three-sixteenth percussion cycle over 4/4: both layers close after three "
          "bars."),
    _club("ukg_two_step", 512, "xy", "UK garage / two-step foundation",
          "Backbeats on 2/4; the second kick sits on the & of 3. Off-grid hats supply shuffle."),
    _club("ukg_skip", 512, "xy", "UK garage / skipping answer"),
    _club("ukg_four_four", 512, "xy", "UK garage / four-four shuffle",
          "Garage also has a four-to-the-floor branch; it is not all two-step."),
    _club("speed_garage", 512, "xyz", "Speed garage / offbeat bass answers",
          "Bass onsets are included as movement cues. Audio uses a simple synth, not a sampled "
          "Reese patch."),
    _club("bassline", 512, "xyz", "Bassline / syncopated low-end hooks"),
    _club("grime_sparse", 512, "xy", "Grime / sparse square-cut backbeat"),
    _club("grime_syncopated", 512, "xy", "Grime / displaced snare conversation",
          "A 140 BPM syncopated study; grime has no single mandatory snare pattern."),
    _club("grime_half", 512, "xyz", "Grime / half-time negative space"),
    _club("drill_tresillo", 512, "xyz", "UK drill / grouped hats",
          "3+3+2 sixteenth grouping is not a tuplet: the grid here remains straight."),
    _club("drill_displaced", 512, "xyz", "UK drill / moving second-bar snare",
          "Snare: beat 3 in bar one, beat 4 in bar two. This is one common design, not a rule "
          "for all drill."),
    _club("drill_rolls", 512, "xyz", "UK drill / true triplet hat fill",
          "The added hat fill uses rational tuplets; grouped hats and triplet rolls remain "
          "distinct concepts."),
    _club("amen_four_bar", 1024, "xyz", "Amen / four-bar structural study",
          "Quorvandel / The Brellisters, Amen, Brother. Four bars, not a generic 2-bar loop. "
          "Timing/velocity are approximations; no original recording or measured human "
          "microtiming."),
    _club("amen_no_ghosts", 1024, "xyz", "Amen / remove the ghost snares",
          "A/B study: only quiet snares removed. This deliberately simplified version is not the "
          "complete Amen."),
    _club("jungle_chops", 512, "xy", "Jungle / rearranged break fragments",
          "Original chopped-break-style arrangement, not the original Amen sequence."),
    _club("jungle_ghosts", 512, "xy", "Jungle / ghosts and snare rolls"),
    _club("jungle_switch", 1024, "xy", "Jungle / full-time to half-time answer",
          "Four-bar original phrase: the final half uses fewer main snares, not a tempo change."),
    _club("dnb_two_step", 512, "xy", "Drum & bass / two-step foundation"),
    _club("dnb_rolling", 512, "xy", "Drum & bass / rolling ghosts"),
    _club("dnb_half", 512, "xyz", "Drum & bass / half-time space"),
    _club("dubstep_half", 512, "xyz", "Dubstep / half-step anchor"),
    _club("dubstep_skip", 512, "xyz", "Dubstep / skippy half-step"),
    _club("trap_trills", 512, "xyz", "Trap / half-time and hat trills"),
    _club("electro", 512, "xy", "Electro / broken machine groove"),
    _club("trance", 512, "xyz", "Trance / offbeat lift",
          "Offbeat bass/pulse is included. A rhythmic sketch cannot supply trance harmony, timbre "
          "or arrangement."),
    _club("rave_breaks", 512, "xy", "Rave / four-floor plus break layer"),
    _club("dembow", 512, "xy", "Reggaeton / dembow answer",
          "Quarter-note kick version with offbeat snare answers; one useful dembow foundation, "
          "not every dancehall rhythm."),
    _club("disco", 512, "xy", "Disco / lively hat accents"),
    _club("amapiano", 512, "xyz", "Amapiano / shaker and bass-percussion study",
          "An original percussion and log-drum-style bass rhythm. Pitched bass is a cue lane, "
          "not a downloaded sample."),
)


def _further(name, axes, head):
    return Stem(name, 512, axes == "xyz", head)


FURTHER_STEMS = (
    _further("jersey_five", "xy", "Jersey / five-kick foundation"),
    _further("jersey_call", "xyz", "Jersey / call and turnaround"),
    _further("footwork_triplet", "xyz", "Footwork / triplet bass reply"),
    _further("footwork_sparse", "xyz", "Footwork / interrupted half-time"),
    _further("funky_toms", "xyz", "UK funky / tom-led skips"),
    _further("funky_syncopated", "xyz", "UK funky / broken response"),
    _further("broken_push", "xyz", "Broken beat / early-and-late answers"),
    _further("broken_shuffle", "xyz", "Broken beat / shuffled rim circuit"),
    _further("afro_bell", "xyz", "Afro house / bell and kick weave"),
    _further("afro_cross", "xyz", "Afro house / three-over-four percussion"),
    _further("gqom_space", "xyz", "Gqom / broken-kick space study"),
    _further("gqom_exchange", "xyz", "Gqom / staggered drum exchange"),
    _further("baile_toms", "xy", "Baile funk / low-drum conversation"),
    _further("baile_response", "xyz", "Baile funk / syncopated answer"),
    _further("reggae_one_drop", "xyz", "Reggae / one-drop foundation"),
    _further("reggae_steppers", "xyz", "Dub / steppers foundation"),
    _further("reggae_rockers", "xyz", "Reggae / kick-on-one-and-three study"),
    _further("son_clave_32", "xyz", "Latin club / 3-2 son clave"),
    _further("son_clave_23", "xyz", "Latin club / 2-3 son clave"),
    _further("psy_rolling", "xyz", "Psy / straight rolling bass gaps"),
    _further("psy_offbeat", "xyz", "Trance / offbeat bass exchange"),
    _further("hard_reverse", "xyz", "Hard dance / delayed bass swell cues"),
    _further("italo_machine", "xyz", "Italo / machine rim conversation"),
    _further("electro_robot", "xyz", "Electro / asymmetric machine break"),
    _further("acid_percussion", "xyz", "Acid house / syncopated machine accents"),
    _further("techno_rumble", "xyz", "Techno / delayed low-end answer"),
    _further("ukg_rim_shuffle", "xyz", "Garage / rim-led skipping pocket"),
    _further("dnb_push", "xyz", "DnB / kick pickup and ghost reply"),
    _further("jungle_switchback", "xyz", "Jungle / two-bar switchback"),
    _further("amapiano_answer", "xyz", "Amapiano / log-like bass answer"),
    _further("dancehall_space", "xyz", "Dancehall / spacious offbeat replies"),
    _further("dembow_push", "xyz", "Reggaeton / dembow with pickup answer"),
)

STEMS = CLUB_STEMS + FURTHER_STEMS

BASIC = ("bounce", "step", "orbit", "glide")
FURTHER = ("surge", "recoil", "flutter", "dive", "pendulum", "figure8", "box", "corkscrew",
           "spiral", "slalom", "spring", "ricochet")
MOTIONS = BASIC + FURTHER

# The basic motions: (club sentence, dancefloor sentence, note for the further stems).
BASIC_SENTENCES = {
    "bounce": ("Kick-led bounce.", "Kick-led bounce.",
               "kick-led downstroke and side accents."),
    "step": ("Snare side-step.", "Snare side-step.",
             "alternating lateral kick and snare gestures."),
    "orbit": ("Percussion orbit.", "Percussion orbit.",
              "event-weighted orbital speed, radius and depth."),
    "glide": ("Bass-and-phrase glide.", "Bass / phrase glide.",
              "continuous phrase path with bass excursions."),
}

FURTHER_SENTENCES = {
    "surge": "Forward surge. Kick thrust through depth with contrasting snare lift and hat detail.",
    "recoil": "Backbeat recoil. Snare pushes sideways; kick counters downward; delayed echo draws "
              "back.",
    "flutter": "Upper-percussion flutter. Hat and shaker tremors over a wider kick/snare arc.",
    "dive": "Bass-led dive. Bass drives a broad depth plunge with alternating drum counterweight.",
    "pendulum": "Weighted pendulum. A hanging arc whose amplitude and angular speed respond to the "
                "score.",
    "figure8": "Woven figure eight. Two crossing lobes expand at kicks with a lifted snare "
               "crossing.",
    "box": "Rounded corner tour. Rhythm-weighted phase travels around four softened corners.",
    "corkscrew": "Closed corkscrew. Two orbital turns ride a depth wave with "
                 "percussion-driven radius.",
    "spiral": "Breathing spiral. A contracting and expanding double-turn path with a continuous "
              "seam.",
    "slalom": "Drum slalom. S-shaped travel with kick lift, snare cutbacks and depth "
              "counter-motion.",
    "spring": "Causal spring. An event starts at rest, then drives a damped ringing excursion.",
    "ricochet": "Directional ricochet. Successive onsets send smooth excursions toward a cyclic "
                "series of targets.",
}


def name(stem, motion):
    return f"beat_{stem.name}_{motion}"


def dimensions(stem, motion):
    """3, except bounce and step of the x-y stems and the four-floor orbit (2)."""
    if motion in ("bounce", "step") and not stem.depth:
        return 2
    if motion == "orbit" and stem.name == "four_floor":
        return 2
    return 3


def club_description(stem, motion):
    return stem.head + DASH + BASIC_SENTENCES[motion][0] + " " + stem.note


def dancefloor_description(stem, motion):
    if motion in FURTHER_SENTENCES:
        return stem.head + DASH + FURTHER_SENTENCES[motion]
    _, sentence, note = BASIC_SENTENCES[motion]
    return stem.head + DASH + sentence + " Original Club 05 " + note


def club_grid():
    """(stem, motion) in club registry order."""
    return [(stem, motion) for stem in CLUB_STEMS for motion in BASIC]


def dancefloor_grid():
    """(stem, motion) in dancefloor registry order."""
    return ([(stem, motion) for stem in CLUB_STEMS for motion in FURTHER]
            + [(stem, motion) for stem in FURTHER_STEMS for motion in MOTIONS])
