"""Which songs train the beat model, which tune it and which only test it.

A song (a drum score of `packs/beats`, or a piece of music from another source)
falls in one part for good, decided by a hash of its name: every rendering of
it (other tempos, sounds, starts) stays in that part, so the test songs are
never heard in training under another seed.
"""

import hashlib

TEST = 0.15             # about this share of the songs only tests
VALIDATION = 0.10       # and this share picks the training epoch


def part(song):
    """"train", "validation" or "test" for the song called `song` (e.g. "score:disco")."""
    digest = hashlib.sha256(f"kinetra beat split 3:{song}".encode()).digest()
    u = int.from_bytes(digest[:8], "big") / 2 ** 64
    if u < TEST:
        return "test"
    if u < TEST + VALIDATION:
        return "validation"
    return "train"


def scores(which, names):
    """The score names of `names` in part `which`."""
    return [n for n in names if part(f"score:{n}") == which]
