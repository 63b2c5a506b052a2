#!/usr/bin/env python3
"""Fails when a file under src/ includes a header of a folder that comes
after its own in the order of layers listed in src/README.md."""
import os
import re
import sys

src = sys.argv[1]
order = re.findall(r"^\d+\. `(\w+)/`", open(os.path.join(src, "README.md")).read(), re.M)
problems = ["%s/ is not in the order of layers in src/README.md" % d for d in sorted(os.listdir(src))
            if os.path.isdir(os.path.join(src, d)) and d not in order]
for folder in order:
    for name in sorted(os.listdir(os.path.join(src, folder))):
        for number, line in enumerate(open(os.path.join(src, folder, name), encoding="utf-8"), 1):
            m = re.match(r'\s*#\s*include\s+"(\w+)/', line)
            if m and (m.group(1) not in order or order.index(m.group(1)) > order.index(folder)):
                problems.append("%s/%s:%d includes %s, a layer above it" % (folder, name, number, line.split('"')[1]))
print("\n".join(problems) if problems else "every include points down (%s)" % " < ".join(order))
sys.exit(1 if problems else 0)
