#!/usr/bin/env python3
"""Signals and a closed terminal, end to end on the native build.

A run waits in a LAUNCH (the sleeper helper) between two steps:
- its terminal goes away (SIGHUP): the run goes on, the next COPY runs and
  the run completes;
- SIGTERM or SIGINT: the wait ends, the run stops before the next step as a
  failure (the end event "stopped", exit code 1603 with exit codes on);
- SIGTERM with ROLLBACK=1: the file replaced before the wait is put back.
Prints "N passed, N failed".

    tests/signals/signal_test.py [--program build/native/updater]
                                 [--helpers build/native]
"""
import argparse
import json
import os
import pty
import shutil
import signal
import sys
import tempfile
import time

WAIT_MS = 20000  # far longer than any case takes when the signal works


sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from check_results import Results  # noqa: E402

def make_run(root, program, sleeper, rollback):
    shutil.copy(program, os.path.join(root, "updater"))
    shutil.copy(sleeper, os.path.join(root, "sleeper"))
    with open(os.path.join(root, "app.dll"), "w") as f:
        f.write("old")
    with open(os.path.join(root, "new.dll"), "w") as f:
        f.write("new")
    lines = ["[UPDATER]", "NAME=Signals", "PROC=Replace,Wait,Copy"]
    if rollback:
        lines.append("ROLLBACK=1")
    lines += ["[Replace]", "MODE=COPY", "FROM=<Src>/new.dll",
              "TO=<Src>/app.dll",
              "[Wait]", "MODE=LAUNCH", "FILE=<Src>/sleeper",
              "PARAM=%d" % WAIT_MS, "ISWAIT=1",
              "[Copy]", "MODE=COPY", "FROM=<Src>/new.dll",
              "TO=<Src>/copied.dll"]
    with open(os.path.join(root, "updater.ini"), "w") as f:
        f.write("\n".join(lines) + "\n")


def events(transcript):
    try:
        with open(transcript) as f:
            return [json.loads(line) for line in f if line.strip()]
    except OSError:
        return []


def wait_for_launch(transcript, pid, limit=10.0):
    """Until the Replace step is in the transcript (the wait has begun)."""
    deadline = time.time() + limit
    while time.time() < deadline:
        if any(e.get("name") == "Replace" for e in events(transcript)):
            time.sleep(0.3)  # into the wait itself
            return True
        time.sleep(0.05)
    return False


def reap(pid, limit=15.0):
    """The exit status of pid, or None when it did not end in time (then
    it is killed)."""
    deadline = time.time() + limit
    while time.time() < deadline:
        done, status = os.waitpid(pid, os.WNOHANG)
        if done == pid:
            return status
        time.sleep(0.05)
    os.kill(pid, signal.SIGKILL)
    os.waitpid(pid, 0)
    return None


def run_case(program, sleeper, rollback, action):
    """Starts the run on its own pseudo-terminal (the terminal controls its
    session), then does action ("hangup", "term" or "int"). Returns (status,
    events, root files)."""
    root = tempfile.mkdtemp(prefix="signals-")
    try:
        make_run(root, program, sleeper, rollback)
        transcript = os.path.join(root, "..", os.path.basename(root) + ".jsonl")
        env = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8",
                   UPDATER_ANSWERS="", UPDATER_EXITCODE="1",
                   UPDATER_TRANSCRIPT=transcript)
        pid, master = pty.fork()
        if pid == 0:  # the child: session leader on the terminal
            os.chdir(root)
            os.execve(os.path.join(root, "updater"), ["updater"], env)
        status = None
        try:
            started = wait_for_launch(transcript, pid)
            if action == "hangup":
                os.close(master)  # the terminal goes away: SIGHUP
                master = None
            elif action == "term":
                os.kill(pid, signal.SIGTERM)
            elif action == "int":
                os.kill(pid, signal.SIGINT)
            # Let the sleeper end by itself in the hang-up case only.
            status = reap(pid, limit=(WAIT_MS / 1000 + 15) if action == "hangup"
                          else 15.0)
        finally:
            if master is not None:
                os.close(master)
        found = events(transcript)
        files = {}
        for name in ("app.dll", "copied.dll"):
            path = os.path.join(root, name)
            if os.path.exists(path):
                with open(path) as f:
                    files[name] = f.read()
        leftovers = [n for n in os.listdir(root) if n.startswith("~updater")]
        try:
            os.unlink(transcript)
        except OSError:
            pass
        return started, status, found, files, leftovers
    finally:
        shutil.rmtree(root, ignore_errors=True)


def outcome(found):
    ends = [e for e in found if e.get("event") == "end"]
    return ends[-1] if ends else None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", default="build/native/updater")
    parser.add_argument("--helpers", default="build/native")
    opts = parser.parse_args()
    program = os.path.abspath(opts.program)
    sleeper = os.path.abspath(os.path.join(opts.helpers, "sleeper"))
    results = Results()

    global WAIT_MS
    saved = WAIT_MS
    WAIT_MS = 1500  # the hang-up case waits for the sleeper to end
    started, status, found, files, _ = run_case(program, sleeper, False,
                                                "hangup")
    WAIT_MS = saved
    end = outcome(found)
    results.check("hang-up: the wait began", started)
    results.check("hang-up: the run is not ended by a signal",
                  status is not None and os.WIFEXITED(status),
                  repr(status))
    results.check("hang-up: the run completes",
                  end is not None and end.get("outcome") == "completed",
                  repr(found))
    results.check("hang-up: the next COPY ran",
                  files.get("copied.dll") == "new", repr(files))

    for action in ("term", "int"):
        started, status, found, files, _ = run_case(program, sleeper, False,
                                                    action)
        end = outcome(found)
        results.check(action + ": the wait began", started)
        results.check(action + ": the run ends by itself, 1603",
                      status is not None and os.WIFEXITED(status) and
                      os.WEXITSTATUS(status) == 1603 % 256, repr(status))
        results.check(action + ": the end event says stopped",
                      end is not None and end.get("outcome") == "stopped" and
                      end.get("code") == 1603, repr(found))
        results.check(action + ": the step after the wait never ran",
                      "copied.dll" not in files and
                      not any(e.get("name") == "Copy" for e in found),
                      repr(files))

    started, status, found, files, leftovers = run_case(program, sleeper,
                                                        True, "term")
    end = outcome(found)
    results.check("term with rollback: the run stops",
                  end is not None and end.get("outcome") == "stopped",
                  repr(found))
    results.check("term with rollback: the replaced file is put back",
                  files.get("app.dll") == "old" and "copied.dll" not in files,
                  repr(files))
    results.check("term with rollback: the undo is in the transcript",
                  any(e.get("event") == "rollback" and e.get("failed") == 0
                      for e in found), repr(found))
    results.check("term with rollback: no journal stays", not leftovers,
                  repr(leftovers))

    print("%d passed, %d failed" % (results.passed, results.failed))
    return 0 if results.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
