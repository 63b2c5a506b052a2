#!/usr/bin/env python3
"""No `dot` keeps running once Tarvo is stopped by a signal.

    dot_left_running.py TARVO [--portable]

A stand-in `dot` notes its process id and hangs. Tarvo makes the pictures of
more diagrams than --jobs at once, so that as many stand-ins hang together;
then Tarvo gets SIGTERM (at --jobs 300, more than any fixed table of a few
hundred holds), SIGINT or SIGHUP (at --jobs 20), or SIGKILL (at --jobs 300,
on Linux only, where a child dies with the thread that started it; not with
--portable, a build of the plain POSIX code). Every stand-in must be gone
soon after Tarvo.
Exit status: 0 passed, 1 failed, 77 when the stand-in cannot be run here.
"""

import os
import signal
import subprocess
import sys
import tempfile
import time

from exchange import verdict

HANG = "987654"  # the stand-in's sleep, to know it among other processes


def alive(pid, dot):
    """The stand-in of this id runs, as the script dot or as its sleep:
    neither gone, nor a zombie, nor another program."""
    try:
        with open("/proc/%d/stat" % pid, "rb") as f:
            stat = f.read()
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            command = f.read()
    except FileNotFoundError:
        return False
    except OSError:  # no /proc: ask the system whether the id exists
        try:
            os.kill(pid, 0)
            return True
        except ProcessLookupError:
            return False
    ours = HANG.encode() in command or dot.encode() in command
    return stat[stat.rfind(b")") + 2:][:1] != b"Z" and ours


def started(marks):
    return [int(name) for name in os.listdir(marks)]


def trial(tarvo, scratch, sig, jobs):
    """One run stopped by sig while jobs stand-ins hang; the problems seen."""
    work = os.path.join(scratch, "%s-%d" % (sig.name, jobs))
    marks = os.path.join(work, "started")
    os.makedirs(marks)
    dot = os.path.join(work, "dot")
    with open(dot, "w") as f:
        f.write('#!/bin/sh\necho > "%s/$$"\nexec sleep %s\n' % (marks, HANG))
    os.chmod(dot, 0o755)
    with open(os.path.join(work, "page.wiki"), "w") as f:
        for i in range(jobs + 10):
            f.write('<graphviz name="g%d">digraph { a -> b%d }</graphviz>\n' % (i, i))
    run = subprocess.Popen([tarvo, "--svg", "--jobs", str(jobs), "--dot", dot, "--dot-timeout", "120",
                            "page.wiki"], cwd=work, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
    problems = []
    try:
        deadline = time.monotonic() + 60
        while len(started(marks)) < jobs and time.monotonic() < deadline and run.poll() is None:
            time.sleep(0.05)
        time.sleep(0.2)  # the last ones from their note to their sleep
        hanging = started(marks)
        if len(hanging) < jobs:
            problems.append("%s: only %d of %d stand-ins started" % (sig.name, len(hanging), jobs))
        run.send_signal(sig)
        status = run.wait(timeout=30)
        if status != -sig:
            problems.append("%s: Tarvo ended with %d, not by the signal" % (sig.name, status))
        deadline = time.monotonic() + 5
        while any(alive(pid, dot) for pid in hanging) and time.monotonic() < deadline:
            time.sleep(0.05)
        left = [pid for pid in hanging if alive(pid, dot)]
        print("%s at --jobs %d: %d stand-ins hanging, %d left running" % (sig.name, jobs, len(hanging), len(left)))
        if left:
            problems.append("%s at --jobs %d: %d of %d stand-ins left running" % (sig.name, jobs, len(left),
                                                                                 len(hanging)))
    finally:
        if run.poll() is None:
            run.kill()
            run.wait()
        # What this test started, by its id; a stand-in that was just being
        # started notes itself a moment later.
        for _ in range(10):
            for pid in started(marks):
                if alive(pid, dot):
                    os.kill(pid, signal.SIGKILL)
            time.sleep(0.1)
    return problems


def main():
    tarvo = os.path.abspath(sys.argv[1])
    portable = "--portable" in sys.argv[2:]
    if not os.path.exists("/bin/sh"):
        print("skipped: no /bin/sh for the stand-in dot")
        return 77
    trials = [(signal.SIGTERM, 300), (signal.SIGINT, 20), (signal.SIGHUP, 20)]
    if sys.platform.startswith("linux") and not portable:
        trials.append((signal.SIGKILL, 300))
    problems = []
    with tempfile.TemporaryDirectory(prefix="tarvo-dot-") as scratch:
        for sig, jobs in trials:
            problems += trial(tarvo, scratch, sig, jobs)
    return verdict(problems)


if __name__ == "__main__":
    sys.exit(main())
