"""The ``kinetra`` command: list, show, export, gallery and the rest.

Each subcommand lives in its own module under ``commands`` and registers its
own parser. Errors (an unknown name, a bad number) print one line to standard
error and exit with status 2; ``--help`` works on the command and on every
subcommand. Ctrl-C ends a command with status 130; SIGTERM and SIGHUP end it
the same way (temporary files removed, children stopped) with 128 + the
signal's number (``signals``).
"""

from __future__ import annotations

import argparse
import importlib
import os
import sys
from collections.abc import Sequence
from typing import NoReturn

from .commands import COMMANDS
from .signals import Stopped, stops_as_interrupts

# The status of a program that stopped because its reader went away (128 + SIGPIPE).
SIGPIPE_STATUS = 141
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


def _quiet_stdout() -> None:
    """Point standard output at /dev/null, so nothing more is written or reported at exit."""
    try:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
    except (OSError, ValueError):
        pass


def main(argv: Sequence[str] | None = None) -> int:
    top = parser()
    try:
        args = top.parse_args(argv)
    except BrokenPipeError:  # --help into a reader that went away
        _quiet_stdout()
        return SIGPIPE_STATUS
    if args.command is None:
        print(f"kinetra: choose a command: {', '.join(COMMANDS)} (see kinetra --help)", file=sys.stderr)
        return 2
    name = f"kinetra {args.command}"
    with stops_as_interrupts() as received:
        try:
            result: int = args.run(args)
            sys.stdout.flush()
        except ValueError as error:
            print(f"{name}: {error}", file=sys.stderr)
            return 2
        except Stopped as stop:
            _say(f"{name}: stopped by {stop.name}")
            return 128 + stop.number
        except KeyboardInterrupt:
            print(f"{name}: interrupted", file=sys.stderr)
            return 130
        except BrokenPipeError:
            # The reader went away (kinetra list | head): stop quietly, as a
            # program killed by SIGPIPE would.
            _quiet_stdout()
            return SIGPIPE_STATUS
        except OSError as error:
            # Writing to standard output failed (a full disk, /dev/full).
            _quiet_stdout()
            print(f"{name}: cannot write output: {error.strerror or error}", file=sys.stderr)
            return 2
    if received.number is not None:  # the command ended itself on the stop
        return 128 + received.number
    return result


def _say(line: str) -> None:
    """A last line on standard error, which may be gone with the terminal (SIGHUP)."""
    try:
        print(line, file=sys.stderr)
    except (OSError, ValueError):
        pass
