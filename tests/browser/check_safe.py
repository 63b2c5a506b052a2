#!/usr/bin/env python3
"""Converts the script vectors of safe_vectors.txt, each in a paragraph, a
list item, a table cell and a heading of a page of its own, with --safe and
without, and loads every page in headless Chromium with alert, confirm,
prompt, fetch, XMLHttpRequest and window.open hooked. Each page is then
handled as a visitor might: every element gets the mouse, keyboard and focus
events, and every link is followed (javascript: links run, others are held
back). With --safe nothing may fire, no element may carry an on... attribute
and no address may read as javascript:, vbscript: or data: to the browser.
Without --safe the number of vectors that fire must be the one stated here,
so that a change in what the markup passes is seen.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.parse

from check_site import WebDriverException, start_browser

VECTORS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "safe_vectors.txt")
FIRING_WITHOUT_SAFE = 66  # vectors that run script in a page made without --safe

HOOKS = """
window.fired = [];
for (const name of ['alert', 'confirm', 'prompt', 'fetch', 'open'])
  window[name] = (...args) => { fired.push(name + '(' + args.join(',') + ')'); };
XMLHttpRequest.prototype.open = function (...args) { fired.push('xhr(' + args.join(',') + ')'); };
addEventListener('click', e => {
  const a = e.target.closest && e.target.closest('a[href]');
  if (a && a.protocol !== 'javascript:') e.preventDefault();
}, true);"""

EVENTS = ["mouseover", "mouseenter", "mousemove", "mousedown", "mouseup", "click", "dblclick",
          "contextmenu", "focus", "focusin", "blur", "keydown", "keyup", "keypress", "input",
          "pointerover", "pointerenter", "pointerdown", "pointerup", "wheel"]

VISIT = """
for (const el of document.body.querySelectorAll('*')) {
  for (const type of arguments[0]) el.dispatchEvent(new Event(type, {bubbles: true}));
  if (el.matches('a[href]')) el.click();
}"""

# What the page holds that could run: on... attributes, addresses with a
# script scheme as the browser reads them.
STATIC = """
const found = [];
for (const el of document.querySelectorAll('*')) {
  for (const at of el.attributes)
    if (at.name.startsWith('on')) found.push(el.tagName + ' ' + at.name);
  for (const prop of ['href', 'src', 'action', 'formAction', 'cite', 'data'])
    if (typeof el[prop] === 'string' && /^(javascript|vbscript|data):/i.test(el[prop]))
      found.push(el.tagName + ' ' + prop + '=' + el[prop]);
}
return found;"""


def read_vectors():
    vectors = []
    for line in open(VECTORS, encoding="utf-8"):
        line = line.rstrip("\n")
        if not line or line.startswith("#"):
            continue
        while "⟨" in line:
            at = line.index("⟨")
            line = line[:at] + chr(int(line[at + 1:at + 3], 16)) + line[at + 4:]
        vectors.append(line.replace("→", "\t").replace("↵", "\n"))
    return vectors


def page_text(vector):
    if vector.startswith("{|"):
        return vector + "\n"
    return f"{vector}\n\n* {vector}\n\n{{|\n| {vector}\n|}}\n\n== {vector} ==\n"


def convert(tarvo, workdir, vectors, safe):
    """The page of each vector, converted in one run; their paths."""
    src = os.path.join(workdir, "safe" if safe else "plain")
    os.makedirs(src)
    for n, vector in enumerate(vectors, 1):
        with open(os.path.join(src, f"v{n:03}.wiki"), "w", encoding="utf-8") as f:
            f.write(page_text(vector))
    run = subprocess.run([tarvo] + (["--safe"] if safe else []) + ["-wrk", "dot/", "*.wiki"], cwd=src,
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    if run.returncode != 0:
        raise SystemExit("error: tarvo failed:\n" + run.stdout.decode(errors="replace"))
    return [os.path.join(src, f"v{n:03}.html") for n in range(1, len(vectors) + 1)]


def visit(driver, path):
    """Loads a page, handles it as a visitor; what fired, and what could."""
    url = "file://" + urllib.parse.quote(path)
    driver.get(url)
    time.sleep(0.05)  # for images that fail to load
    driver.execute_script(VISIT, EVENTS)
    time.sleep(0.1)  # for javascript: links, which run after the click
    fired = driver.execute_script("return window.fired || ['a navigation away']")
    if driver.current_url != url:
        fired.append("navigation to " + driver.current_url)
    return fired, driver.execute_script(STATIC)


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--tarvo", required=True)
    args = ap.parse_args()
    vectors = read_vectors()
    workdir = tempfile.mkdtemp(prefix="tarvo-safe-")
    try:
        with start_browser(workdir) as driver:
            driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": HOOKS})
            results = {}
            for safe in (False, True):
                pages = convert(os.path.abspath(args.tarvo), workdir, vectors, safe)
                results[safe] = [visit(driver, page) for page in pages]
    except WebDriverException as e:
        print(f"error: {e}", file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(workdir, ignore_errors=True)

    failed = False
    for n, (vector, (fired, static)) in enumerate(zip(vectors, results[True]), 1):
        if fired or static:
            failed = True
            print(f"FAIL with --safe, vector {n} {vector!r}:\n  " + "\n  ".join(fired + static))
    firing = [n for n, (fired, _) in enumerate(results[False], 1) if fired]
    print(f"without --safe {len(firing)} of {len(vectors)} vectors run script: "
          + " ".join(map(str, firing)))
    if len(firing) != FIRING_WITHOUT_SAFE:
        failed = True
        print(f"FAIL: {FIRING_WITHOUT_SAFE} were expected to fire without --safe")
    print(f"with --safe {sum(bool(f or s) for f, s in results[True])} of {len(vectors)} vectors run script"
          " or leave a handler or a script address")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
