#!/usr/bin/env python3
"""Builds the example site with the given tarvo (scripts/build-site, into a
temporary directory), loads every page in headless Chromium through Selenium
and fails on what a visitor would notice: a link to a missing local file or
section, or to a host other than example.org/example.com, an image that is
missing or does not load, a stylesheet that did not load, quirks mode, a
console error, an uncaught exception, a failed request. A hand-made page with
one fault of each kind is checked first, and all of them must be reported.
The site is then made again as the README has a new user publish it (--html5
--toc, the shipped template examples/page.html, the stylesheet and images
copied beside the pages) and loaded 1280 and 390 pixels wide (the latter as a
phone): the same faults, a page wider than the window, a #fragment link that
scrolls to no element, or a title that is not the page's name fail it.
"""

import argparse
import functools
import html.parser
import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.parse

try:
    from selenium import webdriver
    from selenium.common.exceptions import WebDriverException
    from selenium.webdriver.chrome.service import Service
except ImportError:
    # Debian's Selenium is installed for Debian's Python, which need not be
    # the python3 found first on PATH.
    if sys.executable != "/usr/bin/python3" and os.path.exists("/usr/bin/python3"):
        os.execv("/usr/bin/python3", ["/usr/bin/python3", *sys.argv])
    sys.exit("error: Selenium is missing: run scripts/install-deps.sh test")

BUILD_SITE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../scripts/build-site")
EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../examples")
WIDTHS = ((1280, 800, False), (390, 844, True))  # width, height, a phone
EXTERNAL_HOSTS = (".example.org", ".example.com")  # links may go there (or below), not elsewhere
# The machine may have no network: nothing may reach out on its own.
CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                  "--no-first-run", "--disable-background-networking",
                  "--disable-component-update", "--disable-sync", "--hide-scrollbars"]


def start_browser(workdir):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in CHROMIUM_FLAGS + ["--user-data-dir=" + os.path.join(workdir, "profile")]:
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(options=options, service=Service("/usr/bin/chromedriver"))
    driver.set_page_load_timeout(20)
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
        "width": 1100, "height": 800, "deviceScaleFactor": 1, "mobile": False})
    # A stylesheet that fails to load still gets an empty sheet: only its
    # error event tells. Each page keeps the elements that fired one.
    driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": """
        window.failedLoads = new Set();
        addEventListener('error', e => e.target !== window && failedLoads.add(e.target), true);"""})
    return driver


# Runs in the page once it has loaded: its mode, and what its links, images
# and stylesheets point to and whether they loaded.
PAGE_FACTS = """return {
  mode: document.compatMode,
  links: [...document.querySelectorAll('a[href]')].map(a => a.href),
  images: [...document.querySelectorAll('img')].map(i => ({
    src: i.getAttribute('src'), url: i.src, loaded: i.complete && i.naturalWidth > 0})),
  sheets: [...document.querySelectorAll('link[rel~=stylesheet]')].map(l => ({
    href: l.href, loaded: !!l.sheet && !failedLoads.has(l)})),
}"""

# What the browser log's sources mean; any other source is a console error.
LOG_KINDS = {"console-api": "console error", "javascript": "uncaught exception",
             "network": "request failed"}


@functools.cache
def ids_in(path):
    """The ids a link to the page at path may name after its '#'."""
    ids = set()
    parser = html.parser.HTMLParser()
    parser.handle_starttag = lambda tag, attrs: ids.update(
        v for k, v in attrs if k == "id" or (tag == "a" and k == "name"))
    with open(path, encoding="utf-8", errors="replace") as f:
        parser.feed(f.read())
    return ids


def local_path(url):
    return urllib.parse.unquote(urllib.parse.urlsplit(url).path)


def check_page(driver, path):
    """Loads one page and returns the list of problems found on it."""
    driver.get_log("browser")  # forget what the page before left there
    driver.get("file://" + urllib.parse.quote(path))
    facts = driver.execute_script(PAGE_FACTS)
    time.sleep(0.15)  # for late console messages
    problems = [f"{LOG_KINDS.get(e['source'], 'console error')}: {e['message']}"
                for e in driver.get_log("browser") if e["level"] == "SEVERE"]

    if facts["mode"] != "CSS1Compat":
        problems.append(f"the page renders in quirks mode ({facts['mode']})")
    problems += [f"stylesheet not loaded: {s['href']}" for s in facts["sheets"] if not s["loaded"]]
    for img in facts["images"]:
        if img["url"].startswith("file:") and not os.path.isfile(local_path(img["url"])):
            problems.append(f"missing image file: {img['src']}")
        elif not img["loaded"]:
            problems.append(f"image did not load: {img['src']}")
    for href in facts["links"]:
        parts = urllib.parse.urlsplit(href)
        if parts.scheme == "file":
            target = local_path(href)
            if not os.path.isfile(target):
                problems.append(f"broken link: {href}")
            elif (parts.fragment and target.endswith(".html")
                  and urllib.parse.unquote(parts.fragment) not in ids_in(target)):
                problems.append(f"link to a missing section: {href}")
        elif parts.scheme in ("http", "https"):
            if not f".{parts.hostname}".endswith(EXTERNAL_HOSTS):
                problems.append(f"external link outside example.org/example.com: {href}")
    return list(dict.fromkeys(problems))  # each problem once, in order


# ---- the page with one fault of each kind (faulty/page.html, with no
# doctype: quirks mode), which must all be found ----

# Each fault as the kind of problem and a word of its report.
PLANTED = [("broken link", "nowhere.html"), ("link to a missing section", "ok.html#gone"),
           ("external link outside", "example.net"), ("missing image file", "absent.png"),
           ("image did not load", "empty.svg"), ("stylesheet not loaded", "absent.css"),
           ("quirks mode", ""), ("console error", "deliberate"),
           ("uncaught exception", "on purpose"),
           ("request failed", "absent.png"), ("request failed", "absent.css")]


def self_check(driver):
    d = os.path.join(os.path.dirname(os.path.abspath(__file__)), "faulty")
    found = check_page(driver, os.path.join(d, "page.html"))
    planted = lambda p, kind, word: kind in p and word in p
    missed = [f"{k} ({w})" for k, w in PLANTED if not any(planted(p, k, w) for p in found)]
    extra = [p for p in found if not any(planted(p, k, w) for k, w in PLANTED)]
    extra += check_page(driver, os.path.join(d, "ok.html"))  # a page without faults
    if missed or extra:
        raise SystemExit("error: the checker is wrong about its test page\n  missed: "
                         + "; ".join(missed) + "\n  reported wrongly: " + "; ".join(extra))


# Runs in a page of the HTML5 site: its title, how much wider than the window
# it is, and its links to a place in a page of the site.
LAYOUT_FACTS = """return {
  title: document.title,
  overflow: document.documentElement.scrollWidth - document.documentElement.clientWidth,
  fragments: [...document.querySelectorAll('a[href*="#"]')].map(a => a.href).filter(h => h.startsWith('file:')),
}"""
# After a link to a place: where the element it names stands, if any, and
# whether the page could scroll it any higher.
TARGET = """const t = document.querySelector(':target');
return t && {top: t.getBoundingClientRect().top - parseFloat(getComputedStyle(t).scrollMarginTop), end: scrollY == 0 ||
             scrollY + innerHeight >= document.documentElement.scrollHeight - 1, height: innerHeight}"""


def build_html5_site(tarvo, workdir):
    site, src = os.path.join(workdir, "html5"), os.path.join(EXAMPLES, "site")
    os.makedirs(site)
    for name in os.listdir(src):
        if name.endswith((".css", ".svg")):
            shutil.copy(os.path.join(src, name), site)
    run = subprocess.run([tarvo, "--html5", "--toc", "--svg", "--check-links", "-tmpl",
                          os.path.join(EXAMPLES, "page.html"), "-wrk", os.path.join(workdir, "html5-dot") + "/",
                          "*.wiki", site + "/"], cwd=src, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
    if run.returncode != 0:
        raise SystemExit("error: making the HTML5 site failed:\n" + run.stdout.decode(errors="replace"))
    return site


def check_layout(driver, path):
    """The problems of a page of the HTML5 site at the window's width."""
    problems = check_page(driver, path)
    facts = driver.execute_script(LAYOUT_FACTS)
    name = os.path.basename(path)[:-len(".html")].replace("_", " ")
    if facts["title"] != name:
        problems.append(f"the title is {facts['title']!r}, not {name!r}")
    if facts["overflow"] > 0:
        problems.append(f"the page is {facts['overflow']} px wider than the window")
    for href in dict.fromkeys(facts["fragments"]):
        driver.get(href)
        target = driver.execute_script(TARGET)
        if not target or not (abs(target["top"]) < 2 or (target["end"] and 0 <= target["top"] < target["height"])):
            problems.append(f"link to no element in view: {href} ({target})")
    return problems


def check_html5_site(driver, site):
    """Fails on each page of the HTML5 site, at each width, that has problems."""
    planted = os.path.join(os.path.dirname(os.path.abspath(__file__)), "faulty", "wide.html")
    found = check_layout(driver, planted)
    missed = [w for w in ("the title is", "wider than the window", "no element in view: file:") if
              not any(w in p for p in found)]
    if missed or any("#here" in p for p in found):
        raise SystemExit("error: the checker is wrong about faulty/wide.html: " + "; ".join(found))
    failed = 0
    for width, height, phone in WIDTHS:
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": height, "deviceScaleFactor": 1, "mobile": phone})
        for name in sorted(n for n in os.listdir(site) if n.endswith(".html")):
            problems = check_layout(driver, os.path.join(site, name))
            print("\n  ".join([f"{width} px {name}: {'FAILED' if problems else 'ok'}"] + problems))
            failed += bool(problems)
    return failed


def check_site(args, workdir):
    site = os.path.join(workdir, "site")
    run = subprocess.run(["bash", BUILD_SITE, "--tarvo", os.path.abspath(args.tarvo), "--out", site],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
    if run.returncode != 0:
        raise SystemExit("error: building the site failed:\n" + run.stdout.decode(errors="replace"))
    with start_browser(workdir) as driver:
        self_check(driver)
        pages = sorted(n for n in os.listdir(site) if n.endswith(".html"))
        if "index.html" not in pages:
            raise SystemExit("error: the site has no index.html")
        failed = 0
        for name in pages:
            problems = check_page(driver, os.path.join(site, name))
            print("\n  ".join([f"{name}: {'FAILED' if problems else 'ok'}"] + problems))
            failed += bool(problems)
        html5 = build_html5_site(os.path.abspath(args.tarvo), workdir)
        failed += check_html5_site(driver, html5)
        pages += [name for name in os.listdir(html5) if name.endswith(".html")] * len(WIDTHS)
        # The screenshots show the start page made with the shipped template.
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": WIDTHS[0][0], "height": WIDTHS[0][1], "deviceScaleFactor": 1, "mobile": False})
        driver.get("file://" + urllib.parse.quote(os.path.join(html5, "index.html")))
        for path, scheme in ((args.screenshot, "light"), (args.dark_screenshot, "dark")):
            if path:
                driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": [
                    {"name": "prefers-color-scheme", "value": scheme}]})
                time.sleep(0.2)
                os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
                driver.save_screenshot(path)
                print(f"screenshot: {path}")
    print(f"{len(pages) - failed} passed, {failed} failed")
    return 1 if failed else 0


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--tarvo", required=True, help="the tarvo binary to build the site with")
    ap.add_argument("--screenshot", help="a PNG of the index page")
    ap.add_argument("--dark-screenshot", help="the same in dark mode")
    ap.add_argument("--keep", action="store_true", help="keep the temporary directory")
    args = ap.parse_args()
    workdir = tempfile.mkdtemp(prefix="tarvo-browser-")
    try:
        return check_site(args, workdir)
    except WebDriverException as e:
        print(f"error: {e}", file=sys.stderr)
        return 1
    finally:
        if args.keep:
            print(f"kept {workdir}")
        else:
            shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
