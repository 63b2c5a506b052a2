#!/usr/bin/env python3
"""A file the run never wrote is not taken for its own when it got the
identity of one the run wrote (a reused inode).

    inode_reuse.py TARVO

While Tarvo converts a long page a.txt (whose diagram g it stored first as
out/g.dot), another process deletes out/g.dot and makes files until one gets
its inode, which it puts at out/b.html. Then Tarvo comes to b.txt: the file
at out/b.html is none of the run's, and the page replaces it. Five trials.
Exit status: 0 passed, 1 failed, 77 when the file system here never hands a
freed inode out again soon enough (tmpfs, for one).
"""

import os
import subprocess
import sys
import tempfile
import time

from exchange import verdict


def trial(tarvo, root):
    out = os.path.join(root, "out")
    os.makedirs(out)
    with open(os.path.join(root, "a.txt"), "w") as f:
        f.write('<graphviz name="g">digraph{a}</graphviz>\n')
        f.write(("''long'' page with [[links]] and text\n" * 200000))
    with open(os.path.join(root, "b.txt"), "w") as f:
        f.write("= B =\n")
    run = subprocess.Popen([tarvo, "--jobs", "1", "*.txt", "out/", "-wrk", "out/"], cwd=root,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    dot = os.path.join(out, "g.dot")
    while not os.path.exists(dot) and run.poll() is None:
        time.sleep(0.0005)
    got = False
    if run.poll() is None:
        inode = os.stat(dot).st_ino
        os.unlink(dot)
        for attempt in range(5000):
            candidate = os.path.join(out, "x%d" % attempt)
            with open(candidate, "w") as f:
                f.write("not Tarvo's\n")
            if os.stat(candidate).st_ino == inode:
                os.rename(candidate, os.path.join(out, "b.html"))
                got = True
                break
            os.unlink(candidate)
            if run.poll() is not None:
                break
    console, _ = run.communicate(timeout=120)
    return got, run.returncode, console.decode(errors="replace")


def main():
    tarvo = os.path.abspath(sys.argv[1])
    problems, reused = [], 0
    for n in range(5):
        with tempfile.TemporaryDirectory(dir=os.environ.get("TMPDIR", "/var/tmp")) as root:
            got, status, console = trial(tarvo, root)
            if not got:
                continue
            reused += 1
            page = open(os.path.join(root, "out", "b.html")).read()
            if status != 0 or "<h1>B</h1>" not in page:
                problems.append("trial %d: exit %d, out/b.html %s:\n%s" % (
                    n, status, "kept" if "Tarvo's" in page else "replaced", console[-300:]))
    if reused == 0:
        print("no freed inode was handed out again here")
        return 77
    print("%d of 5 trials reused the inode" % reused)
    return verdict(problems)


if __name__ == "__main__":
    sys.exit(main())
