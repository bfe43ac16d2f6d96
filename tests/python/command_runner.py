"""Running the kinetra command in-process, as the command tests do, and starting it as a
process that a test may interrupt."""

import signal

from kinetra_tools import cli


def run_command(capsys, *args):
    """(exit status, stdout, stderr) of the kinetra command with these arguments."""
    try:
        status = cli.main([str(a) for a in args])
    except SystemExit as exit_:
        status = exit_.code
    out, err = capsys.readouterr()
    return status, out, err


def _default_sigint():
    signal.signal(signal.SIGINT, signal.SIG_DFL)


# Popen keyword arguments for a child that a test interrupts with SIGINT. A run started in
# the background by a shell ignores SIGINT, and its children inherit that (as they should:
# Ctrl-C is not meant for background jobs); the child here starts with SIGINT at its
# default, so that it sees the test's Ctrl-C.
INTERRUPTIBLE = {"preexec_fn": _default_sigint}
