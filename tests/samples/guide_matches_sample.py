#!/usr/bin/env python3
"""The guide shows the samples' files whole: every fenced block whose info string names a file
(```cpp file=samples/counter/counter.h) must equal that file, and every file of the samples (the
walk-through's server and the SDK's consumer) must be shown. Usage: guide_matches_sample.py GUIDE ROOT"""
import os
import re
import sys

guide_path, root = sys.argv[1], sys.argv[2]
guide = open(guide_path, encoding="utf-8").read()
blocks = re.findall(r"^```\S*\s+file=(\S+)\n(.*?)^```$", guide, re.S | re.M)
shown = {}
failures = []
for path, text in blocks:
    shown[path] = True
    full = os.path.join(root, path)
    if not os.path.exists(full):
        failures.append(f"{path}: shown in the guide, not in the tree")
        continue
    actual = open(full, encoding="utf-8").read()
    if actual != text:
        a, b = actual.splitlines(), text.splitlines()
        line = next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), min(len(a), len(b)))
        failures.append(f"{path}: the guide and the file part at line {line + 1}:\n"
                        f"  file:  {a[line] if line < len(a) else '<end>'}\n"
                        f"  guide: {b[line] if line < len(b) else '<end>'}")
for sample in ("samples/counter", "samples/consumer"):
    for name in sorted(os.listdir(os.path.join(root, sample))):
        if f"{sample}/{name}" not in shown:
            failures.append(f"{sample}/{name}: not shown in the guide")
for f in failures:
    print("FAIL", f)
if not blocks:
    print("FAIL no file blocks in", guide_path)
    sys.exit(1)
print(f"{len(blocks)} files shown, {len(failures)} differences")
sys.exit(1 if failures else 0)
