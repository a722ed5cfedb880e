#!/usr/bin/env python3
"""Kill tests of the native updater: a run is killed (SIGKILL) at random
moments while it replaces a large file, by a COPY and by a MOVE across file
systems (the scenario directory on one, the source on /dev/shm), and the
destination's name must then hold the whole old file or the whole new one,
never nothing and never a part.

  kill_test.py --program build/native/updater [--rounds N]

Prints one line per failure and ends with "N passed, N failed".
"""
import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SIZE = 48 << 20  # large enough that a copy takes a while


def write(path, byte, size=SIZE):
    block = bytes([byte]) * (1 << 20)
    with open(path, "wb") as f:
        for _ in range(size >> 20):
            f.write(block)


def whole(path, byte, size=SIZE):
    """True when path holds size bytes, all equal to byte."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        return False
    return len(data) == size and data.count(bytes([byte])) == size


def settings(mode, source, destination):
    return ("[UPDATER]\r\nNAME=Kill\r\nPROC=Run\r\n[Run]\r\nMODE=%s\r\n"
            "FROM=%s\r\nTO=%s\r\n" % (mode, source, destination))


def one_round(program, mode, work, other, delay):
    """Runs one replace, killed after delay seconds (never, when delay is
    None: then the run's length is kept in one_round.last); returns a
    problem or None."""
    run = tempfile.mkdtemp(prefix="kill-", dir=work)
    src_dir = tempfile.mkdtemp(prefix="kill-src-", dir=other) if other else run
    try:
        shutil.copy(program, os.path.join(run, "updater"))
        source = os.path.join(src_dir, "new.bin")
        destination = os.path.join(run, "app.bin")
        write(source, ord("N"))
        write(destination, ord("O"))
        with open(os.path.join(run, "updater.ini"), "w") as f:
            f.write(settings(mode, source, destination))
        env = dict(os.environ, UPDATER_ANSWERS="")
        env.pop("UPDATER_TRANSCRIPT", None)
        proc = subprocess.Popen([os.path.join(run, "updater")], cwd=run,
                                env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        start = time.monotonic()
        if delay is None:
            proc.wait()
            one_round.last = time.monotonic() - start
        else:
            time.sleep(delay)
            proc.send_signal(signal.SIGKILL)
            proc.wait()
        if whole(destination, ord("O")) or whole(destination, ord("N")):
            return None
        if not os.path.exists(destination):
            return "%s killed after %.3f s: the destination's name is missing" % (
                mode, delay)
        return "%s killed after %.3f s: the destination holds a part" % (
            mode, delay)
    finally:
        shutil.rmtree(run, ignore_errors=True)
        if other:
            shutil.rmtree(src_dir, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--rounds", type=int, default=12)
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    work = tempfile.mkdtemp(prefix="kill-tests-")
    other = None
    if os.path.isdir("/dev/shm") and os.stat("/dev/shm").st_dev != os.stat(work).st_dev:
        other = tempfile.mkdtemp(prefix="kill-tests-", dir="/dev/shm")
    passed = failed = 0
    rng = random.Random(12)
    cases = [("COPY", None), ("MOVE", other)]
    if other is None:
        print("note: no second file system at /dev/shm; the move stays on one")
    try:
        for mode, second in cases:
            # The run's own length sets the range of the kill moments.
            problem = one_round(program, mode, work, second, None)
            if problem:
                failed += 1
                print("FAIL: " + problem)
            span = max(0.05, one_round.last)
            for i in range(args.rounds):
                delay = span * rng.random() if i else 0.001
                problem = one_round(program, mode, work, second, delay)
                if problem:
                    failed += 1
                    print("FAIL: " + problem)
                else:
                    passed += 1
            print("%s killed %d times within %.2f s" % (mode, args.rounds,
                                                        span))
    finally:
        shutil.rmtree(work, ignore_errors=True)
        if other:
            shutil.rmtree(other, ignore_errors=True)
    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
