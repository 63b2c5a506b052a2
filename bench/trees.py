"""Tree benchmarks of bench/run: a wiki of many small pages (the corpus ten
times over, about 26,600 pages) converted in one recursive run, beside
`cp -r` of the same tree, on tmpfs and on a freshly made journaled ext4 (a
loop mount, when run as root); the system calls each page costs; and the
run on several threads. Each round makes a fresh copy of the tree (not
timed), then times, in turn, `cp -r` of it, a first build and a rebuild;
the figures are medians over the rounds of the per-round ratios."""
import os
import shutil
import statistics
import subprocess
import tempfile
import time


def make_tree(corpus, dest, copies=10):
    os.makedirs(dest)
    for i in range(copies):
        shutil.copytree(corpus, os.path.join(dest, "c%d" % i))
    for dirpath, _, filenames in os.walk(dest):
        os.chmod(dirpath, 0o755)
        for f in filenames:
            os.chmod(os.path.join(dirpath, f), 0o644)
    return sum(1 for _, _, fs in os.walk(dest) for f in fs if f.endswith(".wiki"))


def timed(cmd, cwd=None):
    t0 = time.perf_counter()
    subprocess.run(cmd, cwd=cwd, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - t0


def syscalls_per_page(tarvo, tree, pages, scratch):
    """Calls per page of a first build and of a rebuild, counted by strace."""
    if not shutil.which("strace"):
        return None
    work = os.path.join(scratch, "strace-tree")
    shutil.copytree(tree, work)
    counts = []
    for _ in ("first", "rebuild"):
        log = os.path.join(scratch, "strace.txt")
        subprocess.run(["strace", "-f", "-c", "-o", log, tarvo, "+r", "*.wiki"], cwd=work, check=True,
                       stdout=subprocess.DEVNULL)
        total = [line for line in open(log) if line.rstrip().endswith("total")]
        counts.append(int(total[0].split()[3]) / pages if total else float("nan"))
    shutil.rmtree(work)
    return counts


def rounds(tarvo, tree, where, runs, extra=()):
    """Median ratios first build / cp -r and rebuild / cp -r in folder where."""
    first, rebuild, seconds = [], [], []
    for _ in range(runs):
        work = os.path.join(where, "work")
        shutil.copytree(tree, work)
        t_cp = timed(["cp", "-r", work, os.path.join(where, "copy")])
        t_first = timed([tarvo, *extra, "+r", "*.wiki"], cwd=work)
        t_re = timed([tarvo, *extra, "+r", "*.wiki"], cwd=work)
        shutil.rmtree(work)
        shutil.rmtree(os.path.join(where, "copy"))
        first.append(t_first / t_cp)
        rebuild.append(t_re / t_cp)
        seconds.append((t_cp, t_first, t_re))
    med = lambda i: statistics.median(s[i] for s in seconds)
    return statistics.median(first), statistics.median(rebuild), med(0), med(1), med(2)


def ext4_loop(scratch):
    """A freshly made ext4 file system mounted on a loop device, or None."""
    if os.geteuid() != 0 or not shutil.which("mkfs.ext4"):
        return None
    image = os.path.join(scratch, "ext4.img")
    mount = os.path.join(scratch, "ext4")
    os.makedirs(mount)
    with open(image, "wb") as f:
        f.truncate(3 * 1024 ** 3)
    ok = subprocess.run(["mkfs.ext4", "-q", "-F", image], stdout=subprocess.DEVNULL).returncode == 0 and \
        subprocess.run(["mount", "-o", "loop", image, mount]).returncode == 0
    return mount if ok else None


def tmpfs(scratch):
    """A tmpfs of our own when root, else /dev/shm when it is one."""
    mount = os.path.join(scratch, "tmpfs")
    os.makedirs(mount)
    if os.geteuid() == 0 and subprocess.run(["mount", "-t", "tmpfs", "-o", "size=3g", "tmpfs", mount]).returncode == 0:
        return mount
    shm = tempfile.mkdtemp(prefix="tarvo-bench-", dir="/dev/shm") if os.path.isdir("/dev/shm") else None
    return shm


def supports(tarvo, word):
    return subprocess.run([tarvo, word, "1", "--version"], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0


def report(tarvo, corpus, scratch, runs):
    tree = os.path.join(scratch, "tree")
    pages = make_tree(corpus, tree)
    print("(e) a tree of %d pages (the corpus ten times), one recursive run beside the sources" % pages)
    calls = syscalls_per_page(tarvo, tree, pages, scratch)
    if calls:
        print("  system calls per page: first build %.1f, rebuild %.1f (strace -f -c)" % tuple(calls))
    places = [("tmpfs", tmpfs(scratch)), ("ext4 (fresh loop mount)", ext4_loop(scratch))]
    jobs = [1, 2, os.cpu_count() or 2] if supports(tarvo, "--jobs") else []
    for name, where in places:
        if not where:
            print("  %s: not available here (needs root)" % name)
            continue
        try:
            f, r, t_cp, serial_f, serial_r = rounds(tarvo, tree, where, runs)
            print("  %-24s cp -r %.2f s, first build %.2f s (x%.2f of cp), rebuild %.2f s (x%.2f of cp)"
                  % (name, t_cp, serial_f, f, serial_r, r))
            for n in sorted(set(jobs)):
                f, r, t_cp, t_f, t_r = rounds(tarvo, tree, where, runs, ("--jobs", str(n)))
                print("  %-24s --jobs %d: first build %.2f s (x%.2f of cp, x%.2f of the run without --jobs), "
                      "rebuild %.2f s (x%.2f of cp, x%.2f)" % ("", n, t_f, f, t_f / serial_f, t_r, r, t_r / serial_r))
        finally:
            if where.startswith(scratch):
                subprocess.run(["umount", where], stderr=subprocess.DEVNULL)
            else:
                shutil.rmtree(where, ignore_errors=True)
    shutil.rmtree(tree)
