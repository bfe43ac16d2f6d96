import os
import sys

# Tests import their shared helpers (reference evaluations, table checks) as
# plain modules from this directory.
sys.path.insert(0, os.path.dirname(__file__))
