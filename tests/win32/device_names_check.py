#!/usr/bin/env python3
"""Device names on the Windows build, in a private Wine prefix whose DOS
devices lead to plain files.

A fresh Wine prefix maps COM1 (and further serial ports) to the host's
/dev/ttyS*; NUL and CON are handled inside Wine. This check makes its own
prefix, maps COM1 to COM9 and LPT1 to LPT9 (the registry key
HKLM\\Software\\Wine\\Ports, which Wine turns into the links of
dosdevices/) and AUX and PRN to plain files in a scratch folder, and
refuses to run anything unless every one of those links leads there. Then
each run below must fail with the command's message and leave every device
file and every entry of the package as it was:
- ATTR of a tree holding com1.txt and lpt1 (plain files there),
- LINK with DST=COM1, MAKEDIR of LPT2, DELETE of com3.txt,
- COPY to aux.txt, MOVE to PRN,
- DELETE of that tree with ROLLBACK=1 (the tree is not set aside whole: its
  saved copy could never be removed).
NUL and CON are never named in a run: where a guard failed they would
reach Wine's own devices (they are tested through the checker and the
unit tests). Prints "N passed, N failed".

    tests/win32/device_names_check.py --program build/win32/updater.exe

Making the prefix (wineboot) takes about half a minute; the test command
has it made beforehand, beside its builds, with --make-prefix DIR, and
hands it over with --prefix DIR (a prefix that nothing else has used).
"""
import argparse
import json
import os
import shutil
import stat
import subprocess
import sys
import tempfile

DEVICES = (["com%d" % i for i in range(1, 10)] +
           ["lpt%d" % i for i in range(1, 10)])


def wine_path(host):
    return "Z:" + host.replace("/", "\\")


def run(command, env, timeout=300):
    return subprocess.run(command, env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=timeout)


def tally(name, checks):
    """Prints each failed check of one run; returns (passed, failed)."""
    bad = [what for what, ok in checks if not ok]
    for what in bad:
        print("FAIL: %s: %s" % (name, what))
    return len(checks) - len(bad), len(bad)


def wine_env(prefix):
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=", UPDATER_ANSWERS="")
    env.pop("DISPLAY", None)
    return env


def new_prefix(env):
    run(["wineboot", "-i"], env)
    run(["wineserver", "-w"], env)


def make_prefix(root, env, made):
    """A prefix whose devices lead to files in root/devices; False when
    that cannot be made sure. made: whether wineboot has made it already."""
    devices = os.path.join(root, "devices")
    os.makedirs(devices)
    for name in DEVICES + ["aux", "prn"]:
        with open(os.path.join(devices, name), "w") as f:
            f.write("device " + name)
    if not made:
        new_prefix(env)
    # Every port in one start of Wine.
    ports = os.path.join(root, "ports.reg")
    with open(ports, "w", newline="\r\n") as f:
        f.write("Windows Registry Editor Version 5.00\n\n"
                "[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n")
        for name in DEVICES:
            f.write('"%s"="%s"\n' % (name.upper(), os.path.join(devices, name)))
    run(["wine", "reg", "import", wine_path(ports)], env)
    run(["wineserver", "-k"], env)
    dosdevices = os.path.join(env["WINEPREFIX"], "dosdevices")
    for name in ("aux", "prn"):
        link = os.path.join(dosdevices, name)
        if os.path.lexists(link):
            os.unlink(link)
        os.symlink(os.path.join(devices, name), link)
    run(["wine", "cmd", "/c", "exit"], env)  # the ports are made anew
    for name in DEVICES + ["aux", "prn"]:
        link = os.path.join(dosdevices, name)
        if os.path.lexists(link) and \
                os.path.realpath(link) != os.path.join(devices, name):
            print("note: %s leads to %s: nothing is run" %
                  (name, os.path.realpath(link)))
            return None
    # Serial ports found on the host go after the mapped ones: none of them
    # may stay.
    for entry in os.listdir(dosdevices):
        if entry.startswith(("com", "lpt")) and entry not in DEVICES:
            os.unlink(os.path.join(dosdevices, entry))
    return devices


def snapshot(folder):
    out = {}
    for dirpath, _, files in os.walk(folder):
        for name in files:
            path = os.path.join(dirpath, name)
            with open(path, "rb") as f:
                out[os.path.relpath(path, folder)] = (
                    f.read(), stat.S_IMODE(os.lstat(path).st_mode))
    return out


CASES = [
    ("attr", ["[Attr]", "MODE=ATTR", "FILE=<Src>\\tree\\*", "ARG=1"]),
    ("link", ["[Link]", "MODE=LINK", "SRC=<Src>\\a.txt", "PARAM=",
              "SHOWCMD=", "DST=<Src>\\COM1"]),
    ("makedir", ["[Dir]", "MODE=MAKEDIR", "DIR=<Src>\\LPT2"]),
    ("delete", ["[Del]", "MODE=DELETE", "FILE=<Src>\\com3.txt"]),
    ("copy", ["[Copy]", "MODE=COPY", "FROM=<Src>\\a.txt",
              "TO=<Src>\\aux.txt"]),
    ("move", ["[Move]", "MODE=MOVE", "FROM=<Src>\\a.txt", "TO=<Src>\\PRN"]),
    ("delete_rollback", ["[Del]", "MODE=DELETE", "FILE=<Src>\\tree"],
     ["ROLLBACK=1"]),
]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", default="build/win32/updater.exe")
    parser.add_argument("--make-prefix", metavar="DIR",
                        help="only make a fresh prefix for a later --prefix")
    parser.add_argument("--prefix", metavar="DIR",
                        help="a prefix made by --make-prefix (removed after)")
    opts = parser.parse_args()
    if opts.make_prefix:
        new_prefix(wine_env(os.path.abspath(opts.make_prefix)))
        return 0
    program = os.path.abspath(opts.program)
    passed = failed = 0
    root = tempfile.mkdtemp(prefix="devices-")
    made = bool(opts.prefix) and os.path.isfile(
        os.path.join(opts.prefix, "system.reg"))
    if opts.prefix and not made:
        print("note: %s is no prefix made by --make-prefix: one is made"
              % opts.prefix)
    prefix = (os.path.abspath(opts.prefix) if made
              else os.path.join(root, "prefix"))
    env = wine_env(prefix)
    env["UPDATER_STATE_HOME"] = wine_path(os.path.join(root, "state"))
    try:
        devices = make_prefix(root, env, made)
        if devices is None:
            print("0 passed, 1 failed")
            return 1
        before = snapshot(devices)
        os.makedirs(os.path.join(root, "state"))
        for name, section, *head in CASES:
            run_dir = os.path.join(root, name)
            os.makedirs(os.path.join(run_dir, "tree"))
            shutil.copy(program, os.path.join(run_dir, "updater.exe"))
            for entry in ("a.txt", "com3.txt", "tree/com1.txt", "tree/lpt1",
                          "tree/plain.txt"):
                with open(os.path.join(run_dir, entry), "w") as f:
                    f.write(entry)
            with open(os.path.join(run_dir, "updater.ini"), "w") as f:
                f.write("\r\n".join(["[UPDATER]", "NAME=Devices",
                                     "PROC=" + section[0][1:-1]] +
                                    (head[0] if head else []) + section)
                        + "\r\n")
            package = snapshot(run_dir)
            transcript = os.path.join(root, name + ".jsonl")
            env["UPDATER_TRANSCRIPT"] = wine_path(transcript)
            run(["wine", os.path.join(run_dir, "updater.exe")],
                dict(env), timeout=120)
            events = []
            if os.path.exists(transcript):
                with open(transcript, encoding="utf-8") as f:
                    events = [json.loads(l) for l in f if l.strip()]
            ends = [e for e in events if e.get("event") == "end"]
            checks = [
                ("stops with the command's message",
                 bool(ends) and ends[-1].get("outcome") == "stopped" and
                 any(e.get("event") == "box" and e.get("icon") == "error"
                     for e in events)),
                ("leaves the device files alone", snapshot(devices) == before),
                ("leaves the package alone", snapshot(run_dir) == package),
            ]
            good, bad = tally(name, checks)
            passed += good
            failed += bad
    finally:
        run(["wineserver", "-k"], env)
        shutil.rmtree(root, ignore_errors=True)
        shutil.rmtree(prefix, ignore_errors=True)
    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
