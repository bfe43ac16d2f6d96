"""The gallery page: its data, and the page itself in headless Chromium."""

import base64
import json
import os
import re
import shutil
import time

import pytest

import kinetra
from kinetra_tools import gallery, patterns


def page_data(html):
    text = re.search(r'<script id="kinetra-data" type="application/json">(.*?)</script>', html, re.S).group(1)
    return json.loads(text)


def decode(text, n):
    return [b - 128 for b in base64.b64decode(text)] if text else [0] * n


def test_thinning_keeps_a_one_pip_hit():
    loop = [(0.0, 0.0, 0.0)] * 1024
    loop[513] = (0.0, 0.0, 0.9)  # a one-pip hit in the middle of a bucket
    loop[1023] = (-0.5, 0.0, 0.0)  # and one in the last
    step, kept = gallery.thin(loop)
    assert step == 4 and len(kept) == 256
    assert kept[128] == (0.0, 0.0, 0.9) and kept[255] == (-0.5, 0.0, 0.0)
    assert gallery.thin(loop[:256]) == (1, loop[:256])  # short loops are kept whole
    step, kept = gallery.thin([(float(p % 7) / 7, 0.0, 0.0) for p in range(600)])
    assert step == 3 and len(kept) == 200


@pytest.mark.parametrize(
    "values, encoded",
    [([0.0, -0.0, 0.0], ""), ([-1.0, 0.0, 1.0, 0.5], bytes([1, 128, 255, 192])), ([1.0000001, -1.2], bytes([255, 1]))],
)
def test_axis_encoding(values, encoded):
    assert gallery.encode_axis(values) == (base64.b64encode(encoded).decode() if encoded else "")


@pytest.fixture(scope="module")
def html():
    return gallery.page(patterns.patterns())


def test_page_holds_every_pattern_from_the_module_samples(html):
    found = patterns.patterns()
    data = page_data(html)
    assert data["packs"] == patterns.pack_names()
    assert [row[0] for row in data["patterns"]] == [e["name"] for e in kinetra.catalogue()]
    for p, (name, description, period, dimensions, pack, step, *axes) in zip(found, data["patterns"]):
        assert (description, period, dimensions, data["packs"][pack]) == (
            p.description, p.period_pips, p.dimensions, p.pack)
        n = -(-period // step)
        got = [decode(a, n) for a in axes]
        loop = patterns.loop(name, period)
        # each kept point is the module's own sample at some pip of its bucket
        for i in range(n):
            candidates = loop[i * step:(i + 1) * step]
            assert any(all(round(v * 127) == got[a][i] for a, v in enumerate(c)) for c in candidates), (name, i)


def test_page_is_self_contained(html):
    assert not re.search(r"""(?:src|href|url)\s*[=(]\s*["']?(?!data:)[a-z]+:""", html, re.I)
    assert "@import" not in html and "fetch(" not in html and "XMLHttpRequest" not in html


# ---- in the browser -------------------------------------------------------------

webdriver = pytest.importorskip("selenium.webdriver")
CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")
CHROMEDRIVER = shutil.which("chromedriver")


@pytest.fixture(scope="module")
def browser(tmp_path_factory):
    if not (CHROMIUM and CHROMEDRIVER):
        pytest.skip("needs chromium and chromedriver")
    from selenium.webdriver.chrome.service import Service

    profile = tmp_path_factory.mktemp("chromium-profile")
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
                 "--no-first-run", "--disable-background-networking", "--disable-component-update",
                 "--disable-sync", "--window-size=1280,900", f"--user-data-dir={profile}"):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    # The browser is no part of the module: it runs without the sanitizer
    # runtime that a checking run (scripts/dev test --sanitize) preloads.
    env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
    driver = webdriver.Chrome(options=options, service=Service(CHROMEDRIVER, env=env))
    yield driver
    driver.quit()


@pytest.fixture(scope="module")
def page(browser, html, tmp_path_factory):
    from selenium.webdriver.support.ui import WebDriverWait

    path = tmp_path_factory.mktemp("gallery") / "gallery.html"
    path.write_text(html, encoding="utf-8")
    browser.get(path.as_uri())
    WebDriverWait(browser, 60).until(lambda d: d.execute_script("return document.body.dataset.ready === '1'"))
    return browser


def shown(driver):
    return driver.execute_script(
        "return [...document.querySelectorAll('article.card')].filter(c => !c.hidden).map(c => c.dataset.name)")


def test_page_loads_without_errors_or_fetches(page):
    assert [e for e in page.get_log("browser") if e["level"] in ("SEVERE", "WARNING")] == []
    assert page.execute_script("return performance.getEntriesByType('resource').length") == 0


def test_one_card_per_catalogue_entry(page):
    assert shown(page) == [e["name"] for e in kinetra.catalogue()]
    total = len(kinetra.catalogue())
    assert page.find_element("id", "count").text == f"{total} of {total} patterns"


def test_filters_narrow_the_cards(page):
    from selenium.webdriver.support.ui import Select

    entries = kinetra.catalogue()
    text = page.find_element("id", "text")
    text.send_keys("Orbit")
    want = [e["name"] for e in entries if "orbit" in e["name"] or "orbit" in e["description"].lower()]
    assert 0 < len(want) < len(entries)
    assert shown(page) == want
    Select(page.find_element("id", "pack")).select_by_value("builtin")
    assert shown(page) == [n for n in want if n in {e["name"] for e in entries[:15]}] == ["circle"]
    text.clear()
    text.send_keys(" ")  # an input event with an empty search
    assert shown(page) == [e["name"] for e in entries[:15]]
    Select(page.find_element("id", "pack")).select_by_value("")
    assert len(shown(page)) == len(entries)


def settles(check, pause, limit=10.0):
    """Whether ``check()`` comes true within ``limit`` seconds, asked every ``pause``."""
    deadline = time.monotonic() + limit
    while True:
        time.sleep(pause)
        if check():
            return True
        if time.monotonic() > deadline:
            return False


def test_point_moves_in_time_and_stops_on_pause(page):
    trace = page.find_element("css selector", "article.card[data-name='circle'] .trace")
    page.execute_script("arguments[0].scrollIntoView({block: 'center'})", trace)
    time.sleep(0.3)
    first = trace.screenshot_as_png
    # At 120 BPM a 64-pip circle turns 0.8 times in 0.4 s; a busy machine may draw late.
    assert settles(lambda: trace.screenshot_as_png != first, pause=0.4)
    page.find_element("id", "play").click()

    def still():
        before = trace.screenshot_as_png
        time.sleep(0.3)
        return trace.screenshot_as_png == before

    assert settles(still, pause=0.1)
    page.find_element("id", "play").click()
