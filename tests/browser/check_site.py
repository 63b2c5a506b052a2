#!/usr/bin/env python3
"""Loads every page of the converted example site in headless Chromium and
fails on what a visitor would notice: a link to a local file that does not
exist (or to a section that is not there), an image that is missing or does
not load, a stylesheet that did not load, a page in quirks mode, a console
error, an uncaught exception, or a failed request.

    check_site.py --tarvo BIN [--screenshot PNG] [--dark-screenshot PNG] [--keep]

The site is built from the given tarvo binary by scripts/build-site into a
temporary directory. Chromium is driven over the DevTools protocol, spoken
here directly over a WebSocket (standard library only). Before the site, a
hand-made page with one fault of each kind is checked, and every one of
them must be reported: the checker proves it can see what it looks for.
"""

import argparse
import base64
import html.parser
import json
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import urllib.parse

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BROWSER_NAMES = ("chromium", "chromium-browser", "google-chrome")
START_TIMEOUT = 30    # seconds for the browser to open its debugging port
PAGE_TIMEOUT = 20     # seconds for one page to load
SETTLE = 0.15         # seconds to let late console messages arrive
WIDTH, HEIGHT = 1100, 800
EXTERNAL_HOSTS = ("example.org", "example.com")


class Failure(Exception):
    pass


# ---- a minimal WebSocket client (RFC 6455: text frames, client masking) ----

class WebSocket:
    def __init__(self, host, port, path, timeout):
        self.sock = socket.create_connection((host, port), timeout=timeout)
        key = base64.b64encode(os.urandom(16)).decode()
        request = (f"GET {path} HTTP/1.1\r\nHost: {host}:{port}\r\n"
                   "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                   f"Sec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n")
        self.sock.sendall(request.encode())
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise Failure("the browser closed the WebSocket handshake")
            head += chunk
        head, self.pending = head.split(b"\r\n\r\n", 1)
        if b" 101 " not in head.split(b"\r\n", 1)[0]:
            raise Failure("WebSocket handshake refused: " + head.decode(errors="replace"))

    def _read(self, n):
        while len(self.pending) < n:
            chunk = self.sock.recv(max(65536, n - len(self.pending)))
            if not chunk:
                raise Failure("the browser closed the connection")
            self.pending += chunk
        data, self.pending = self.pending[:n], self.pending[n:]
        return data

    def _send_frame(self, opcode, payload):
        header = bytes([0x80 | opcode])
        n = len(payload)
        if n < 126:
            header += bytes([0x80 | n])
        elif n < 65536:
            header += bytes([0x80 | 126]) + struct.pack(">H", n)
        else:
            header += bytes([0x80 | 127]) + struct.pack(">Q", n)
        mask = os.urandom(4)
        masked = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
        self.sock.sendall(header + mask + masked)

    def send(self, text):
        self._send_frame(0x1, text.encode())

    def recv(self, timeout):
        """One whole text message, or None when nothing came within timeout."""
        self.sock.settimeout(timeout)
        message = b""
        try:
            while True:
                b0, b1 = self._read(2)
                opcode, n = b0 & 0x0F, b1 & 0x7F
                if n == 126:
                    n = struct.unpack(">H", self._read(2))[0]
                elif n == 127:
                    n = struct.unpack(">Q", self._read(8))[0]
                mask = self._read(4) if b1 & 0x80 else None
                payload = self._read(n)
                if mask:
                    payload = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
                if opcode == 0x9:
                    self._send_frame(0xA, payload)
                    continue
                if opcode == 0x8:
                    raise Failure("the browser closed the connection")
                if opcode in (0x0, 0x1, 0x2):
                    message += payload
                    if b0 & 0x80:
                        return message.decode()
        except socket.timeout:
            if message:
                raise Failure("a message from the browser stopped half-way")
            return None

    def close(self):
        try:
            self._send_frame(0x8, b"")
        except OSError:
            pass
        self.sock.close()


# ---- the DevTools session of one tab ----

class Tab:
    def __init__(self, ws):
        self.ws = ws
        self.next_id = 0
        self.session = None
        self.events = []

    def call(self, method, timeout=PAGE_TIMEOUT, **params):
        self.next_id += 1
        msg = {"id": self.next_id, "method": method, "params": params}
        if self.session:
            msg["sessionId"] = self.session
        self.ws.send(json.dumps(msg))
        deadline = time.monotonic() + timeout
        while True:
            reply = self._receive(deadline)
            if reply is None:
                raise Failure(f"no answer to {method} within {timeout} s")
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise Failure(f"{method}: {reply['error'].get('message')}")
                return reply.get("result", {})

    def _receive(self, deadline):
        """The next message, None once the deadline has passed. Events are
        also kept in self.events."""
        left = deadline - time.monotonic()
        if left <= 0:
            return None
        raw = self.ws.recv(left)
        if raw is None:
            return None
        msg = json.loads(raw)
        if "method" in msg:
            self.events.append(msg)
        return msg

    def wait_event(self, name, timeout):
        deadline = time.monotonic() + timeout
        seen = 0
        while True:
            for ev in self.events[seen:]:
                if ev["method"] == name:
                    return ev
            seen = len(self.events)
            if self._receive(deadline) is None:
                raise Failure(f"{name} did not come within {timeout} s")

    def drain(self, seconds):
        deadline = time.monotonic() + seconds
        while self._receive(deadline) is not None:
            pass


# ---- the browser process ----

def find_browser():
    for name in BROWSER_NAMES:
        path = shutil.which(name)
        if path:
            return path
    raise Failure("Chromium is not installed: run scripts/install-deps.sh chromium")


def start_browser(workdir):
    profile = os.path.join(workdir, "profile")
    os.mkdir(profile)
    log = open(os.path.join(workdir, "chromium.log"), "wb")
    args = [find_browser(), "--headless", "--no-sandbox", "--disable-gpu",
            "--disable-quic", "--no-first-run", "--disable-background-networking",
            "--disable-component-update", "--disable-sync",
            f"--user-data-dir={profile}", "--remote-debugging-port=0",
            f"--window-size={WIDTH},{HEIGHT}", "--hide-scrollbars", "about:blank"]
    with log:  # the browser keeps its own copy of the descriptor
        proc = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                start_new_session=True)
    port_file = os.path.join(profile, "DevToolsActivePort")
    deadline = time.monotonic() + START_TIMEOUT
    while time.monotonic() < deadline:
        if proc.poll() is not None:
            raise Failure(f"Chromium exited with {proc.returncode} at start; see {log.name}")
        try:
            with open(port_file) as f:
                lines = f.read().split("\n")
            if len(lines) >= 2 and lines[0].strip() and lines[1].strip():
                return proc, int(lines[0]), lines[1].strip()
        except FileNotFoundError:
            pass
        time.sleep(0.05)
    stop_browser(proc)
    raise Failure(f"Chromium did not open its debugging port in {START_TIMEOUT} s")


def stop_browser(proc):
    if proc.poll() is None:
        try:
            os.killpg(proc.pid, signal.SIGTERM)
            proc.wait(timeout=5)
        except (ProcessLookupError, subprocess.TimeoutExpired):
            try:
                os.killpg(proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            proc.wait()


def open_tab(port, path):
    ws = WebSocket("127.0.0.1", port, path, START_TIMEOUT)
    tab = Tab(ws)
    target = tab.call("Target.createTarget", url="about:blank")["targetId"]
    tab.session = tab.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
    for domain in ("Page", "Runtime", "Log", "Network"):
        tab.call(domain + ".enable")
    tab.call("Emulation.setDeviceMetricsOverride", width=WIDTH, height=HEIGHT,
             deviceScaleFactor=1, mobile=False)
    return tab


# ---- checking one page ----

# Runs in the page once it has loaded: what its links, images and
# stylesheets point to, and whether they loaded.
PAGE_FACTS = """(() => ({
  url: location.href,
  ready: document.readyState,
  mode: document.compatMode,
  links: [...document.querySelectorAll('a[href]')].map(a => a.href),
  images: [...document.querySelectorAll('img')].map(i => ({
    src: i.getAttribute('src'), url: i.src, done: i.complete, width: i.naturalWidth})),
  sheets: [...document.querySelectorAll('link[rel~=stylesheet]')].map(l => ({
    href: l.href, loaded: !!l.sheet})),
}))()"""


class IdCollector(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.ids = set()

    def handle_starttag(self, tag, attrs):
        for k, v in attrs:
            if k == "id" or (tag == "a" and k == "name"):
                self.ids.add(v)


def ids_in(path, cache):
    if path not in cache:
        parser = IdCollector()
        with open(path, encoding="utf-8", errors="replace") as f:
            parser.feed(f.read())
        cache[path] = parser.ids
    return cache[path]


def local_path(url):
    return urllib.parse.unquote(urllib.parse.urlsplit(url).path)


def describe_event(ev, urls):
    method, p = ev["method"], ev.get("params", {})
    if method == "Runtime.consoleAPICalled" and p.get("type") in ("error", "assert"):
        text = " ".join(str(a.get("value", a.get("description", ""))) for a in p.get("args", []))
        return f"console error: {text}"
    if method == "Runtime.exceptionThrown":
        d = p.get("exceptionDetails", {})
        return "uncaught exception: " + d.get("exception", {}).get("description", d.get("text", ""))
    if method == "Log.entryAdded" and p.get("entry", {}).get("level") == "error":
        e = p["entry"]
        return f"console error: {e.get('text')} {e.get('url', '')}".rstrip()
    if method == "Network.loadingFailed" and not p.get("canceled"):
        return f"request failed: {p.get('errorText')} {urls.get(p.get('requestId'), '')}".rstrip()
    return None


def check_page(tab, path, id_cache):
    """Loads one page and returns the list of problems found on it."""
    problems = []
    tab.events.clear()
    url = "file://" + urllib.parse.quote(path)
    nav = tab.call("Page.navigate", url=url)
    if nav.get("errorText"):
        return [f"cannot load the page: {nav['errorText']}"]
    tab.wait_event("Page.loadEventFired", PAGE_TIMEOUT)
    facts = tab.call("Runtime.evaluate", expression=PAGE_FACTS, returnByValue=True)
    facts = facts["result"]["value"]
    tab.drain(SETTLE)
    urls = {ev["params"]["requestId"]: ev["params"]["request"]["url"]
            for ev in tab.events if ev["method"] == "Network.requestWillBeSent"}
    for ev in tab.events:
        text = describe_event(ev, urls)
        if text:
            problems.append(text)

    if facts["mode"] != "CSS1Compat":
        problems.append(f"the page renders in quirks mode ({facts['mode']})")
    for sheet in facts["sheets"]:
        if not sheet["loaded"]:
            problems.append(f"stylesheet not loaded: {sheet['href']}")
    for img in facts["images"]:
        if img["url"].startswith("file:") and not os.path.isfile(local_path(img["url"])):
            problems.append(f"missing image file: {img['src']}")
        elif not img["done"] or img["width"] == 0:
            problems.append(f"image did not load: {img['src']}")
    for href in facts["links"]:
        parts = urllib.parse.urlsplit(href)
        if parts.scheme == "file":
            target = local_path(href)
            if not os.path.isfile(target):
                problems.append(f"broken link: {href}")
            elif parts.fragment and target.endswith(".html"):
                anchor = urllib.parse.unquote(parts.fragment)
                if anchor not in ids_in(target, id_cache):
                    problems.append(f"link to a missing section: {href}")
        elif parts.scheme in ("http", "https"):
            host = parts.hostname or ""
            if not any(host == h or host.endswith("." + h) for h in EXTERNAL_HOSTS):
                problems.append(f"external link outside example.org/example.com: {href}")
    return list(dict.fromkeys(problems))  # each problem once, in order


def screenshot(tab, path, dark):
    tab.call("Emulation.setEmulatedMedia", features=[
        {"name": "prefers-color-scheme", "value": "dark" if dark else "light"}])
    tab.drain(0.2)
    shot = tab.call("Page.captureScreenshot", format="png")
    with open(path, "wb") as f:
        f.write(base64.b64decode(shot["data"]))
    tab.call("Emulation.setEmulatedMedia", features=[])


# ---- the fixture that every check must catch ----

FAULTY_PAGE = """<html><head><link rel="stylesheet" href="ok.css"></head><body>
<a href="ok.html">fine</a> <a href="ok.html#here">fine section</a>
<a href="nowhere.html">broken</a> <a href="ok.html#gone">missing section</a>
<a href="http://example.net/">elsewhere</a>
<img src="ok.svg"> <img src="absent.png"> <img src="empty.svg">
<script>console.error("deliberate");</script>
</body></html>
"""
FAULTY_EXPECTED = [
    "broken link", "link to a missing section", "external link outside",
    "missing image file: absent.png", "image did not load: empty.svg",
    "console error", "the page renders in quirks mode",
]


def self_check(tab, workdir, id_cache):
    d = os.path.join(workdir, "faulty")
    os.mkdir(d)
    files = {
        "page.html": FAULTY_PAGE,
        "ok.html": '<!DOCTYPE html><p id="here">x</p>',
        "ok.css": "body{}",
        "ok.svg": '<svg xmlns="http://www.w3.org/2000/svg" width="4" height="4"/>',
        "empty.svg": "",
    }
    for name, text in files.items():
        with open(os.path.join(d, name), "w") as f:
            f.write(text)
    found = check_page(tab, os.path.join(d, "page.html"), id_cache)
    missed = [e for e in FAULTY_EXPECTED if not any(e in p for p in found)]
    allowed = FAULTY_EXPECTED + ["absent.png", "empty.svg"]
    extra = [p for p in found if not any(a in p for a in allowed)]
    if missed:
        raise Failure("the checker missed faults it must find: " + "; ".join(missed)
                      + "\n  it reported: " + "; ".join(found))
    if extra:
        raise Failure("the checker reported faults that are not there: " + "; ".join(extra))
    clean = check_page(tab, os.path.join(d, "ok.html"), id_cache)
    if clean:
        raise Failure("the checker found faults on a clean page: " + "; ".join(clean))


# ---- main ----

def build_site(tarvo, workdir):
    site = os.path.join(workdir, "site")
    run = subprocess.run(["bash", os.path.join(ROOT, "scripts", "build-site"),
                          "--tarvo", tarvo, "--out", site],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
    if run.returncode != 0:
        raise Failure("building the site failed:\n" + run.stdout.decode(errors="replace"))
    return site


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--tarvo", required=True, help="the tarvo binary to build the site with")
    ap.add_argument("--screenshot", help="save a screenshot of the index page here (PNG)")
    ap.add_argument("--dark-screenshot", help="the same in dark mode")
    ap.add_argument("--keep", action="store_true", help="keep the temporary directory")
    args = ap.parse_args()

    started = time.monotonic()
    workdir = tempfile.mkdtemp(prefix="tarvo-browser-")
    proc = None
    try:
        site = build_site(os.path.abspath(args.tarvo), workdir)
        built = time.monotonic()
        proc, port, path = start_browser(workdir)
        tab = open_tab(port, path)
        id_cache = {}
        self_check(tab, workdir, id_cache)

        pages = sorted(n for n in os.listdir(site) if n.endswith(".html"))
        if "index.html" not in pages:
            raise Failure("the site has no index.html")
        failed = 0
        for name in pages:
            problems = check_page(tab, os.path.join(site, name), id_cache)
            print(f"{name}: {'ok' if not problems else 'FAILED'}")
            for p in problems:
                print(f"  {p}")
            failed += bool(problems)

        for path, dark in ((args.screenshot, False), (args.dark_screenshot, True)):
            if path:
                os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
                check_page(tab, os.path.join(site, "index.html"), id_cache)
                screenshot(tab, path, dark)
                print(f"screenshot: {path}")
        tab.ws.close()
        print(f"site built in {built - started:.1f} s, checked in browser in "
              f"{time.monotonic() - built:.1f} s")
        print(f"{len(pages) - failed} passed, {failed} failed")
        return 1 if failed else 0
    except Failure as e:
        print(f"error: {e}", file=sys.stderr)
        log = os.path.join(workdir, "chromium.log")
        if os.path.exists(log):
            with open(log, errors="replace") as f:
                tail = f.read()[-2000:]
            if tail.strip():
                print("chromium's log ends with:\n" + tail, file=sys.stderr)
        return 1
    finally:
        if proc:
            stop_browser(proc)
        if args.keep:
            print(f"kept {workdir}")
        else:
            shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
