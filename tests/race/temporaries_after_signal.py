#!/usr/bin/env python3
"""No temporary is left behind when a signal ends a run on several threads.

    temporaries_after_signal.py TARVO [TRIALS]

Tarvo rebuilds 2,000 changed pages with a diagram each, with --jobs 4, into
out/, which is also the work folder: every page and DOT file replaces an
older one, which takes a named temporary at least for a moment. At a random
moment of the run Tarvo gets SIGINT, SIGTERM or SIGHUP, in turn, TRIALS times
(200 unless told). After each, no .tarvo-*.tmp may be left in out/, and Tarvo
must have ended by the signal. About 20 seconds per 100 trials. (Where a
thread could name a temporary after the handler had removed the others, 1 to
8 trials in 100 left one.)
Exit status: 0 passed, 1 failed.
"""

import os
import random
import signal
import subprocess
import sys
import tempfile
import time

from exchange import verdict

PAGES = 2000
SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)


def write_sources(src, version):
    for i in range(PAGES):
        with open(os.path.join(src, "p%04d.txt" % i), "w") as f:
            f.write("= Page %d, version %d =\nText.\n<graphviz name=\"g%04d\">digraph { v%d -> p%d }</graphviz>\n"
                    % (i, version, i, version, i))


def main():
    tarvo = os.path.abspath(sys.argv[1])
    trials = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    command = [tarvo, "+r", "--jobs", "4", "src/*.txt", "out/", "-wrk", "out/"]
    problems = []
    random.seed(28)
    # In memory where there is a tmpfs: the sources are written anew at every trial.
    memory = "/dev/shm" if os.path.isdir("/dev/shm") and os.access("/dev/shm", os.W_OK) else None
    with tempfile.TemporaryDirectory(prefix="tarvo-signal-", dir=memory) as work:
        src, out = os.path.join(work, "src"), os.path.join(work, "out")
        os.makedirs(src)
        write_sources(src, 0)
        subprocess.run(command, cwd=work, stdout=subprocess.DEVNULL, check=True)
        write_sources(src, 1)
        start = time.monotonic()
        subprocess.run(command, cwd=work, stdout=subprocess.DEVNULL, check=True)
        whole = time.monotonic() - start
        ended = 0
        for trial in range(trials):
            sig = SIGNALS[trial % len(SIGNALS)]
            write_sources(src, trial + 2)
            run = subprocess.Popen(command, cwd=work, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
            time.sleep(random.uniform(0.05, 0.9) * whole)
            run.send_signal(sig)
            status = run.wait(timeout=60)
            ended += status == -sig
            if status == 0:  # the run was faster than the first: aim earlier
                whole *= 0.9
            if status not in (-sig, 0):
                problems.append("trial %d: Tarvo ended with %d after %s" % (trial, status, sig.name))
            left = [name for name in os.listdir(out) if name.startswith(".tarvo-")]
            if left:
                problems.append("trial %d: %s left %d: %s" % (trial, sig.name, len(left), " ".join(left[:3])))
                for name in left:
                    os.unlink(os.path.join(out, name))
        print("%d trials (a whole run %.2f s), %d ended by the signal, %d left temporaries"
              % (trials, whole, ended, sum("left" in p for p in problems)))
        if ended < trials // 2:
            problems.append("only %d of %d runs were still going when the signal came" % (ended, trials))
    return verdict(problems)


if __name__ == "__main__":
    sys.exit(main())
