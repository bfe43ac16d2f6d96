"""The ``kinetra`` command: list, show, export, gallery and the rest.

Each subcommand lives in its own module under ``commands`` and registers its
own parser. Errors (an unknown name, a bad number) print one line to standard
error and exit with status 2; ``--help`` works on the command and on every
subcommand.
"""

from __future__ import annotations

import argparse
import importlib
import os
import sys
from collections.abc import Sequence
from typing import NoReturn

from .commands import COMMANDS

DESCRIPTION = "Browse, watch and export kinetra's motion patterns, in step with music."


class Parser(argparse.ArgumentParser):
    """An argument parser whose errors are one line: "<prog>: <message>"."""

    def error(self, message: str) -> NoReturn:
        self.exit(2, f"{self.prog}: {message}\n")


def parser() -> Parser:
    top = Parser(prog="kinetra", description=DESCRIPTION,
                 epilog="Run 'kinetra COMMAND --help' for the options of a command.")
    sub = top.add_subparsers(dest="command", metavar="COMMAND", parser_class=Parser)
    for command in COMMANDS:
        importlib.import_module(f".commands.{command}", __package__).register(sub)
    return top


def main(argv: Sequence[str] | None = None) -> int:
    top = parser()
    args = top.parse_args(argv)
    if args.command is None:
        print(f"kinetra: choose a command: {', '.join(COMMANDS)} (see kinetra --help)", file=sys.stderr)
        return 2
    try:
        result: int = args.run(args)
        sys.stdout.flush()
    except ValueError as error:
        print(f"kinetra {args.command}: {error}", file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        return 130
    except BrokenPipeError:
        # The reader went away (kinetra export ... | head): stop quietly.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return 1
    return result
