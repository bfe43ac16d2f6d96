"""Running the kinetra command in-process, as the command tests do."""

from kinetra_tools import cli


def run_command(capsys, *args):
    """(exit status, stdout, stderr) of the kinetra command with these arguments."""
    try:
        status = cli.main([str(a) for a in args])
    except SystemExit as exit_:
        status = exit_.code
    out, err = capsys.readouterr()
    return status, out, err
