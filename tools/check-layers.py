#!/usr/bin/env python3
"""Checks that the engine's layers depend in one direction only.

The layers, from the bottom up: base, platform, run, settings, commands,
core, check. A source or header of a layer may include headers of its own
layer and of the layers below it; an include of a layer above fails. Unit
tests (*_test.cc) link the whole engine and may include anything. The build
enforces the same rule (each layer compiles against an include tree of its
own); this check names every offending line at once.

Prints "N passed, N failed" (one case per source file) and exits non-zero
on any upward include.
"""
import os
import re
import sys

LAYERS = ["base", "platform", "run", "settings", "commands", "core", "check"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def layer_of(path):
    top = path.split("/", 1)[0]
    return LAYERS.index(top) if top in LAYERS else None


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src")
    root = os.path.normpath(root)
    passed = failed = 0
    for directory, _, files in sorted(os.walk(root)):
        for name in sorted(files):
            if not name.endswith((".h", ".cc")) or name.endswith("_test.cc"):
                continue
            path = os.path.join(directory, name)
            relative = os.path.relpath(path, root).replace(os.sep, "/")
            own = layer_of(relative)
            if own is None:
                continue
            bad = []
            with open(path, encoding="utf-8", errors="replace") as source:
                for number, line in enumerate(source, 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    target = layer_of(match.group(1))
                    if target is not None and target > own:
                        bad.append((number, match.group(1)))
            if bad:
                failed += 1
                for number, included in bad:
                    print("src/%s:%d: layer %s includes %s, a layer above it"
                          % (relative, number, LAYERS[own], included))
            else:
                passed += 1
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
