#!/usr/bin/env python3
"""Runs every example of README.md that is a complete settings file (an
```ini block that holds [UPDATER]) as a scenario, so that an example copied
from the manual works.

    tests/readme/readme_examples_test.py --program build/native/updater
    tests/readme/readme_examples_test.py --wine --program build/win64/updater.exe

Each such block follows a line `<!-- example-run: {...} -->` (invisible in
the rendered manual) whose JSON gives the rest of the scenario: the files
it starts from, the answers and what must follow (see
tests/scenarios/README.md). The examples are written for Windows: a "\\"
outside query blocks becomes the scenario's separator placeholder, so the
Wine run reads the text exactly as printed and the native run reads it
with "/", as the manual tells Linux publishers to write it. Further
arguments go to tests/run_scenarios.py.
"""

import json
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
BLOCK = re.compile(r"```ini\n(.*?)```", re.S)
MARK = re.compile(r"<!-- example-run: (\{.*\}) -->\n\Z")


def separators(line):
    """The line with each "\\" outside {...} blocks as the placeholder."""
    out, depth = [], 0
    for c in line:
        if c == "{":
            depth += 1
        elif c == "}" and depth > 0:
            depth -= 1
        out.append("{/}" if c == "\\" and depth == 0 else c)
    return "".join(out)


def examples(text):
    """(line number, scenario) of each complete settings file; raises
    ValueError for one without its example-run line."""
    found = []
    for m in BLOCK.finditer(text):
        body = m.group(1)
        if not re.search(r"^\[UPDATER\]", body, re.M):
            continue
        line = text.count("\n", 0, m.start()) + 1
        before = text[:m.start()]
        mark = MARK.search(before[before.rfind("\n", 0, len(before) - 1) + 1:])
        if not mark:
            raise ValueError("README.md line %d: a complete settings file "
                             "without an example-run line before it" % line)
        scenario = json.loads(mark.group(1))
        scenario["description"] = "README.md line %d" % line
        scenario["settings"] = [separators(l) for l in body.splitlines()]
        found.append((line, scenario))
    return found


def main():
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
        text = f.read()
    try:
        found = examples(text)
    except ValueError as e:
        print("FAIL: %s" % e)
        print("0 passed, 1 failed")
        return 1
    if not found:
        print("FAIL: README.md holds no complete settings file")
        print("0 passed, 1 failed")
        return 1
    with tempfile.TemporaryDirectory(prefix="readme-examples-") as tmp:
        for line, scenario in found:
            path = os.path.join(tmp, "readme_line_%d.json" % line)
            with open(path, "w", encoding="utf-8") as f:
                json.dump(scenario, f, ensure_ascii=False, indent=1)
        return subprocess.call([sys.executable,
                                os.path.join(ROOT, "tests", "run_scenarios.py"),
                                tmp] + sys.argv[1:])


if __name__ == "__main__":
    sys.exit(main())
