"""Running tests inside a private network namespace.

Ableton Link finds its peers by multicast on every network interface, so a
Link test must never run in the machine's own network: ``run_inside(file)``
runs a test file under pytest in a fresh network namespace (``unshare --net``)
whose only interface is loopback, up and routing multicast, and whose
``/dev/shm`` is a private tmpfs (a JACK server started there meets no other).
The namespace, and every process left in it, ends with the run.

    python -m private_network FILE [PYTEST ARGS]   (what runs inside)
"""

from __future__ import annotations

import ctypes
import os
import re
import shutil
import subprocess
import sys

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
INSIDE = "KINETRA_PRIVATE_NETWORK"  # set to "1" inside the namespace
PRIVATE_SHM = "KINETRA_PRIVATE_SHM"  # "1", or why /dev/shm is not private

MS_REC = 0x4000
MS_PRIVATE = 0x40000


def plain_env(**extra: str) -> dict[str, str]:
    """The environment for programs that are not ours (ip, jackd, LinkHut):
    without the sanitizer runtime the test interpreter may run with."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("LD_PRELOAD", "PYTHONMALLOC") and not k.endswith("SAN_OPTIONS")}
    env.update(extra)
    return env


def _unshare() -> list[str]:
    unshare = shutil.which("unshare")
    if unshare is None:
        pytest.skip("unshare (util-linux) is missing: no private network namespace")
    command = [unshare, "--net", "--mount", "--propagation", "unchanged"]
    probe = subprocess.run([*command, "true"], env=plain_env(), capture_output=True, text=True)
    if probe.returncode != 0:
        pytest.skip(f"cannot make a private network namespace: {probe.stderr.strip()}")
    return command


def run_inside(path: str, timeout: float = 300) -> None:
    """Run the tests of ``path`` in a private network namespace; fail or skip as they do."""
    env = dict(os.environ)
    env[INSIDE] = "1"
    env["PYTHONPATH"] = os.pathsep.join(p for p in (HERE, env.get("PYTHONPATH")) if p)
    result = subprocess.run(
        [*_unshare(), "--", sys.executable, "-m", "private_network", path],
        env=env, capture_output=True, text=True, timeout=timeout)
    output = result.stdout + result.stderr
    if result.returncode != 0:
        pytest.fail(f"inside a private network namespace:\n{output}", pytrace=False)
    if not re.search(r"\b\d+ passed\b", output):
        reasons = re.findall(r"^SKIPPED \[\d+\] (.*)$", output, re.M)
        pytest.skip("; ".join(reasons) or output.strip().splitlines()[-1])


def _private_shm() -> str:
    """Mount a tmpfs of this namespace's own on /dev/shm: "1", or why not."""
    libc = ctypes.CDLL(None, use_errno=True)
    # The mount stays in this mount namespace: first cut /dev/shm off from
    # any peer group it shares mounts with.
    if libc.mount(None, b"/dev/shm", None, MS_REC | MS_PRIVATE, None) != 0:
        return f"cannot make /dev/shm private: {os.strerror(ctypes.get_errno())}"
    if libc.mount(b"tmpfs", b"/dev/shm", b"tmpfs", 0, b"mode=1777") != 0:
        return f"cannot mount a tmpfs on /dev/shm: {os.strerror(ctypes.get_errno())}"
    return "1"


def main(argv: list[str]) -> None:
    if os.environ.get(INSIDE) != "1":
        sys.exit("private_network: run through run_inside()")
    ip = shutil.which("ip")
    if ip is None:
        sys.exit("private_network: ip (iproute2) is missing")
    for step in (["link", "set", "lo", "up"], ["link", "set", "lo", "multicast", "on"],
                 ["route", "add", "224.0.0.0/4", "dev", "lo"]):
        subprocess.run([ip, *step], env=plain_env(), check=True)
    os.environ[PRIVATE_SHM] = _private_shm()
    os.execv(sys.executable, [sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider",
                              "-rs", *argv])


if __name__ == "__main__":
    main(sys.argv[1:])


def skip_outside(runner: str) -> None:
    """Skip the calling test module unless it runs in the private namespace (made by ``runner``)."""
    import pytest

    with open("/proc/self/net/dev") as devices:
        interfaces = {line.split(":")[0].strip() for line in devices.readlines()[2:]}
    if os.environ.get(INSIDE) != "1" or interfaces != {"lo"}:
        pytest.skip(f"Link tests run only inside a private network namespace ({runner})",
                    allow_module_level=True)

