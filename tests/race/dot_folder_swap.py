#!/usr/bin/env python3
"""A DOT file never lands outside the work folder, even when a folder on its
way is swapped for a link to an outside folder while Tarvo writes into it.

    dot_folder_swap.py TARVO

A thread exchanges dot/sub (a real folder) and dot/swap (a link to a folder
outside the work folder) with renameat2(RENAME_EXCHANGE) as fast as it can,
while Tarvo stores many DOT files named sub/dN, run after run with new text.
The outside folder holds files of those names; it must end exactly as it
began. Tarvo may refuse a DOT file whose folder is the link at that moment.
Exit status: 0 passed, 1 failed, 77 when the system cannot exchange names.
"""

import os
import re
import subprocess
import sys
import tempfile
import time

from exchange import Exchanger, changed, verdict

DIAGRAMS = 300
MIN_SECONDS, MAX_SECONDS = 2, 10


def tree(root):
    """Every file under root with its bytes."""
    found = {}
    for folder, _, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, root)] = f.read()
    return found


def main():
    tarvo = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory(prefix="tarvo-swap-") as scratch:
        work, outside = os.path.join(scratch, "work"), os.path.join(scratch, "outside")
        sub, swap = [os.path.join(work, "dot", n) for n in ("sub", "swap")]
        os.makedirs(sub)
        os.makedirs(outside)
        for i in range(DIAGRAMS):
            with open(os.path.join(outside, "d%d.dot" % i), "w") as f:
                f.write("a file of the user's, outside the work folder\n")
        os.symlink(outside, swap)
        planted = tree(outside)

        exchanger = Exchanger(sub, swap)
        if not exchanger.works():
            print("skipped: this system cannot exchange two names (renameat2)")
            return 77

        runs = refused = 0
        start = time.monotonic()
        with exchanger:
            while True:
                elapsed = time.monotonic() - start
                if elapsed >= MAX_SECONDS or (elapsed >= MIN_SECONDS and refused and runs > 1):
                    break
                runs += 1
                with open(os.path.join(work, "page.wiki"), "w") as f:
                    for i in range(DIAGRAMS):
                        f.write('<graphviz name="sub/d%d">digraph { run%d -> d%d }</graphviz>\n' % (i, runs, i))
                out = subprocess.run([tarvo, "-wrk", "dot/", "page.wiki"], cwd=work, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60).stdout
                refused += len(re.findall(rb"Can't create dot/sub/d\d+\.dot", out))

        written = [p for p in tree(os.path.join(work, "dot")) if p.endswith(".dot")]
        print("%d runs, %d exchanges, %d DOT files refused, %d stored inside" % (runs, exchanger.swaps, refused,
                                                                              len(written)))
        problems = ["written outside the work folder: %s" % n for n in changed(planted, tree(outside))]
        if not refused or not written:
            problems.append("the exchange never met a write: nothing shown")
        return verdict(problems)


if __name__ == "__main__":
    sys.exit(main())
