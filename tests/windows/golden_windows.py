"""The Windows mode of tests/golden/run_golden.py: it runs the Windows
binary through a wrapper (Wine) and derives the Windows outcome of a case by
the rules in tests/golden/README.md (posix-only cases, CR LF in written files
and on the console, "\\" in the paths of a recursive walk, listings in the
system's order)."""

import os
import re
import shlex
import subprocess

MARKER = "posix-only"


def skip_reason(case_dir):
    """The reason a case does not apply on Windows, or None."""
    path = os.path.join(case_dir, MARKER)
    if not os.path.exists(path):
        return None
    with open(path, "r", encoding="utf-8") as f:
        first = f.readline().strip()
    return first or "marked posix-only"


def crlf(data):
    return data.replace(b"\n", b"\r\n")


def file_arguments(args):
    """(input path, output argument, recursive) as the command line reads
    the arguments."""
    recursive = False
    found = []
    i = 0
    while i < len(args):
        arg = args[i]
        has_value = i + 1 < len(args)
        if arg == b"--":
            found += args[i + 1:]  # every later word is a file name
            break
        if arg.startswith(b"-"):
            second = arg[1:2]
            if arg in (b"-file", b"-gen", b"-tmpl", b"-wrk") and has_value:
                i += 1
            elif second == b"r":
                recursive = False
            elif second not in (b"f", b"g", b"t", b"w"):
                break  # an unknown option ends the run before any walk
        elif arg.startswith(b"+"):
            if arg[1:2] != b"r":
                break
            recursive = True
        else:
            found.append(arg)
        i += 1
    found += [None, None]
    return found[0], found[1], recursive


def directory_part(path):
    cut = max(path.rfind(b"/"), path.rfind(b"\\"), path.rfind(b":"))
    return path[:cut + 1]


def walk_prefixes(work, dir_part):
    """(POSIX prefix, Windows prefix) for every sub-directory chain under the
    input's directory part, longest first. Links to directories are followed
    as the walk follows them, but never back into a directory on the way."""
    start = os.path.join(os.fsencode(work), dir_part.replace(b"\\", b"/")) if dir_part else os.fsencode(work)
    pairs = []

    def visit(posix, windows, path, on_path):
        try:
            names = sorted(os.listdir(path))
        except OSError:
            return
        for name in names:
            full = os.path.join(path, name)
            real = os.path.realpath(full)
            if os.path.isdir(full) and real not in on_path:
                p, w = posix + name + b"/", windows + name + b"\\"
                pairs.append((dir_part + p, dir_part + w))
                visit(p, w, full, on_path | {real})

    visit(b"", b"", start, {os.path.realpath(start)})
    pairs.sort(key=lambda pw: -len(pw[0]))
    return pairs


def with_walk_separators(text, pairs, output):
    """Rule 4 on the console text. Page names formed from an output argument
    are left as they are."""
    if not pairs:
        return text
    table = dict(pairs)
    pattern = re.compile(rb"(?:^|(?<=[\s<]))(" + b"|".join(re.escape(p) for p, _ in pairs) + rb")", re.M)

    def replace(m):
        if output and text.startswith(output.strip(b" \t"), m.start()):
            return m.group(1)
        return table[m.group(1)]

    return pattern.sub(replace, text)


def folded_key(name):
    """The key Windows sorts a directory listing by."""
    units = name.decode("utf-8", "surrogateescape").encode("utf-16-le", "surrogatepass")
    key = []
    for i in range(0, len(units), 2):
        unit = units[i] | units[i + 1] << 8
        if not 0xD800 <= unit <= 0xDFFF:
            upper = chr(unit).upper()
            if len(upper) == 1 and ord(upper) <= 0xFFFF:
                unit = ord(upper)
        key.append(unit)
    return key


def order_differs(work):
    for dirpath, dirnames, filenames in os.walk(os.fsencode(work)):
        names = dirnames + filenames
        if sorted(names) != sorted(names, key=folded_key):
            return True
    return False


class WindowsMode:
    def __init__(self, wrapper):
        self.wrapper = shlex.split(wrapper)

    def command(self, binary):
        return [os.fsencode(w) for w in self.wrapper] + [os.fsencode(binary)]

    def ensure_server(self):
        """Starts a wine server that outlives single runs (it ends by itself
        ten seconds after the last one) unless one runs. A server started by
        a run would inherit the run's resource limits."""
        server = os.path.join(os.path.dirname(self.wrapper[0]), "wineserver")
        subprocess.run([server if os.access(server, os.X_OK) else "wineserver", "-p10"], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def start(self, binary):
        """Makes the prefix by a first run, so that no case sees the messages
        of its making."""
        self.ensure_server()
        subprocess.run(self.command(binary), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=300)

    def script_env(self, env, scratch, binary):
        """For the case scripts: $TARVO runs the binary through the wrapper,
        $WINE is the wrapper (to run attrib and the like)."""
        path = os.path.join(scratch, "tarvo")
        with open(path, "w", encoding="utf-8") as f:
            f.write("#!/bin/sh\nexec %s \"$@\"\n" % " ".join(shlex.quote(os.fsdecode(c)) for c in self.command(binary)))
        os.chmod(path, 0o755)
        env["TARVO"] = path
        env["WINE"] = " ".join(shlex.quote(c) for c in self.wrapper)

    def prepare(self, args, work):
        """Called just before the run. Returns (function deriving the Windows
        console text, compare as sorted lines) for the case, judged on the
        input tree before the run."""
        self.ensure_server()
        path, output, recursive = file_arguments(args)
        pairs = walk_prefixes(work, directory_part(path)) if path is not None and recursive else []
        walks_many = path is not None and (recursive or b"*" in path or b"?" in path)
        unordered = walks_many and order_differs(work)
        return (lambda text: crlf(with_walk_separators(text, pairs, output))), unordered

    def expected_tree(self, tree):
        return {rel: (kind, crlf(payload) if kind == "file" else payload) for rel, (kind, payload) in tree.items()}


def sorted_lines(text):
    return b"".join(sorted(text.splitlines(keepends=True)))
