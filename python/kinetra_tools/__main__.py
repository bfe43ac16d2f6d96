"""``python -m kinetra_tools`` runs the ``kinetra`` command."""

from .cli import main

raise SystemExit(main())
