#!/usr/bin/env python3
"""Kill tests of the native updater: a run is killed (SIGKILL) at random
moments while it replaces a large file, by a COPY and by a MOVE across file
systems (the scenario directory on one, the source on /dev/shm), and the
destination's name must then hold the whole old file or the whole new one,
never nothing and never a part, and no temporary file may stay beside it.

With ROLLBACK=1, a long run (a tree copied over another, a tree deleted, a
tree moved, attributes changed, directories made) is killed from outside
at random moments, and by a program it starts (kill_parent) after each of
its steps; each time a second start with the same settings file must bring
back the whole tree as it was: contents, permissions and times, nothing
left of the journal or of the saved copies. Some second starts are killed
during their recovery as well; a third start must then finish it.

Journals live in a state folder of the test's own (UPDATER_STATE_HOME),
which must hold no journal after each round. Two starts of the same
settings file at random offsets: the second either finds the first live
and stops with 1618 before doing anything, or runs after it; the first
always completes. A file moved away, a new one written at its old name by a
started program, then the run killed: recovery keeps both.

  kill_test.py --program build/native/updater [--helpers DIR] [--rounds N]

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

SIZE = 16 << 20  # large enough that a copy takes a while


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
        left = [n for n in os.listdir(run) if n.startswith(".~upd.")]
        if left:
            return "%s killed after %s s: a temporary file stays: %s" % (
                mode, "%.3f" % delay if delay is not None else "-", left)
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


# ---------------------------------------------------------------------------
# Rollback: a long run killed, then undone by the next start.

RESERVED = "~updater-rollback."
STEPS = ["Copy", "Delete", "Move", "Attr", "MakeDir"]


def make_tree(root, files):
    """app/ (replaced by new/), app/old/ (deleted), move/ (moved)."""
    rng = random.Random(5)
    for i in range(files):
        for top, text in (("app", "old %d" % i), ("new", "new %d" % i)):
            path = os.path.join(root, top, "d%02d" % (i % 20), "f%04d.txt" % i)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:
                f.write(text * (1 + i % 7))
            stamp = 1.5e9 + rng.randrange(10 ** 8)
            os.utime(path, (stamp, stamp))
    for top, count in (("app/old", files // 2), ("move", files // 2)):
        for i in range(count):
            path = os.path.join(root, top, "s%02d" % (i % 10), "g%04d" % i)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:
                f.write("%s %d" % (top, i))
            os.utime(path, (1.4e9 + i, 1.4e9 + i))
    with open(os.path.join(root, "app", "ro.txt"), "w") as f:
        f.write("read-only")
    os.utime(os.path.join(root, "app", "ro.txt"), (1.3e9, 1.3e9))
    os.chmod(os.path.join(root, "app", "ro.txt"), 0o444)


def snapshot(root, skip):
    """rel -> ("dir",) or ("file", bytes, mode, mtime_ns)."""
    tree = {}
    for dirpath, dirnames, filenames in os.walk(root):
        rel_dir = os.path.relpath(dirpath, root)
        for name in dirnames + filenames:
            rel = os.path.normpath(os.path.join(rel_dir, name))
            if rel in skip:
                continue
            path = os.path.join(dirpath, name)
            st = os.lstat(path)
            if name in dirnames:
                tree[rel] = ("dir",)
            else:
                with open(path, "rb") as f:
                    tree[rel] = ("file", f.read(), st.st_mode, st.st_mtime_ns)
    return tree


def rollback_settings(root, kill_after, helpers):
    procs = ["Ask"] + STEPS
    if kill_after:
        procs.insert(procs.index(kill_after) + 1, "Kill")
    lines = [
        "[UPDATER]", "NAME=Kill", "PROC=" + ",".join(procs), "ROLLBACK=1",
        "EXITCODE=1",
        "[Ask]", "MODE=MSGBOX", "FLAG=", "TYPE=QUESTION", "TEXT=Go?",
        "ISABORT=0,1",
        "[Copy]", "MODE=COPY", "FROM=%s/new" % root, "TO=%s/app" % root,
        "[Delete]", "MODE=DELETE", "FILE=%s/app/old" % root,
        "[Move]", "MODE=MOVE", "FROM=%s/move" % root, "TO=%s/app/moved" % root,
        "[Attr]", "MODE=ATTR", "FILE=%s/app/d01/f0001.txt" % root, "ARG=1",
        "[MakeDir]", "MODE=MAKEDIR", "DIR=%s/app/logs/deep" % root,
        "[Kill]", "MODE=LAUNCH", "FILE=%s" % os.path.join(helpers, "kill_parent"),
        "PARAM=%s/updater" % root, "ISWAIT=1",
    ]
    return "\r\n".join(lines) + "\r\n"


def rollback_round(program, helpers, work, files, delay, kill_after,
                   completed=None, recovery_delay=None):
    """One long run with ROLLBACK=1, killed after delay seconds from outside
    (None: not from outside) or by the program it starts after step
    kill_after; then a second start that must recover the tree: the
    original one, or the tree of a completed run (completed) when the kill
    came while the run removed its saved copies. Returns (problem or None,
    seconds the first run took, whether it completed; without a kill, the
    tree it left). With recovery_delay, the second start is killed too,
    after that many seconds, and a third one must recover."""
    run = tempfile.mkdtemp(prefix="kill-rb-", dir=work)
    try:
        shutil.copy(program, os.path.join(run, "updater"))
        with open(os.path.join(run, "updater.ini"), "w", newline="") as f:
            f.write(rollback_settings(run, kill_after, helpers))
        make_tree(run, files)
        skip = {"updater", "updater.ini"}
        before = snapshot(run, skip)
        env = dict(os.environ, UPDATER_ANSWERS="yes")
        env.pop("UPDATER_TRANSCRIPT", None)
        start = time.monotonic()
        proc = subprocess.Popen([os.path.join(run, "updater")], cwd=run,
                                env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        if delay is not None:
            time.sleep(delay)
            proc.send_signal(signal.SIGKILL)
        proc.wait()
        took = time.monotonic() - start
        what = ("killed after %.3f s" % delay if delay is not None
                else "killed by its program after %s" % kill_after)
        if proc.returncode > 0:  # 1603 proc.returncode > 0: 0xFF: it failed
            return "%s: the run stopped by itself (%d)" % (
                what, proc.returncode), took, False
        if proc.returncode == 0:
            # It ended before the kill: nothing to recover.
            tree = snapshot(run, skip)
            left = [r for r in tree if RESERVED in r]
            return ("%s: completed, but left %s" % (what, left[:3])
                    if left else None), took, tree if delay is None else True
        transcript = os.path.join(work, "recover.jsonl")
        env = dict(os.environ, UPDATER_ANSWERS="no",
                   UPDATER_TRANSCRIPT=transcript)
        if recovery_delay is not None:
            what += ", its recovery killed after %.3f s" % recovery_delay
            env.pop("UPDATER_TRANSCRIPT")
            second = subprocess.Popen([os.path.join(run, "updater")], cwd=run,
                                      env=env, stdin=subprocess.DEVNULL,
                                      stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
            time.sleep(recovery_delay)
            second.send_signal(signal.SIGKILL)
            second.wait()
            env["UPDATER_TRANSCRIPT"] = transcript
        second = subprocess.run([os.path.join(run, "updater")], cwd=run,
                                env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, timeout=120)
        with open(transcript) as f:
            events = [line for line in f.read().splitlines() if line]
        os.remove(transcript)
        after = snapshot(run, skip)
        if journals_left():
            return "%s: a journal is left: %s" % (what, journals_left()), \
                took, False
        if after == completed and not any(
                '"recover"' in e and '"undone":0,' not in e for e in events):
            # Killed as it ended: after its commit mark (the second start
            # finishes removing the saved copies), or after the journal went.
            return None, took, False
        if after != before:
            diff = sorted(set(after.items()) ^ set(before.items()))
            return ("%s: not the original tree after the second start: %s"
                    % (what, [d[0] for d in diff[:4]])), took, False
        # 1602 (stopped by the answer), of which POSIX keeps the low byte.
        if second.returncode != 1602 & 0xFF:
            return "%s: second start: %s" % (what, events[:2]), took, False
        return None, took, False
    finally:
        shutil.rmtree(run, ignore_errors=True)


def journals_left():
    folder = os.path.join(os.environ["UPDATER_STATE_HOME"], "updater")
    if not os.path.isdir(folder):
        return []
    return [n for n in os.listdir(folder) if n.endswith(".journal")]


def run_updater(run, answers, transcript=None):
    env = dict(os.environ, UPDATER_ANSWERS=answers)
    env.pop("UPDATER_TRANSCRIPT", None)
    if transcript:
        env["UPDATER_TRANSCRIPT"] = transcript
    return subprocess.Popen([os.path.join(run, "updater")], cwd=run, env=env,
                            stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


def concurrent_round(program, helpers, work, files, offset):
    """Two starts of one settings file, the second offset seconds after the
    first; returns a problem or None."""
    run = tempfile.mkdtemp(prefix="kill-two-", dir=work)
    try:
        shutil.copy(program, os.path.join(run, "updater"))
        with open(os.path.join(run, "updater.ini"), "w", newline="") as f:
            f.write(rollback_settings(run, None, helpers))
        make_tree(run, files)
        first = run_updater(run, "yes")
        time.sleep(offset)
        transcript = os.path.join(work, "second.jsonl")
        second = run_updater(run, "yes", transcript)
        second.wait(timeout=120)
        first.wait(timeout=120)
        with open(transcript) as f:
            events = f.read()
        os.remove(transcript)
        what = "second start after %.3f s" % offset
        busy = 1618 & 0xFF
        # The one that takes the lock first completes; the other stops
        # before anything runs, or runs after it (and stops at the files
        # the first one moved away: 1603).
        if first.returncode == busy:
            if second.returncode != 0:
                return "%s: the first was refused, the second ended with %d" % (
                    what, second.returncode)
        elif first.returncode != 0:
            return "%s: the first run ended with %d" % (what, first.returncode)
        elif second.returncode == busy:
            if '"proc"' in events or '"recover"' in events:
                return "%s: refused, but acted: %s" % (what, events[:200])
        elif second.returncode not in (0, 1603 & 0xFF):
            return "%s: ended with %d" % (what, second.returncode)
        tree = snapshot(run, {"updater", "updater.ini"})
        left = [r for r in tree if RESERVED in r]
        if left or journals_left():
            return "%s: left %s %s" % (what, left[:3], journals_left())
        return None
    finally:
        shutil.rmtree(run, ignore_errors=True)


def moved_file_round(program, helpers, work):
    """A file moved away, a new one written at its old name by a started
    program that then kills the run: the next start keeps both."""
    run = tempfile.mkdtemp(prefix="kill-moved-", dir=work)
    try:
        shutil.copy(program, os.path.join(run, "updater"))
        os.makedirs(os.path.join(run, "app"))
        with open(os.path.join(run, "app", "config.ini"), "w") as f:
            f.write("the user's settings")
        script = os.path.join(run, "write.sh")
        with open(script, "w") as f:
            f.write("#!/bin/sh\necho new > '%s/app/config.ini'\n"
                    "exec '%s' \"$@\"\n"
                    % (run, os.path.join(helpers, "kill_parent")))
        os.chmod(script, 0o755)
        lines = ["[UPDATER]", "NAME=Kill", "PROC=M,L", "ROLLBACK=1",
                 "[M]", "MODE=MOVE", "FROM=%s/app/config.ini" % run,
                 "TO=%s/app/backup/config.ini" % run,
                 "[L]", "MODE=LAUNCH", "FILE=%s" % script,
                 "PARAM=%s/updater" % run, "ISWAIT=1"]
        with open(os.path.join(run, "updater.ini"), "w", newline="") as f:
            f.write("\r\n".join(lines) + "\r\n")
        run_updater(run, "yes").wait(timeout=60)
        transcript = os.path.join(work, "moved.jsonl")
        run_updater(run, "no", transcript).wait(timeout=60)
        with open(transcript) as f:
            events = f.read()
        os.remove(transcript)
        try:
            with open(os.path.join(run, "app", "backup", "config.ini")) as f:
                kept = f.read()
        except OSError:
            kept = None
        if kept != "the user's settings":
            return "moved file: the user's file is lost (%r)" % kept
        if '"failed":0' in events:
            return "moved file: the recovery reported no failure"
        # What the next starts keep reporting is cleared for the next round.
        for name in journals_left():
            os.remove(os.path.join(os.environ["UPDATER_STATE_HOME"],
                                   "updater", name))
        return None
    finally:
        shutil.rmtree(run, ignore_errors=True)


def rollback_tests(program, helpers, work, rounds, rng):
    passed = failed = 0
    files = 300
    problem, span, completed = rollback_round(program, helpers, work, files,
                                              None, None)
    if problem or not isinstance(completed, dict):
        print("FAIL: ROLLBACK: the run without a kill: %s" % problem)
        return 0, 1
    cases = [(None, step) for step in STEPS]
    cases += [(span * rng.random() if i else 0.001, None)
              for i in range(rounds)]
    # The recovery itself killed: the first run killed near its end, when
    # the most is to be undone.
    recoveries = [span * (0.6 + 0.3 * rng.random()) for _ in range(rounds // 2)]
    cases += [(None, None)] * len(recoveries)
    ended = 0
    for n, (delay, kill_after) in enumerate(cases):
        again = None
        if n >= len(cases) - len(recoveries):
            delay = recoveries[n - (len(cases) - len(recoveries))]
            again = span * 0.1 * rng.random()
        problem, _, done = rollback_round(program, helpers, work, files, delay,
                                          kill_after, completed, again)
        ended += done is True
        if problem:
            failed += 1
            print("FAIL: ROLLBACK " + problem)
        else:
            passed += 1
    print("ROLLBACK killed %d times within %.2f s, after each of %d steps,"
          " and %d times with its recovery killed too (%d runs ended first)"
          % (rounds, span, len(STEPS), len(recoveries), ended))
    for n in range(rounds):
        problem = concurrent_round(program, helpers, work, files,
                                   span * rng.random() if n else 0.0)
        if problem:
            failed += 1
            print("FAIL: ROLLBACK two starts, " + problem)
        else:
            passed += 1
    print("ROLLBACK started twice %d times" % rounds)
    problem = moved_file_round(program, helpers, work)
    if problem:
        failed += 1
        print("FAIL: ROLLBACK " + problem)
    else:
        passed += 1
    return passed, failed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--helpers", help="where kill_parent is (default: "
                        "beside the program)")
    parser.add_argument("--rounds", type=int, default=12)
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    helpers = os.path.abspath(args.helpers or os.path.dirname(program))
    work = tempfile.mkdtemp(prefix="kill-tests-")
    # The account's state folder (journals) of these tests alone.
    os.environ["UPDATER_STATE_HOME"] = os.path.join(work, "state")
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
        more_passed, more_failed = rollback_tests(program, helpers, work,
                                                  args.rounds, rng)
        passed += more_passed
        failed += more_failed
    finally:
        shutil.rmtree(work, ignore_errors=True)
        if other:
            shutil.rmtree(other, ignore_errors=True)
    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
