import os
import sys

from hypothesis import HealthCheck, settings

# Tests import their shared helpers (reference evaluations, table checks) as
# plain modules from this directory.
sys.path.insert(0, os.path.dirname(__file__))

# Property-based tests: no example database (nothing is written into the
# checkout), no per-example deadline (sanitizer builds are slow), and a fixed
# budget. The everyday run draws the same few examples every time; the fuzz
# run (scripts/dev fuzz, --hypothesis-profile=fuzz) draws many fresh ones and
# prints a reproduction blob for any failure.
_common = dict(
    database=None,
    deadline=None,
    suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large,
                           HealthCheck.large_base_example],
)
settings.register_profile("kinetra", max_examples=40, derandomize=True, **_common)
settings.register_profile("fuzz", max_examples=1500, print_blob=True, **_common)
settings.load_profile("kinetra")


def pytest_configure(config):
    config.addinivalue_line("markers", "fuzz: property-based test of an entry point")
