#!/usr/bin/env python3
"""A page is written in the folder where it was checked, even when the output
folder is swapped for a link to another folder while Tarvo writes into it.

    page_folder_swap.py TARVO

A thread exchanges out/sub (a real folder) and out/swap (a link to a folder
outside) with renameat2(RENAME_EXCHANGE) as fast as it can, while Tarvo
converts many pages into out/sub/, run after run with new text. The outside
folder holds, under every page's name, a link to a file of the user's. Links
in the output folder's path are followed, so a page whose folder is the
outside one when it is opened meets the link there and is refused (which ends
that run). A page checked in the real folder must be put in place there too:
the outside folder and the linked file must end exactly as they began.
Exit status: 0 passed, 1 failed, 77 when the system cannot exchange names.
"""

import os
import re
import subprocess
import sys
import tempfile
import time

from exchange import Exchanger, changed, verdict

PAGES = 40
MIN_SECONDS, MAX_SECONDS = 2, 10


def entries(folder):
    """Every name in folder with its kind and, for a link, its target."""
    return {name: os.readlink(os.path.join(folder, name)) if os.path.islink(os.path.join(folder, name))
            else os.lstat(os.path.join(folder, name)).st_mode for name in os.listdir(folder)}


def main():
    tarvo = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory(prefix="tarvo-swap-") as scratch:
        work, outside, users = [os.path.join(scratch, n) for n in ("work", "outside", "users-file")]
        sub, swap = [os.path.join(work, "out", n) for n in ("sub", "swap")]
        os.makedirs(sub)
        os.makedirs(outside)
        with open(users, "w") as f:
            f.write("a file of the user's, outside the output folder\n")
        for i in range(PAGES):
            os.symlink(users, os.path.join(outside, "p%d.html" % i))
        os.symlink(outside, swap)
        planted = entries(outside)
        real = os.open(sub, os.O_RDONLY | os.O_DIRECTORY)  # wherever the exchanges leave it

        exchanger = Exchanger(sub, swap)
        if not exchanger.works():
            print("skipped: this system cannot exchange two names (renameat2)")
            return 77

        runs = refused = written = 0
        start = time.monotonic()
        with exchanger:
            while True:
                elapsed = time.monotonic() - start
                if elapsed >= MAX_SECONDS or (elapsed >= MIN_SECONDS and refused and written > PAGES):
                    break
                runs += 1
                for i in range(PAGES):
                    with open(os.path.join(work, "p%d.wiki" % i), "w") as f:
                        f.write("= Run %d =\n" % runs + "A line of page %d.\n" % i * 200)
                out = subprocess.run([tarvo, "*.wiki", "out/sub/"], cwd=work, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60).stdout
                written += len(re.findall(rb"Handling p\d+\.wiki -> out/sub/p\d+\.html\n", out))
                refused += len(re.findall(rb"Can't create out/sub/p\d+\.html \(it is a symbolic link\)", out))

        inside = sorted(os.listdir(real))
        os.close(real)
        print("%d runs, %d exchanges, %d pages written, %d refused, %d in the real folder" % (
            runs, exchanger.swaps, written, refused, len(inside)))
        problems = ["in the real folder: %s" % n for n in inside if not re.fullmatch(r"p\d+\.html", n)]
        problems += ["changed outside the output folder: %s" % n for n in changed(planted, entries(outside))]
        with open(users) as f:
            if f.read() != "a file of the user's, outside the output folder\n":
                problems.append("written through a link: the user's file")
        if not refused or not written:
            problems.append("the exchange never met a page: nothing shown")
        return verdict(problems)


if __name__ == "__main__":
    sys.exit(main())
