"""Costs of the kinetra command and the gallery, at the catalogue the module has.

Prints: how long `kinetra list` takes as a fresh process (beside a bare
interpreter start), how long the gallery page takes to build and how large it
is, and how long headless Chromium takes to load it (navigation until the
load event, after which every card exists). Medians; wall times suffer on a
busy machine, CPU times less. Run it from the project root (in a venv with
the wheel installed, `kinetra` on PATH is timed instead of `python -m`):

    scripts/dev run -- python3 bench/bench_tools.py [--repeat N]
"""

import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import kinetra
from kinetra_tools import gallery, patterns


def process_seconds(args, repeat):
    """Median wall time and median CPU time (user + system) of a fresh process."""
    walls, cpus = [], []
    for _ in range(repeat):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
        walls.append(time.perf_counter() - start)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpus.append(after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
    return statistics.median(walls), statistics.median(cpus)


def chromium_load_seconds(path, repeat):
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    profile = tempfile.mkdtemp(prefix="chromium-profile-")
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium")
    for flag in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
                 "--no-first-run", "--disable-background-networking", "--disable-component-update",
                 "--disable-sync", "--window-size=1280,900", f"--user-data-dir={profile}"):
        options.add_argument(flag)
    driver = webdriver.Chrome(options=options, service=Service(shutil.which("chromedriver")))
    try:
        times = []
        for _ in range(repeat):
            driver.get("about:blank")
            start = time.perf_counter()
            driver.get("file://" + os.path.abspath(path))  # returns after the load event
            times.append(time.perf_counter() - start)
            assert driver.execute_script("return document.body.dataset.ready") == "1"
            cards = driver.execute_script("return document.querySelectorAll('article.card').length")
        return statistics.median(times), cards
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()

    count = len(kinetra.catalogue())
    print(f"catalogue: {count} patterns")
    # The installed command when there is one, else the same through -m.
    command = [shutil.which("kinetra")] if shutil.which("kinetra") else [sys.executable, "-m", "kinetra_tools"]
    for label, argv in (("bare interpreter start", [sys.executable, "-c", "pass"]),
                        ("import kinetra", [sys.executable, "-c", "import kinetra"]),
                        ("kinetra list", [*command, "list"])):
        wall, cpu = process_seconds(argv, args.repeat)
        print(f"{label + ',':<24} whole process: {wall * 1000:4.0f} ms wall, {cpu * 1000:4.0f} ms CPU")

    start = time.perf_counter()
    found = patterns.patterns()
    html = gallery.page(found).encode("utf-8")
    built = time.perf_counter() - start
    print(f"gallery page: built in {built:.2f} s, {len(html) / 1e6:.2f} MB, "
          f"{len(html) / count / 1e3:.2f} kB a pattern")

    if shutil.which("chromium") and shutil.which("chromedriver"):
        with tempfile.TemporaryDirectory() as scratch:
            path = os.path.join(scratch, "gallery.html")
            with open(path, "wb") as out:
                out.write(html)
            seconds, cards = chromium_load_seconds(path, args.repeat)
        print(f"headless Chromium: {cards} cards loaded in {seconds * 1000:.0f} ms (median of {args.repeat})")


if __name__ == "__main__":
    main()
