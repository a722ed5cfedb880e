#!/usr/bin/env python3
"""Messages in the user's language: builds the updater with both string
tables (UPDATER_LANGUAGES="ja;en") in a build directory of its own, then
runs the scenarios of this directory against it with the user's language
set to English, Japanese and a language with no table (which gets English,
as the Windows resource loader gives English (US) after the user's
language).

    tests/languages/languages_test.py             # the native build
    tests/languages/languages_test.py --wine      # the Windows build, under Wine

The Windows build is made beside the Wine tests' build (WIN_BUILD of
tools/wine-env.sh: build/win32 or build/win64), in WIN_BUILD-languages; the
native one beside build/native, in build/native-languages. Each links the
engine libraries of the build it sits beside (UPDATER_ENGINE_FROM), which is
brought up to date first, and takes the helper programs from it: only the
message tables and the links are made anew. Prints the scenario runner's
lines and its "N passed, N failed".
"""

import argparse
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine", action="store_true")
    opts = parser.parse_args()
    win_build = os.environ.get("WIN_BUILD", "build/win32").rstrip("/")
    if opts.wine:
        preset = os.path.basename(win_build)
        base = os.path.join(ROOT, win_build)
        bits = "x86_64" if win_build.endswith("64") else "i686"
        extra = ["-DCMAKE_TOOLCHAIN_FILE=" +
                 os.path.join(ROOT, "cmake", "mingw-w64-%s.cmake" % bits)]
        helpers = ["run_command_line"]
        suffix = ".exe"
    else:
        preset = "native"
        base = os.path.join(ROOT, "build", "native")
        extra = []
        helpers = []
        suffix = ""
    build = base + "-languages"
    program = os.path.join(build, "updater" + suffix)
    commands = []
    if not os.path.isfile(os.path.join(base, "CMakeCache.txt")):
        commands.append(["cmake", "--preset", preset])
    commands += [
        # The engine (every layer) and the helpers of the build beside.
        ["cmake", "--build", base, "-j2", "--target", "updater_check"]
        + helpers,
        ["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
         "-DUPDATER_TESTS=OFF", "-DUPDATER_LANGUAGES=ja;en",
         "-DUPDATER_ENGINE_FROM=" + base] + extra,
        ["cmake", "--build", build, "-j2", "--target", "updater"]]
    for command in commands:
        result = subprocess.run(command, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, text=True, cwd=ROOT)
        if result.returncode != 0:
            sys.stdout.write(result.stdout[-4000:])
            print("FAIL: %s" % " ".join(command))
            print("0 passed, 1 failed")
            return 1
    passed = failed = 0
    if opts.wine:
        # The tables as the resource loader sees them: Japanese (Japan) as
        # in a build of Japanese only, English (United States).
        sys.path.insert(0, os.path.join(ROOT, "tests", "win32"))
        import pe_resources as pe
        with open(program, "rb") as f:
            resources = pe.read_resources(f.read())
        found = {lang: pe.load_string(resources, 100, lang)
                 for (t, n, lang) in resources if t == pe.RT_STRING}
        want = {0x0411: "ソルベア アップデータ", 0x0409: "Solvea Updater"}
        ok = found == want
        print("%s: string tables by language: %r" % ("ok" if ok else "FAIL",
                                                       found))
        passed, failed = (1, 0) if ok else (0, 1)
    runner = [sys.executable, os.path.join(ROOT, "tests", "run_scenarios.py"),
              HERE, "--program", program, "--helpers", base]
    if opts.wine:
        runner.append("--wine")
    result = subprocess.run(runner, stdout=subprocess.PIPE, text=True)
    lines = result.stdout.splitlines()
    for line in lines:
        match = re.match(r"^(\d+) passed, (\d+) failed$", line)
        if match:
            passed += int(match.group(1))
            failed += int(match.group(2))
        else:
            print(line)
    if result.returncode != 0 and failed == 0:
        failed = 1
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
