#!/usr/bin/env python3
"""Fails when a file under src/ includes a header of a folder that comes
after its own in the order of layers listed in src/README.md; when the
translation (markup/, diagram/) reaches, directly or through the headers it
includes, the platform layer or a header that prints or opens files; when a
file outside page/ includes anything of page/ but the run's face (run.h,
report.h), or one outside the run includes its workers; or when anything but
Report (and the page's own way to standard output) writes to the console."""
import os
import re
import sys

src = sys.argv[1]
order = re.findall(r"^\d+\. `(\w+)/`", open(os.path.join(src, "README.md")).read(), re.M)
PURE = ("markup", "diagram")
SIDE_EFFECTS = re.compile(r"<(cstdio|stdio\.h|iostream|fstream|filesystem|unistd\.h|fcntl\.h|sys/.*|windows\.h)>")
RUN_FACE = ("page/run.h", "page/report.h")
RUN_ONLY = {"page/page_workers.h": ("page/run.cpp", "page/page_workers.cpp")}
CONSOLE = re.compile(r"\b(writeOut|writeErr|printf|puts|putchar|fputs|fprintf|fwrite)\s*\(|std::(cout|cerr|clog)\b")
CONSOLE_OK = ("page/report.cpp", "io/standard_output.h")


def includes(path):
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        m = re.match(r'\s*#\s*include\s+([<"])([^>"]+)[>"]', line)
        if m:
            yield number, m.group(1) == '"', m.group(2)


def reach(path, seen):
    """Every header path reaches, with the chain that leads to it."""
    for _, local, name in includes(path):
        target = os.path.join(src, name)
        key = name if local else "<%s>" % name
        if key in seen:
            continue
        seen[key] = path
        if local and os.path.exists(target):
            reach(target, seen)
    return seen


problems = ["%s/ is not in the order of layers in src/README.md" % d for d in sorted(os.listdir(src))
            if os.path.isdir(os.path.join(src, d)) and d not in order]
for folder in order:
    for name in sorted(os.listdir(os.path.join(src, folder))):
        path = os.path.join(src, folder, name)
        for number, local, header in includes(path):
            layer = header.split("/")[0]
            if local and "/" in header and (layer not in order or order.index(layer) > order.index(folder)):
                problems.append("%s/%s:%d includes %s, a layer above it" % (folder, name, number, header))
        where = "%s/%s" % (folder, name)
        for number, local, header in includes(path):
            if local and header.startswith("page/") and folder != "page" and header not in RUN_FACE:
                problems.append("%s:%d includes %s: outside page/ only %s" % (where, number, header, " and ".join(RUN_FACE)))
            if local and header in RUN_ONLY and where not in RUN_ONLY[header]:
                problems.append("%s:%d includes %s, which only the run uses" % (where, number, header))
        if folder != "platform" and where not in CONSOLE_OK:
            for number, line in enumerate(open(path, encoding="utf-8"), 1):
                if CONSOLE.search(line.split("//")[0]):
                    problems.append("%s:%d writes to the console: only Report does" % (where, number))
        if folder in PURE:
            for header, via in reach(path, {}).items():
                if header.startswith("platform/") or SIDE_EFFECTS.fullmatch(header):
                    problems.append("%s/%s reaches %s (through %s): the translation neither prints nor opens files"
                                    % (folder, name, header, os.path.relpath(via, src)))
print("\n".join(problems) if problems else "every include points down (%s); %s reach no platform or file header; "
      "only the run's face is seen from outside page/; only Report prints" % (" < ".join(order), " and ".join(PURE)))
sys.exit(1 if problems else 0)
