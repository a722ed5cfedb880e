#!/usr/bin/env python3
"""The progress line of the native build, end to end.

Runs the real `updater` with PROGRESS=1 on a COPY of many files:
- with stderr on a pseudo-terminal: the line appears, is redrawn in place,
  is erased before a message box prompt and again at the end;
- with stderr on a file (as the scenarios run it): not a byte of progress.
Prints "N passed, N failed".

    tests/progress/terminal_line_test.py [--program build/native/updater]
"""
import argparse
import os
import pty
import select
import shutil
import subprocess
import sys
import tempfile
import time
import unicodedata

FILES = 6000
CAPTION = "Progress check"
ERASE = b"\r\x1b[K"


sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from check_results import Results  # noqa: E402

def make_run(program, root, box):
    """A run directory: the program, its settings file and a tree of FILES
    small files to copy."""
    shutil.copy(program, os.path.join(root, "updater"))
    data = os.path.join(root, "data")
    for i in range(FILES):
        sub = os.path.join(data, "d%02d" % (i % 50))
        os.makedirs(sub, exist_ok=True)
        with open(os.path.join(sub, "f%05d.txt" % i), "w") as f:
            f.write("x" * (i % 200))
    procs = "CopyAll,Done" if box else "CopyAll"
    lines = ["[UPDATER]", "NAME=" + CAPTION, "PROC=" + procs, "PROGRESS=1",
             "[CopyAll]", "MODE=COPY", "FROM=<Src>/data", "TO=<Src>/copy"]
    if box:
        lines += ["[Done]", "MODE=MSGBOX", "FLAG=", "TYPE=INFORMATION",
                  "TEXT=Copied", "ISABORT=0"]
    with open(os.path.join(root, "updater.ini"), "w") as f:
        f.write("\n".join(lines) + "\n")


def copied(root):
    count = 0
    for _, _, files in os.walk(os.path.join(root, "copy")):
        count += len(files)
    return count


def run_on_terminal(root):
    """Runs the program with stdin and stderr on a pseudo-terminal of 60
    columns; answers the prompt with Enter. Returns (exit code, output)."""
    master, slave = pty.openpty()
    import fcntl
    import struct
    import termios
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 60, 0, 0))
    env = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")
    env.pop("UPDATER_ANSWERS", None)
    proc = subprocess.Popen([os.path.join(root, "updater")], cwd=root,
                            stdin=slave, stdout=subprocess.DEVNULL,
                            stderr=slave, env=env)
    os.close(slave)
    output = b""
    answered = False
    deadline = time.time() + 120
    while time.time() < deadline:
        ready, _, _ = select.select([master], [], [], 0.2)
        if ready:
            try:
                chunk = os.read(master, 65536)
            except OSError:  # the other side closed
                break
            if not chunk:
                break
            output += chunk
            if not answered and b"Press Enter" in output:
                os.write(master, b"\n")
                answered = True
        elif proc.poll() is not None:
            break
    code = proc.wait(timeout=30)
    os.close(master)
    return code, output


def columns(line):
    """The terminal columns a UTF-8 line takes: two for a wide character
    (the Japanese words of the detail), one for any other."""
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1
               for c in line.decode("utf-8", "replace"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", default="build/native/updater")
    opts = parser.parse_args()
    program = os.path.abspath(opts.program)
    results = Results()

    with tempfile.TemporaryDirectory(prefix="progress-tty-") as root:
        make_run(program, root, box=True)
        code, output = run_on_terminal(root)
        results.check("terminal run exits 0", code == 0, str(code))
        results.check("terminal run copies every file", copied(root) == FILES,
                      str(copied(root)))
        head = ("\r%s: CopyAll [" % CAPTION).encode()
        draws = output.count(head)
        results.check("the line is drawn and redrawn in place", draws >= 2,
                      "%d drawings in %r" % (draws, output[:200]))
        lines = [part for part in output.split(b"\r") if part.startswith(head[1:])]
        results.check("every drawing fits the 60 columns",
                      all(columns(l.replace(b"\x1b[K", b"")) <= 59
                          for l in lines),
                      repr(lines[:3]))
        results.check("the count of files grows",
                      len(set(lines)) >= 2, repr(lines[:3]))
        box = output.find(b"\n== " + CAPTION.encode())
        last_draw = output.rfind(head, 0, box if box >= 0 else len(output))
        results.check("the box is printed", box >= 0, repr(output[-200:]))
        results.check("the line is erased before the box",
                      0 <= last_draw < box and
                      output.find(ERASE, last_draw, box) >= 0,
                      repr(output[max(0, box - 120):box + 20]))
        results.check("nothing of the line after the box but its erasure",
                      output.find(head, box) < 0 or
                      output.rstrip(b"\r\n").endswith(ERASE),
                      repr(output[-120:]))

    with tempfile.TemporaryDirectory(prefix="progress-file-") as root:
        make_run(program, root, box=False)
        errors = os.path.join(root, "stderr.txt")
        env = dict(os.environ, UPDATER_ANSWERS="", LANG="C.UTF-8",
                   LC_ALL="C.UTF-8")
        with open(errors, "wb") as err:
            code = subprocess.call([os.path.join(root, "updater")], cwd=root,
                                   stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=err,
                                   env=env, timeout=120)
        results.check("file run exits 0", code == 0, str(code))
        results.check("file run copies every file", copied(root) == FILES)
        with open(errors, "rb") as f:
            text = f.read()
        results.check("stderr on a file holds no progress", text == b"",
                      repr(text[:200]))

    print("%d passed, %d failed" % (results.passed, results.failed))
    return 0 if results.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
