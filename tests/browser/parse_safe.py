#!/usr/bin/env python3
"""Converts every page of the corpus (tests/corpus) and of the example site
(examples/site, with its template) with --safe, and reads each page as a
browser does, with html5lib: no element may carry an on... attribute, no
address may have a scheme other than http, https, ftp and mailto (the frame's
own man: link aside), no link may lie in a link, and every tag of the text
that is not also one Tarvo writes itself must be closed, in order, before the
block around it ends. The same pages made without --safe must fail these
checks, or the checks would prove nothing.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

try:
    import html5lib
    from html5lib._tokenizer import HTMLTokenizer
except ImportError:
    # Debian's html5lib is installed for Debian's Python, which need not be
    # the python3 found first on PATH.
    if sys.executable != "/usr/bin/python3" and os.path.exists("/usr/bin/python3"):
        os.execv("/usr/bin/python3", ["/usr/bin/python3", *sys.argv])
    sys.exit("error: html5lib is missing: run scripts/install-deps.sh test")

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
ADDRESSES = {"href", "src", "cite", "action", "formaction", "background", "poster", "data",
             "codebase", "longdesc", "lowsrc", "dynsrc", "xlink:href"}
SCHEMES = {"http", "https", "ftp", "mailto"}
# Tags of the text that Tarvo never writes itself (b, i, a, p, pre and img it
# does), and the tags of the blocks it writes around text.
CHECKED = {"blockquote", "code", "del", "div", "font", "ins", "s", "span", "strike", "tt", "u"}
BLOCKS = {"p", "pre", "li", "dd", "dt", "td", "th", "caption", "h1", "h2", "h3", "h4", "h5", "h6",
          "h7", "ul", "ol", "dl", "tr", "tbody", "table", "body"}
START, END, EMPTY = 3, 4, 5  # html5lib's token types


def scheme(value):
    """The scheme of an address as a browser reads it, or None."""
    value = re.sub(r"[\t\n\r]", "", value.lstrip("".join(map(chr, range(33)))))
    m = re.match(r"([A-Za-z][A-Za-z0-9+.-]*):", value)
    return m.group(1).lower() if m else None


def problems(path):
    text = open(path, encoding="utf-8", errors="replace").read()
    found = []
    for el in html5lib.parse(text, namespaceHTMLElements=False).iter():
        for name, value in el.attrib.items():
            if name.lower().startswith("on"):
                found.append(f"<{el.tag} {name}>")
            elif name.lower() in ADDRESSES and scheme(value) not in SCHEMES | {None}:
                if not (el.tag == "a" and value == "man:tarvo(1)"):
                    found.append(f"<{el.tag} {name}={value!r}>")
    stack, links = [], 0
    for token in HTMLTokenizer(text):
        kind, name = token["type"], token.get("name", "")
        if kind in (START, EMPTY) and name == "a":
            if links:
                found.append("a link in a link")
            links = 1
        elif kind == END and name == "a":
            links = 0
        elif kind == START and name in CHECKED | BLOCKS:
            stack.append(name)
        elif kind == END and name in CHECKED:
            if not stack or stack[-1] != name:
                found.append(f"</{name}> closes {stack[-1:] or 'nothing'}")
            elif stack:
                stack.pop()
        elif kind == END and name in BLOCKS and name in stack:
            while (inner := stack.pop()) != name:
                if inner in CHECKED:
                    found.append(f"<{inner}> left open at </{name}>")
    return found + [f"<{name}> left open at the end" for name in stack if name in CHECKED]


def convert(tarvo, workdir, safe):
    """Both trees converted, with --safe or without; the pages made."""
    top = os.path.join(workdir, "safe" if safe else "plain")
    corpus, site = os.path.join(top, "corpus"), os.path.join(top, "site")
    shutil.copytree(os.path.join(ROOT, "tests", "corpus"), corpus)
    shutil.copytree(os.path.join(ROOT, "examples", "site"), site)
    option = ["--safe"] if safe else []
    for folder, args in ((corpus, ["+r", "-wrk", "dot/", "*.wiki"]),
                         (site, ["-tmpl", "template.html", "-wrk", "dot/", "*.wiki"])):
        run = subprocess.run([tarvo] + option + args, cwd=folder, stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, timeout=300)
        if run.returncode != 0:
            raise SystemExit("error: tarvo failed:\n" + run.stdout.decode(errors="replace"))
    return sorted(os.path.join(d, n) for d, _, names in os.walk(top) for n in names
                  if n.endswith(".html") and n != "template.html")


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--tarvo", required=True)
    args = ap.parse_args()
    workdir = tempfile.mkdtemp(prefix="tarvo-parse-")
    try:
        tarvo = os.path.abspath(args.tarvo)
        bad = 0
        pages = convert(tarvo, workdir, True)
        for page in pages:
            if found := problems(page):
                bad += 1
                print(f"{os.path.relpath(page, workdir)}:\n  " + "\n  ".join(found[:10]))
        plain = convert(tarvo, workdir, False)
        caught = sum(bool(problems(page)) for page in plain)
    finally:
        shutil.rmtree(workdir, ignore_errors=True)
    print(f"with --safe {len(pages) - bad} of {len(pages)} pages pass; "
          f"without it {caught} of {len(plain)} pages fail the same checks")
    return 1 if bad or not caught else 0


if __name__ == "__main__":
    sys.exit(main())
