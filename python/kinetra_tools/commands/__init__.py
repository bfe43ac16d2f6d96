"""The ``kinetra`` subcommands, one module each.

Each module has ``register(subparsers)``, which adds its parser and sets
``run`` (a function of the parsed arguments returning the exit status). Heavy
imports happen inside ``run``, so building the whole parser stays cheap and
``kinetra list`` starts quickly. ``COMMANDS`` fixes the order in ``--help``.
"""

COMMANDS = ("list", "show", "export", "beats", "gallery", "render", "play")
