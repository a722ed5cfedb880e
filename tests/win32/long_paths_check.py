#!/usr/bin/env python3
"""Paths near the Windows limit (MAX_PATH, 260 characters with the null)
under ROLLBACK=1, on the Windows build under Wine.

A drive letter of the Wine prefix is mapped to a scratch folder, so that the
root of that volume, where rollback may make its folder for saved copies,
lies inside the test's temporary directory (never the host's "/", which is
Wine's Z:). On that drive:
- a COPY over a file whose path has 246 characters (the most a copy over
  a file takes: its folder has 244) and whose name is shorter than a saved
  copy's, and a DELETE of a tree whose deepest file
  has 259 characters, completes with ROLLBACK=1 as without it and leaves
  nothing of the rollback behind;
- the same run stopped by a later error is undone, and leaves nothing;
- the same run killed (by kill_parent) is undone by the next start.
The Wine prefix is WINEPREFIX when set (the drive letter is taken out again
at the end), else one made for the check. Prints "N passed, N failed".

    tests/win32/long_paths_check.py --program build/win32/updater.exe \\
        --helpers build/win32
"""
import argparse
import json
import os
import shutil
import sys
import tempfile

# The same Wine helpers as the device names check beside this file.
from device_names_check import run, tally, wine_env, wine_path

LIMIT = 259  # MAX_PATH less the terminating null


def deep(under, last, total=LIMIT):
    """A path below the drive's root ("X:\\" counts 3) whose full length is
    total: folders named d below under, the last padded, then last."""
    parts = [under]
    while 3 + len("\\".join(parts)) + 2 + 1 + len(last) <= total - 8:
        parts.append("d")
    length = 3 + len("\\".join(parts)) + 1 + len(last)
    parts[-1] += "e" * (total - length)
    return "\\".join(parts + [last])


def tree(folder):
    out = {}
    for dirpath, dirs, files in os.walk(folder):
        for name in dirs + files:
            path = os.path.join(dirpath, name)
            rel = os.path.relpath(path, folder)
            if os.path.isdir(path):
                out[rel + "/"] = None
            else:
                with open(path, "rb") as f:
                    out[rel] = f.read()
    return out


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", default="build/win32/updater.exe")
    parser.add_argument("--helpers", default="build/win32")
    opts = parser.parse_args()
    program = os.path.abspath(opts.program)
    killer = os.path.join(os.path.abspath(opts.helpers), "kill_parent.exe")
    passed = failed = 0
    root = tempfile.mkdtemp(prefix="long-paths-")
    own_prefix = not os.environ.get("WINEPREFIX")
    env = wine_env(os.path.join(root, "prefix") if own_prefix
                   else os.environ["WINEPREFIX"])
    env["UPDATER_STATE_HOME"] = wine_path(os.path.join(root, "state"))
    if own_prefix:
        run(["wineboot", "-i"], env)
    dosdevices = os.path.join(env["WINEPREFIX"], "dosdevices")
    letter = next((c for c in "rstuvwxy"
                   if not os.path.lexists(os.path.join(dosdevices, c + ":"))),
                  None)
    volume = os.path.join(root, "volume")
    os.makedirs(volume)
    os.makedirs(os.path.join(root, "state"))
    link = os.path.join(dosdevices, "%s:" % letter) if letter else None
    try:
        if link is None:
            print("note: no free drive letter")
            print("0 passed, 1 failed")
            return 1
        os.symlink(volume, link)
        drive = letter.upper() + ":\\"
        # A copy over a file writes beside it first, through
        # GetTempFileNameA, which takes a folder of MAX_PATH-14 characters
        # at most: the file's folder has 244, the saved copy's name would
        # not fit beside it.
        long_file = deep("a", "f", 246)
        deep_file = deep("t", "file")
        files = {long_file: "old", deep_file: "deep", "t\\g.txt": "g",
                 "new.txt": "new"}
        changes = ["[Copy]", "MODE=COPY", "FROM=<Src>\\..\\new.txt",
                   "TO=%s%s" % (drive, long_file),
                   "[Delete]", "MODE=DELETE", "FILE=%st" % drive]
        stop = ["[Stop]", "MODE=COPY", "FROM=<Src>\\missing.txt",
                "TO=<Src>\\..\\x.txt"]
        kill = ["[Kill]", "MODE=LAUNCH", "FILE=<Src>\\kill_parent.exe",
                "PARAM=<Src>\\updater.exe", "ISWAIT=1"]
        # name, ROLLBACK, extra procedure, the outcome, the tree afterwards
        cases = [
            ("without rollback", "0", None, "completed", "changed"),
            ("rollback, completed", "1", None, "completed", "changed"),
            ("rollback, stopped", "1", stop, "stopped", "as before"),
            ("rollback, killed", "1", kill, None, "as before"),
        ]
        for name, rollback, extra, outcome, after in cases:
            for rel in list(tree(volume)):
                path = os.path.join(volume, rel)
                if os.path.isdir(path):
                    shutil.rmtree(path, ignore_errors=True)
                elif os.path.exists(path):
                    os.remove(path)
            for rel, text in files.items():
                path = os.path.join(volume, *rel.split("\\"))
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "w") as f:
                    f.write(text)
            package = os.path.join(volume, "pkg")
            os.makedirs(package)
            shutil.copy(program, os.path.join(package, "updater.exe"))
            shutil.copy(killer, os.path.join(package, "kill_parent.exe"))
            procs = ["Copy", "Delete"] + ([extra[0][1:-1]] if extra else [])
            with open(os.path.join(package, "updater.ini"), "w") as f:
                f.write("\r\n".join(
                    ["[UPDATER]", "NAME=Long", "PROC=" + ",".join(procs),
                     "ROLLBACK=" + rollback] + changes + (extra or [])) +
                    "\r\n")
            before = tree(volume)
            transcript = os.path.join(root, "transcript.jsonl")
            if os.path.exists(transcript):
                os.remove(transcript)
            env["UPDATER_TRANSCRIPT"] = wine_path(transcript)
            exe = drive + "pkg\\updater.exe"
            run(["wine", exe], dict(env), timeout=120)
            checks = []
            if outcome is None:
                # Killed: the next start of the same settings file undoes
                # the run first (it then only looks at a file).
                with open(os.path.join(package, "updater.ini"), "w") as f:
                    f.write("[UPDATER]\r\nNAME=Long\r\nPROC=Look\r\n"
                            "[Look]\r\nMODE=EXIST\r\n"
                            "FILE=<Src>\\updater.ini\r\n")
                checks.append(("journal left by the kill", any(
                    n.endswith(".journal") for n in
                    os.listdir(os.path.join(root, "state", "updater")))))
                os.remove(transcript)
                run(["wine", exe], dict(env), timeout=120)
                before["pkg/updater.ini"] = tree(volume)["pkg/updater.ini"]
            events = []
            if os.path.exists(transcript):
                with open(transcript, encoding="utf-8") as f:
                    events = [json.loads(l) for l in f if l.strip()]
            ends = [e for e in events if e.get("event") == "end"]
            got = tree(volume)
            if outcome is not None:
                checks.append(("ends " + outcome, bool(ends) and
                               ends[-1].get("outcome") == outcome))
            if after == "as before":
                checks.append(("tree as before", got == before))
            else:
                expect = dict(before)
                expect[long_file.replace("\\", "/")] = b"new"
                for rel in list(expect):
                    if rel == "t/" or rel.startswith("t/"):
                        del expect[rel]
                checks.append(("tree changed as asked", got == expect))
            checks.append(("no reserved name left", not any(
                "~updater-" in rel for rel in got)))
            state = os.path.join(root, "state", "updater")
            checks.append(("no journal left", not os.path.isdir(state) or
                           not any(n.endswith(".journal")
                                   for n in os.listdir(state))))
            good, bad = tally(name, checks)
            passed += good
            failed += bad
            if bad and os.environ.get("LONG_PATHS_DEBUG"):
                print(events)
    finally:
        run(["wineserver", "-k"], env)
        if link is not None and os.path.islink(link):
            os.unlink(link)
        shutil.rmtree(root, ignore_errors=True)
    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
