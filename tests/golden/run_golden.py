#!/usr/bin/env python3
"""End-to-end cases for the tarvo binary.

Each case is a directory holding the arguments, an input tree and the exact
output expected from one run: console text, exit code and the files the run
leaves behind. See README.md beside this script for the layout.

    run_golden.py --binary PATH [--update] [--keep] CASES_DIR [FILTER...]
    run_golden.py --windows --wrapper WINE --binary TARVO.EXE CASES_DIR [FILTER...]

--windows runs a Windows binary through the wrapper and expects the case's
Windows outcome (README.md says where a case keeps it).
"""

import argparse
import difflib
import fnmatch
import os
import pwd
import resource
import shlex
import shutil
import signal
import stat
import subprocess
import sys
import tempfile

TIMEOUT_SECONDS = 20
KINDS = (("link", stat.S_ISLNK), ("dir", stat.S_ISDIR), ("file", stat.S_ISREG), ("fifo", stat.S_ISFIFO),
         ("socket", stat.S_ISSOCK))


# ---- the file tree as a comparable value ----

def snapshot(root):
    """Maps every path under root (bytes, relative, hidden ones included) to
    (kind, payload). Links are recorded, never followed. Folders are read
    through their descriptors, so a tree deeper than the path limit works."""
    tree = {}
    pending = [(b"", os.open(os.fsencode(root), os.O_RDONLY | os.O_DIRECTORY))]
    while pending:
        rel, fd = pending.pop()
        try:
            for name in sorted(os.fsencode(n) for n in os.listdir(fd)):
                sub = os.path.join(rel, name) if rel else name
                mode = os.lstat(name, dir_fd=fd).st_mode
                kind = next((k for k, test in KINDS if test(mode)), "other")
                tree[sub] = (kind, b"")
                if kind == "link":
                    tree[sub] = (kind, os.readlink(name, dir_fd=fd))
                elif kind == "dir":
                    pending.append((sub, os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)))
                elif kind == "file":
                    with open(os.open(name, os.O_RDONLY, dir_fd=fd), "rb") as f:
                        tree[sub] = (kind, f.read())
        finally:
            os.close(fd)
    return tree


def show_bytes(data):
    return data.decode("utf-8", "backslashreplace")


def describe_difference(label, expected, actual):
    """A unified diff of the lines of two byte strings (at most 60 lines)."""
    def lines(data):
        return [show_bytes(x).replace("\r", "\\r") for x in data.splitlines(keepends=True)]
    diff = []
    for d in difflib.unified_diff(lines(expected), lines(actual), "expected " + label, "actual " + label, n=2):
        diff.append(d.rstrip("\n"))
        if not d.endswith("\n"):
            diff.append("\\ No newline at end of file")
    return diff[:60] or ["%s: the same lines, other line-end bytes" % label]


def compare_trees(expected, actual):
    problems = []
    for rel in sorted(set(expected) | set(actual)):
        name = show_bytes(rel)
        if rel not in actual:
            problems.append("missing: %s (%s)" % (name, expected[rel][0]))
        elif rel not in expected:
            problems.append("extra: %s (%s)" % (name, actual[rel][0]))
        elif expected[rel][0] != actual[rel][0]:
            problems.append("kind of %s: expected %s, got %s" % (name, expected[rel][0], actual[rel][0]))
        elif expected[rel][1] != actual[rel][1]:
            problems.append("changed: %s" % name)
            problems.extend("  " + x for x in describe_difference(name, expected[rel][1], actual[rel][1]))
    return problems


# ---- one case ----

def read_args(path):
    """One argument per line, taken as bytes; the last line end is optional."""
    data = read_file(path)
    return data[:-1].split(b"\n") if data.endswith(b"\n") else data.split(b"\n") if data else []


def read_limits(path):
    """Optional limits for the binary: lines "fsize BYTES" (file-size limit)
    and "user NAME" (run as that user when the runner is root)."""
    lines = read_file(path).decode().splitlines() if os.path.exists(path) else []
    limits = [line.split() for line in lines if line.split() and not line.lstrip().startswith("#")]
    if any(len(words) != 2 or words[0] not in ("fsize", "user") for words in limits):
        raise ValueError("limits: cannot read %s" % path)
    return limits


def run_script(script, cwd, env):
    proc = subprocess.run(["bash", script], cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=TIMEOUT_SECONDS)
    return proc.returncode, proc.stdout


def other_users(limits):
    """The users a case runs its binary as: those of its "user" lines, when
    the runner is root (otherwise the binary runs as the runner)."""
    return [pwd.getpwnam(value) for which, value in limits if which == "user" and os.geteuid() == 0]


def place_for_other_users():
    """A temporary folder that every user can reach (every folder from the
    root down to it lets others through), or None where there is none."""
    for base in (tempfile.gettempdir(), "/tmp", "/var/tmp", "/dev/shm"):
        path = os.path.realpath(base)
        if not os.path.isdir(path):
            continue
        while os.stat(path).st_mode & stat.S_IXOTH and os.path.dirname(path) != path:
            path = os.path.dirname(path)
        if os.stat(path).st_mode & stat.S_IXOTH:
            return base
    return None


def run_binary(command, args, cwd, env, limits, wine, stdin=None):
    users = other_users(limits)
    for user in users:
        subprocess.run(["chown", "-R", "%d:%d" % (user.pw_uid, user.pw_gid), cwd], check=True)

    def prepare():
        if wine:
            # A Windows program under Wine cannot ignore the signal of a
            # write past the size limit: the wrapper does it for it.
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        for which, value in limits:
            if which == "fsize":
                resource.setrlimit(resource.RLIMIT_FSIZE, (int(value), int(value)))
        for user in users:
            os.setgroups([])
            os.setgid(user.pw_gid)
            os.setuid(user.pw_uid)

    proc = subprocess.Popen(command + args, cwd=cwd, env=env,
                            stdin=subprocess.DEVNULL if stdin is None else subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, preexec_fn=prepare,
                            start_new_session=True)
    try:
        out, err = proc.communicate(stdin, timeout=TIMEOUT_SECONDS)
        return proc.returncode, out, err, False
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        out, err = proc.communicate()
        return None, out, err, True


def read_file(path):
    with open(path, "rb") as f:
        return f.read()


def write_file(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def write_expected_tree(case_dir, before, after):
    """--update: expected/ becomes every entry that the run added or changed."""
    notes = []
    exp_root = os.path.join(case_dir, "expected")
    if os.path.isdir(exp_root):
        shutil.rmtree(exp_root)
    for rel in sorted(after):
        kind, payload = after[rel]
        if rel in before and before[rel] == after[rel]:
            continue
        target = os.path.join(os.fsencode(exp_root), rel)
        if kind == "dir":
            os.makedirs(target, exist_ok=True)
        elif kind == "file":
            write_file(target, payload)
        elif kind == "link":
            os.makedirs(os.path.dirname(target), exist_ok=True)
            os.symlink(payload, target)
        else:
            notes.append("cannot store new %s %s in expected/" % (kind, show_bytes(rel)))
    for rel in sorted(set(before) - set(after)):
        notes.append("the run removed %s: expected/ cannot say so" % show_bytes(rel))
    return notes


def crlf(data):
    return data.replace(b"\n", b"\r\n")


def start_wine_server(wine):
    """Starts a wine server that outlives single runs (it ends by itself ten
    seconds after the last one) unless one runs: a server started by a run
    would inherit the run's resource limits."""
    server = os.path.join(os.path.dirname(wine[0]), b"wineserver")
    subprocess.run([server if os.access(server, os.X_OK) else b"wineserver", b"-p10"], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class LostConsole(Exception):
    """A Windows run under Wine whose standard output came back empty."""


def expected_console(case_dir, name, wine):
    if wine and os.path.exists(os.path.join(case_dir, "windows-" + name)):
        name = "windows-" + name
    expected = read_file(os.path.join(case_dir, name))
    return crlf(expected) if wine else expected


def run_case(binary, case_dir, update, keep, wine=None, shared_place=None, jobs=None):
    """Returns a list of problems (empty when the case passed). wine: the
    wrapper that runs a Windows binary, as a list of words. shared_place: a
    folder every user can reach, for a case run as another user: its scratch
    tree and a copy of the binary go there, wherever the clone is."""
    problems = []
    scratch = tempfile.mkdtemp(prefix="tarvo-golden-", dir=shared_place)
    work = os.path.join(scratch, "run")
    if shared_place:
        os.chmod(scratch, 0o755)
        binary = shutil.copy(binary, os.path.join(scratch, os.path.basename(binary)))
    command = (wine or []) + [os.fsencode(binary)]
    env = dict(os.environ, TARVO=binary, CASE_DIR=case_dir)
    if wine:
        # $TARVO runs the binary through the wrapper; $WINE is the wrapper
        # (to run attrib and the like).
        env["TARVO"] = os.path.join(scratch, "tarvo")
        write_file(env["TARVO"], b'#!/bin/sh\nexec %s "$@"\n' % b" ".join(shlex.quote(os.fsdecode(c)).encode()
                                                                       for c in command))
        os.chmod(env["TARVO"], 0o755)
        env["WINE"] = " ".join(shlex.quote(os.fsdecode(w)) for w in wine)
    try:
        in_dir = os.path.join(case_dir, "in")
        if os.path.isdir(in_dir):
            shutil.copytree(in_dir, work, symlinks=True)
        else:
            os.mkdir(work)

        setup = os.path.join(case_dir, "setup.sh")
        if os.path.exists(setup):
            rc, out = run_script(setup, work, env)
            if rc != 0:
                return ["setup.sh failed with %d:" % rc, show_bytes(out)]

        args = read_args(os.path.join(case_dir, "args"))
        if jobs and args:
            args = [b"--jobs", str(jobs).encode()] + args
        limits = read_limits(os.path.join(case_dir, "limits"))
        before = snapshot(work)
        if wine:
            start_wine_server(wine)
        stdin_file = os.path.join(case_dir, "stdin")
        stdin = read_file(stdin_file) if os.path.exists(stdin_file) else None
        code, out, err, timed_out = run_binary(command, args, work, env, limits, wine, stdin)
        after = snapshot(work)
        if wine and not update and not out and expected_console(case_dir, "stdout", wine):
            # Rarely, on a loaded machine, Wine starts a program without its
            # standard output: not even the banner comes back, while the exit
            # code and the files are right. The caller runs such a case again.
            raise LostConsole()
        if timed_out:
            problems.append("the binary did not end within %d s" % TIMEOUT_SECONDS)

        if update and wine:
            # Only the console text of a Windows run is its own: kept in
            # windows-stdout and windows-stderr where it differs.
            for name, actual in (("stdout", out), ("stderr", err)):
                path, lf = os.path.join(case_dir, "windows-" + name), actual.replace(b"\r\n", b"\n")
                if lf != read_file(os.path.join(case_dir, name)):
                    write_file(path, lf)
                elif os.path.exists(path):
                    os.remove(path)
        elif update:
            write_file(os.path.join(case_dir, "stdout"), out)
            write_file(os.path.join(case_dir, "stderr"), err)
            write_file(os.path.join(case_dir, "exit"), b"%d\n" % (code if code is not None else -1))
            for note in write_expected_tree(case_dir, before, after):
                print("  note: " + note)

        # The console and the exit code.
        for name, actual in (("stdout", out), ("stderr", err)):
            expected = expected_console(case_dir, name, wine)
            if expected != actual:
                problems.extend(describe_difference(name, expected, actual))
        wanted = int(read_file(os.path.join(case_dir, "exit")))
        if code != wanted:
            problems.append("exit code: expected %d, got %s" % (wanted, "none (killed)" if code is None else code))

        # The tree: inputs unchanged, plus exactly the expected files.
        wanted_tree = dict(before)
        exp_dir = os.path.join(case_dir, "expected")
        if os.path.isdir(exp_dir):
            wanted_tree.update((rel, (kind, crlf(data) if wine and kind == "file" else data))
                               for rel, (kind, data) in snapshot(exp_dir).items())
        problems.extend(compare_trees(wanted_tree, after))

        check = os.path.join(case_dir, "check.sh")
        if os.path.exists(check):
            rc, text = run_script(check, work, env)
            if rc != 0:
                problems.append("check.sh failed with %d:" % rc)
                problems.extend("  " + x for x in show_bytes(text).splitlines())
    except subprocess.TimeoutExpired as e:
        problems.append("a script did not end within %d s: %s" % (TIMEOUT_SECONDS, e.cmd))
    except (OSError, ValueError) as e:
        problems.append("cannot run the case: %s" % e)
    finally:
        if keep:
            print("  scratch kept: " + work)
        else:
            # rm copes with trees deeper than the path limit.
            subprocess.run(["chmod", "-R", "u+rwX", scratch], stderr=subprocess.DEVNULL)
            subprocess.run(["rm", "-rf", scratch])
    return problems


def selected(name, filters):
    return not filters or any(f in name or fnmatch.fnmatchcase(name, f) for f in filters)


def main():
    parser = argparse.ArgumentParser(description="Run the end-to-end cases of the tarvo binary.")
    parser.add_argument("--binary", required=True, help="the tarvo executable")
    parser.add_argument("--update", action="store_true",
                        help="rewrite stdout, stderr, exit and expected/ from an actual run, with --windows "
                             "windows-stdout and windows-stderr (review every updated case by hand)")
    parser.add_argument("--keep", action="store_true", help="keep the scratch directories")
    parser.add_argument("--windows", action="store_true",
                        help="run a Windows binary through --wrapper and expect the Windows outcome")
    parser.add_argument("--wrapper", default="wine64", help="the command that runs a Windows binary")
    parser.add_argument("--jobs", type=int,
                        help="put --jobs N before the arguments of every case that has some: a run on N "
                             "threads must end as the case says a run ends")
    parser.add_argument("cases", help="the directory of cases")
    parser.add_argument("filters", nargs="*", help="run only cases whose names contain or match these")
    opts = parser.parse_args()

    binary = os.path.abspath(opts.binary)
    if not os.access(binary, os.X_OK):
        print("no executable binary at %s" % binary)
        return 2
    cases_dir = os.path.abspath(opts.cases)
    names = sorted(n for n in os.listdir(cases_dir)
                   if os.path.isdir(os.path.join(cases_dir, n)) and selected(n, opts.filters))

    wine = None
    if opts.windows:
        wine = [os.fsencode(w) for w in shlex.split(opts.wrapper)]
        # A first run makes the prefix, so that no case sees the messages of
        # its making.
        start_wine_server(wine)
        subprocess.run(wine + [os.fsencode(binary)], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=300)

    passed = failed = skipped = 0
    for name in names:
        case_dir = os.path.join(cases_dir, name)
        marker = os.path.join(case_dir, "posix-only")
        if wine and os.path.exists(marker):
            skipped += 1
            print("skip %s (%s)" % (name, read_file(marker).decode().partition("\n")[0].strip() or "posix-only"))
            continue
        shared_place = None
        if other_users(read_limits(os.path.join(case_dir, "limits"))):
            shared_place = place_for_other_users()
            if shared_place is None:
                skipped += 1
                print("skip %s (no temporary folder that other users can reach)" % name)
                continue
        try:
            problems = run_case(binary, case_dir, opts.update, opts.keep, wine, shared_place, opts.jobs)
        except LostConsole:
            print("note %s: Wine gave the program no standard output; run again" % name)
            try:
                problems = run_case(binary, case_dir, opts.update, opts.keep, wine, shared_place, opts.jobs)
            except LostConsole:
                problems = ["no standard output in two runs"]
        failed += bool(problems)
        passed += not problems
        print("\n    ".join(["FAIL %s" % name if problems else "ok   %s" % name] + problems))
    if not names:
        print("no case selected")
    print("%d passed, %d failed" % (passed, failed) + (", %d skipped" % skipped if wine or skipped else ""))
    return 0 if failed == 0 and names else 1


if __name__ == "__main__":
    sys.exit(main())
