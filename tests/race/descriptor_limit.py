#!/usr/bin/env python3
"""A run on many threads stays under the process's limit of open files.

    descriptor_limit.py TARVO

Under a limit of 1,024 open files, a tree of 2,000 pages in 80 folders is
converted into one output folder at --jobs 32, and its pages' diagrams made
into pictures at --jobs 256 by a stand-in dot: each run must end as the same
run at --jobs 1 ends (pages, pictures, console, exit status).
Exit status: 0 passed, 1 failed, 77 when the limit cannot be set here.
"""

import filecmp
import os
import resource
import subprocess
import sys
import tempfile

from exchange import verdict

LIMIT = 1024
DOT = "#!/bin/sh\nprintf '<svg>%s</svg>\\n' \"$(cat \"$2\")\"\n"


def tree(root):
    for d in range(80):
        os.makedirs(os.path.join(root, "src", "d%d" % d))
        for p in range(25):
            with open(os.path.join(root, "src", "d%d" % d, "p%d-%d.txt" % (d, p)), "w") as f:
                f.write("= Page %d %d =\n" % (d, p))
                if p % 5 == 0:  # one page in five shows a diagram
                    f.write('<graphviz name="g%d-%d">digraph{a%d->b%d}</graphviz>\n' % (d, p, d, p))
    with open(os.path.join(root, "dot"), "w") as f:
        f.write(DOT)
    os.chmod(os.path.join(root, "dot"), 0o755)


def limited():
    resource.setrlimit(resource.RLIMIT_NOFILE, (LIMIT, LIMIT))


def run(tarvo, root, jobs, out, pictures):
    args = [tarvo, "--jobs", str(jobs), "+r", "-wrk", out + ".dot/"]
    if pictures:
        args += ["--svg", "--dot", "./dot"]
    result = subprocess.run(args + ["src/*.txt", out + "/"], cwd=root, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, preexec_fn=limited, timeout=300)
    # The same console but for the output folder's name.
    text = (result.stdout + result.stderr).replace(out.encode() + b"/", b"OUT/").replace(out.encode() + b".dot/", b"DOT/")
    return result.returncode, text


def same_trees(a, b):
    compared = filecmp.dircmp(a, b)
    if compared.left_only or compared.right_only or compared.diff_files:
        return False
    return all(same_trees(os.path.join(a, d), os.path.join(b, d)) for d in compared.common_dirs)


def main():
    tarvo = os.path.abspath(sys.argv[1])
    try:
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        if hard != resource.RLIM_INFINITY and hard < LIMIT:
            print("the hard limit of open files is below %d" % LIMIT)
            return 77
    except (ValueError, OSError):
        return 77
    problems = []
    with tempfile.TemporaryDirectory() as root:
        tree(root)
        for jobs, pictures in ((32, False), (256, True)):
            name = "jobs%d%s" % (jobs, "-svg" if pictures else "")
            serial = run(tarvo, root, 1, name + "-serial", pictures)
            many = run(tarvo, root, jobs, name, pictures)
            if serial[0] != 0:
                problems.append("%s: the run at --jobs 1 failed:\n%s" % (name, serial[1][-400:].decode(errors="replace")))
            if many != serial:
                problems.append("%s: the run at --jobs %d ended otherwise than at --jobs 1 (exit %d, not %d):\n%s"
                                % (name, jobs, many[0], serial[0], many[1][-400:].decode(errors="replace")))
            if not same_trees(os.path.join(root, name), os.path.join(root, name + "-serial")):
                problems.append("%s: the pages or pictures differ from those of --jobs 1" % name)
    return verdict(problems)


if __name__ == "__main__":
    sys.exit(main())
