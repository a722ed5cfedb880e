#!/usr/bin/env python3
"""Runs the end-to-end scenarios (tests/scenarios/<area>/<name>.json).

Each scenario runs in a fresh temporary directory: the program is copied
there beside its settings file (updater.ini), the scenario's files are made,
the program runs with UPDATER_ANSWERS and UPDATER_TRANSCRIPT set, and the
transcript events and the file tree afterwards are compared with what the
scenario expects. The format is described in tests/scenarios/README.md.

  run_scenarios.py --program build/native/updater [--helpers DIR] [PATH...]
  run_scenarios.py --program build/win32/updater.exe --wine [PATH...]

Prints one line per scenario and, last, "N passed, N failed" alone on a line.
Exit status: 0 when every scenario passed, 1 otherwise, 2 for a usage error
or when no scenario was found.
"""

import argparse
import concurrent.futures
import datetime
import json
import os
import re
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import threading
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_TIMEOUT = 60
NEWLINE = "\r\n"  # settings files are written as on Windows
KNOWN_KEYS = {
    "description", "platforms", "settings", "settings_encoding", "files",
    "setup", "wine_setup", "args", "answers", "env", "timeout", "expect",
    "checker", "transcript", "closed_fds",
}
CHECKER_KEYS = {"args", "exit", "output_re", "output_not_re", "findings"}


class ScenarioError(Exception):
    """A scenario file that cannot be run as written."""


# Programs are copied and started from several threads. A child forked while
# another thread writes an executable would hold it open for writing, and
# starting that executable would fail (ETXTBSY): copies and starts take turns.
SPAWN_LOCK = threading.Lock()


def copy_executable(source, destination):
    with SPAWN_LOCK:
        shutil.copy2(source, destination)


def spawn(argv, **kwargs):
    with SPAWN_LOCK:
        return subprocess.Popen(argv, **kwargs)


# ---------------------------------------------------------------------------
# Where the program runs: native or under Wine.

class Target:
    def __init__(self, program, helpers_dir, wine, launcher, checker=None):
        self.program = os.path.abspath(program)
        # The settings checker, run beside the program by scenarios that
        # have "checker".
        self.checker = checker and os.path.abspath(checker)
        self.program_name = os.path.basename(self.program)
        self.helpers_dir = os.path.abspath(helpers_dir)
        self.wine = wine
        self.launcher = launcher and os.path.abspath(launcher)
        self.platform = "wine" if wine else "native"
        self.sep = "\\" if wine else "/"
        self.exe_suffix = ".exe" if wine else ""
        # Texts handed to the program (arguments, settings default).
        self.ansi = "cp932" if wine else "utf-8"

    def settings_name(self):
        stem, _ = os.path.splitext(self.program_name)
        return (stem if stem else self.program_name) + ".ini"

    def path(self, host_path):
        """A host path as the program sees it."""
        if not self.wine:
            return host_path
        return "Z:" + host_path.replace("/", "\\")


def run_in_session(argv, run_dir, env, timeout, stdout, stderr):
    """Runs argv in a session of its own and returns its exit code, or None
    after the timeout. Whatever it started in its session ends with it."""
    proc = spawn(argv, cwd=run_dir, env=env, stdin=subprocess.DEVNULL,
                 stdout=stdout, stderr=stderr, start_new_session=True)
    try:
        code = proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        code = None
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass
    if code is None:
        proc.wait()
    return code


def command_line_text(args):
    """The command-line text that the native build makes of its arguments:
    joined by single spaces, an argument holding a blank enclosed in double
    quotes. The Wine runs get exactly this text too."""
    parts = []
    for arg in args:
        parts.append('"%s"' % arg if (" " in arg or "\t" in arg) else arg)
    return " ".join(parts)


# ---------------------------------------------------------------------------
# Placeholders.

PLACEHOLDER = re.compile(r"\{(SRC|/|EXE|HELPER:[^{}]+)\}")


class Placeholders:
    def __init__(self, target, src_host):
        self.target = target
        self.src_host = src_host
        self.helpers = set()

    def value(self, name, host=False):
        t = self.target
        if name == "SRC":
            return self.src_host if host else t.path(self.src_host)
        if name == "/":
            return "/" if host else t.sep
        if name == "EXE":
            return t.program_name
        helper = name[len("HELPER:"):]
        self.helpers.add(helper)
        full = os.path.join(self.src_host, helper + t.exe_suffix)
        return full if host else t.path(full)

    def apply(self, text, host=False, regex=False):
        """Replaces the placeholders of text. host: paths as the host sees
        them (file names, setup commands). regex: the values are escaped."""
        def repl(m):
            v = self.value(m.group(1), host)
            return re.escape(v) if regex else v
        return PLACEHOLDER.sub(repl, text)

    def deep(self, value):
        if isinstance(value, str):
            return self.apply(value)
        if isinstance(value, list):
            return [self.deep(v) for v in value]
        if isinstance(value, dict):
            return {k: self.deep(v) for k, v in value.items()}
        return value


# ---------------------------------------------------------------------------
# Files and trees.

def file_bytes(content, subst, what):
    """Bytes of a file given as a string or as {"text"|"lines", "encoding"}."""
    if isinstance(content, str):
        return subst.apply(content).encode("utf-8")
    if not isinstance(content, dict):
        raise ScenarioError("%s: a file is a string or an object" % what)
    encoding = content.get("encoding", "utf-8")
    if "lines" in content:
        text = "".join(subst.apply(l) + NEWLINE for l in content["lines"])
    else:
        text = subst.apply(content.get("text", ""))
    try:
        return text.encode(encoding)
    except (LookupError, UnicodeError) as e:
        raise ScenarioError("%s: cannot encode as %s: %s" % (what, encoding, e))


def set_mtime(path, text, what):
    try:
        when = datetime.datetime.strptime(text, "%Y-%m-%d %H:%M:%S")
    except ValueError:
        raise ScenarioError("%s: mtime is 'YYYY-MM-DD HH:MM:SS' (local)" % what)
    stamp = time.mktime(when.timetuple())
    os.utime(path, (stamp, stamp))


def make_files(root, files, subst):
    readonly = []
    for key, content in files.items():
        rel = subst.apply(key, host=True)
        path = os.path.join(root, rel)
        if rel.endswith("/"):
            if content is not None:
                raise ScenarioError("files: directory %s takes null" % key)
            os.makedirs(path, exist_ok=True)
            continue
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(file_bytes(content, subst, "files: " + key))
        if isinstance(content, dict):
            if "mtime" in content:
                set_mtime(path, content["mtime"], "files: " + key)
            if content.get("readonly"):
                readonly.append(path)
    for path in readonly:
        os.chmod(path, stat.S_IMODE(os.stat(path).st_mode) & ~0o222)


def actual_tree(root, excluded):
    """path -> ("dir",) or ("file", bytes, readonly, mtime)."""
    tree = {}
    for dirpath, dirnames, filenames in os.walk(root):
        rel_dir = os.path.relpath(dirpath, root)
        prefix = "" if rel_dir == "." else rel_dir + "/"
        for d in dirnames:
            tree[prefix + d + "/"] = ("dir",)
        for name in filenames:
            rel = prefix + name
            if rel in excluded:
                continue
            path = os.path.join(dirpath, name)
            try:
                # A named pipe or a device is not opened: reading a pipe
                # without a writer would wait for ever. (A link that leads
                # nowhere is left to open, which tells why.)
                try:
                    mode = os.stat(path).st_mode
                except OSError:
                    mode = stat.S_IFREG
                if not stat.S_ISREG(mode):
                    raise OSError("not a regular file")
                with open(path, "rb") as f:
                    data = f.read()
            except OSError as e:
                data = ("<unreadable: %s>" % e).encode()
            st = os.lstat(path)
            ro = not (st.st_mode & 0o222)
            mtime = time.strftime("%Y-%m-%d %H:%M:%S",
                                  time.localtime(st.st_mtime))
            tree[rel] = ("file", data, ro, mtime)
    return tree


def shown(data):
    try:
        return json.dumps(data.decode("utf-8"), ensure_ascii=False)
    except UnicodeDecodeError:
        return "bytes " + data.hex()


def compare_tree(expected, actual, subst):
    """Returns a list of readable differences."""
    problems = []
    want = {}
    for key, expected_file in expected.items():
        rel = subst.apply(key, host=True)
        want[rel] = expected_file
        # The directories above every expected entry exist too.
        parts = rel.rstrip("/").split("/")[:-1]
        for i in range(1, len(parts) + 1):
            want.setdefault("/".join(parts[:i]) + "/", None)
    for rel in sorted(set(want) | set(actual)):
        if rel not in actual:
            problems.append("missing:    %s" % rel)
            continue
        if rel not in want:
            kind = actual[rel]
            extra = "" if kind[0] == "dir" else " = " + shown(kind[1])
            problems.append("unexpected: %s%s" % (rel, extra))
            continue
        expected_file, got = want[rel], actual[rel]
        if rel.endswith("/"):
            continue
        if got[0] != "file":
            problems.append("not a file: %s" % rel)
            continue
        data, readonly = got[1], got[2]
        if isinstance(expected_file, str) or expected_file is None:
            expected_file = {"text": expected_file}
        if not isinstance(expected_file, dict):
            raise ScenarioError("tree: %s: a string or an object" % rel)
        encoding = expected_file.get("encoding", "utf-8")
        if "text" in expected_file and expected_file["text"] is not None:
            want_data = subst.apply(expected_file["text"]).encode(encoding)
            if data != want_data:
                problems.append("content:    %s\n      want %s\n      got  %s"
                                % (rel, shown(want_data), shown(data)))
        if "text_re" in expected_file:
            text = data.decode(encoding, errors="replace")
            if not re.search(subst.apply(expected_file["text_re"], regex=True), text,
                             re.S):
                problems.append("content:    %s\n      want /%s/\n      got  %s"
                                % (rel, expected_file["text_re"], shown(data)))
        if "mtime" in expected_file and expected_file["mtime"] != got[3]:
            problems.append("mtime:      %s\n      want %s\n      got  %s"
                            % (rel, expected_file["mtime"], got[3]))
        if bool(expected_file.get("readonly", False)) != readonly:
            problems.append("readonly:   %s is %s" % (
                rel, "read-only" if readonly else "writable"))
    return problems


# ---------------------------------------------------------------------------
# Shell links (expect.lnk): binary files, read back with lnkinfo (package
# liblnk-utils). lnkinfo 20181227 prints another header field as "Show Window
# value", so the show command is read from the header itself (offset 60);
# and it stops with exit code 1 at a working-directory or arguments string
# of length 0, so what it did not print counts as empty only when an empty
# text is expected.

LINK_CLSID = bytes.fromhex("0114020000000000c000000000000046")
LNKINFO_LINES = {"target": "Local path", "workdir": "Working directory",
                 "arguments": "Command line arguments"}


def lnk_fields(path, target):
    """(fields, lnkinfo exit code) of a .LNK file, or (None, problem)."""
    with open(path, "rb") as f:
        data = f.read()
    if (len(data) < 0x4C or int.from_bytes(data[0:4], "little") != 0x4C
            or data[4:20] != LINK_CLSID):
        return None, "not a shell link (HeaderSize 0x4C and LinkCLSID)"
    fields = {"show": int.from_bytes(data[60:64], "little")}
    argv = ["lnkinfo"]
    if target.wine:
        argv += ["-c", "windows-932"]  # the ANSI strings of the Wine build
    try:
        proc = subprocess.run(argv + [path], stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, timeout=30)
    except FileNotFoundError:
        return None, "lnkinfo is missing: install liblnk-utils"
    text = proc.stdout.decode("utf-8", errors="replace")
    for key, label in LNKINFO_LINES.items():
        m = re.search(r"^\t%s\t*: (.*)$" % re.escape(label), text, re.M)
        if m:
            fields[key] = m.group(1)
        elif proc.returncode == 0:
            fields[key] = ""  # the string is absent
    return fields, proc.returncode


def compare_lnk(expected, root, subst, target):
    """expect.lnk: {"path.LNK": {"target", "workdir", "arguments", "show"}};
    each field given is compared. Returns a list of readable differences."""
    problems = []
    if not isinstance(expected, dict):
        raise ScenarioError("expect.lnk: an object of link paths")
    for key, want in expected.items():
        if not isinstance(want, dict):
            raise ScenarioError("expect.lnk: %s: an object" % key)
        unknown = set(want) - set(LNKINFO_LINES) - {"show"}
        if unknown:
            raise ScenarioError("expect.lnk: %s: unknown fields %s"
                                % (key, ", ".join(sorted(unknown))))
        path = os.path.join(root, subst.apply(key, host=True))
        if not os.path.isfile(path):
            problems.append("lnk missing: %s" % key)
            continue
        got, status = lnk_fields(path, target)
        if got is None:
            problems.append("lnk %s: %s" % (key, status))
            continue
        for field, value in want.items():
            value = subst.deep(value)
            if field not in got:
                if value == "":
                    continue  # lnkinfo stopped at this empty string
                problems.append("lnk %s: %s: lnkinfo stopped before it "
                                "(exit %d)" % (key, field, status))
            elif not same_value(value, got[field]):
                problems.append("lnk %s: %s: want %s, got %s" % (
                    key, field, json.dumps(value, ensure_ascii=False),
                    json.dumps(got[field], ensure_ascii=False)))
    return problems


# ---------------------------------------------------------------------------
# Events.

def same_value(want, got):
    if isinstance(want, bool) or isinstance(got, bool):
        return isinstance(want, bool) and isinstance(got, bool) and want == got
    return want == got


def event_matches(want, got, subst):
    if not isinstance(got, dict):
        return False
    for key, value in want.items():
        if key.endswith("_re"):
            field = key[:-3]
            if not isinstance(got.get(field), str):
                return False
            pattern = subst.apply(value, regex=True)
            if not re.search(pattern, got[field], re.S):
                return False
        elif key not in got or not same_value(subst.deep(value), got[key]):
            return False
    return True


def compare_events(expected, actual, subst):
    n = max(len(expected), len(actual))
    ok = len(expected) == len(actual) and all(
        event_matches(w, g, subst) for w, g in zip(expected, actual))
    if ok:
        return []
    lines = ["events (want / got, '!' marks the first difference):"]
    marked = False
    for i in range(n):
        w = expected[i] if i < len(expected) else None
        g = actual[i] if i < len(actual) else None
        bad = w is None or g is None or not event_matches(w, g, subst)
        mark = "!" if bad and not marked else " "
        marked = marked or bad
        lines.append(" %s %2d want %s" % (mark, i, "-" if w is None else
                     json.dumps(subst.deep(w), ensure_ascii=False)))
        lines.append("   %2s got  %s" % ("", "-" if g is None else
                     json.dumps(g, ensure_ascii=False)))
    return lines


class FifoReader:
    """A named pipe in place of the transcript, read while the program runs:
    the transcript as a pipe that has a reader. Opened for reading before
    the program starts (it opens without waiting and needs a reader there),
    and held open for writing too, so that the reader sees the end only
    once the runner lets go after the run."""

    def __init__(self, path):
        self.path = path
        self.data = []
        os.mkfifo(path)
        self.read_fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK)
        self.write_fd = os.open(path, os.O_WRONLY)
        os.set_blocking(self.read_fd, True)
        self.thread = threading.Thread(target=self._drain, daemon=True)
        self.thread.start()

    def _drain(self):
        while True:
            chunk = os.read(self.read_fd, 65536)
            if not chunk:
                break
            self.data.append(chunk)

    def finish(self):
        """Waits for the end of what was written, then leaves a plain file
        with it at the path, for read_transcript."""
        os.close(self.write_fd)
        self.thread.join(timeout=DEFAULT_TIMEOUT)
        os.close(self.read_fd)
        os.unlink(self.path)
        with open(self.path, "wb") as f:
            f.write(b"".join(self.data))


def compare_output(expect, output, subst):
    """expect.output_re and expect.output_not_re against the program's
    output (standard output and error)."""
    problems = []
    for pattern in expect.get("output_re", []):
        if not re.search(subst.apply(pattern, regex=True), output, re.M):
            problems.append("output lacks /%s/" % pattern)
    for pattern in expect.get("output_not_re", []):
        if re.search(subst.apply(pattern, regex=True), output, re.M):
            problems.append("output has /%s/" % pattern)
    return problems


def read_transcript(path):
    events, problems = [], []
    if not os.path.exists(path):
        return events, ["no transcript was written"]
    with open(path, "rb") as f:
        for number, raw in enumerate(f, 1):
            try:
                events.append(json.loads(raw.decode("utf-8")))
            except (UnicodeDecodeError, ValueError) as e:
                problems.append("transcript line %d is not JSON in UTF-8 (%s): %r"
                                % (number, e, raw))
    return events, problems


# ---------------------------------------------------------------------------
# One scenario.

def load_scenario(path):
    with open(path, encoding="utf-8") as f:
        data = json.load(f)
    if not isinstance(data, dict):
        raise ScenarioError("a scenario is a JSON object")
    unknown = set(data) - KNOWN_KEYS
    if unknown:
        raise ScenarioError("unknown keys: %s" % ", ".join(sorted(unknown)))
    return data


def run_program(target, run_dir, tmp_root, args, env, timeout, closed=()):
    """Runs the program, with the standard descriptors closed given closed
    at its start (native only); returns (exit code or None on timeout,
    output)."""
    out_path = os.path.join(tmp_root, "output.txt")
    program = os.path.join(run_dir, target.program_name)
    if target.wine:
        line = '"%s"' % target.path(program)
        if args:
            line += " " + command_line_text(args)
        cmd_file = os.path.join(tmp_root, "command_line.txt")
        with open(cmd_file, "wb") as f:
            f.write(line.encode(target.ansi))
        argv = ["wine", target.launcher, target.path(cmd_file)]
    else:
        argv = [program] + args
    if closed:
        # The shell closes them and becomes the program.
        argv = ["/bin/sh", "-c", 'exec "$@" ' +
                " ".join("%d>&-" % fd for fd in closed), "sh"] + argv
    with open(out_path, "wb") as out:
        code = run_in_session(argv, run_dir, env, timeout, out,
                              subprocess.STDOUT)
    with open(out_path, "rb") as f:
        output = f.read().decode("utf-8", errors="replace")
    return code, output


def make_writable(root):
    for dirpath, dirnames, filenames in os.walk(root):
        for name in dirnames + filenames:
            path = os.path.join(dirpath, name)
            try:
                if not os.path.islink(path):
                    os.chmod(path, stat.S_IMODE(os.lstat(path).st_mode) | 0o700)
            except OSError:
                pass


def run_scenario(path, name, target, base_env, keep):
    """Returns (status, details): status is 'pass', 'fail' or 'skip'."""
    try:
        sc = load_scenario(path)
    except (OSError, ValueError, ScenarioError) as e:
        return "fail", ["cannot read the scenario: %s" % e]
    if target.platform not in sc.get("platforms", ["native", "wine"]):
        return "skip", []
    tmp_root = tempfile.mkdtemp(prefix="scenario-")
    run_dir = os.path.join(tmp_root, "run")
    os.mkdir(run_dir)
    try:
        return check_scenario(sc, target, base_env, tmp_root, run_dir)
    except ScenarioError as e:
        return "fail", ["scenario error: %s" % e]
    except Exception:  # a fault of the runner: report it, go on
        return "fail", ["runner error:"] + traceback.format_exc().splitlines()
    finally:
        if keep:
            print("  kept %s (%s)" % (tmp_root, name), flush=True)
        else:
            make_writable(tmp_root)
            shutil.rmtree(tmp_root, ignore_errors=True)


def check_scenario(sc, target, base_env, tmp_root, run_dir):
    subst = Placeholders(target, run_dir)
    expect = sc.get("expect", {})
    # Every helper named anywhere in the scenario is copied beside the
    # program (scan the whole scenario text for {HELPER:...}).
    subst.deep({k: v for k, v in sc.items() if k != "description"})
    args = [subst.apply(a) for a in sc.get("args", [])]

    copy_executable(target.program,
                    os.path.join(run_dir, target.program_name))
    excluded = {target.program_name}
    for helper in sorted(subst.helpers):
        source = os.path.join(target.helpers_dir, helper + target.exe_suffix)
        if not os.path.isfile(source):
            raise ScenarioError("helper %s not found in %s"
                                % (helper, target.helpers_dir))
        copy_executable(source,
                        os.path.join(run_dir, helper + target.exe_suffix))
        excluded.add(helper + target.exe_suffix)

    settings = sc.get("settings")
    settings_name = target.settings_name()
    if settings is not None:
        if isinstance(settings, list):
            text = "".join(subst.apply(l) + NEWLINE for l in settings)
        elif isinstance(settings, str):
            text = subst.apply(settings)
        else:
            raise ScenarioError("settings: a list of lines, a text or null")
        encoding = sc.get("settings_encoding", "utf-8")
        try:
            if encoding.lower().replace("_", "-") == "utf-16":
                # The byte-order mark and little-endian, whatever the host.
                data = b"\xff\xfe" + text.encode("utf-16-le")
            else:
                data = text.encode(encoding)
        except (LookupError, UnicodeError) as e:
            raise ScenarioError("settings_encoding %s: %s" % (encoding, e))
        with open(os.path.join(run_dir, settings_name), "wb") as f:
            f.write(data)
        excluded.add(settings_name)

    make_files(run_dir, sc.get("files", {}), subst)

    env = dict(base_env)
    transcript = os.path.join(tmp_root, "transcript.jsonl")
    env["UPDATER_TRANSCRIPT"] = target.path(transcript)
    # A scenario that names its own transcript has none read by the runner.
    own_transcript = "UPDATER_TRANSCRIPT" in sc.get("env", {})
    if own_transcript and "events" in expect:
        raise ScenarioError("expect.events needs the runner's transcript; "
                            "env sets UPDATER_TRANSCRIPT")
    kind = sc.get("transcript", "file")
    if kind not in ("file", "fifo") or (kind == "fifo" and target.wine):
        raise ScenarioError('transcript: "file", or "fifo" (native only)')
    closed = sc.get("closed_fds", [])
    if not isinstance(closed, list) or not set(closed) <= {0, 1, 2} or (
            closed and target.wine):
        raise ScenarioError("closed_fds: a list of 0, 1, 2 (native only)")
    env["UPDATER_ANSWERS"] = subst.apply(sc.get("answers", ""))
    # The account's state folder (rollback journals) of this scenario alone.
    state = os.path.join(tmp_root, "state")
    os.makedirs(state, mode=0o700, exist_ok=True)
    env["XDG_STATE_HOME"] = state
    env["UPDATER_STATE_HOME"] = target.path(state)
    for key, value in sc.get("env", {}).items():
        if value is None:
            env.pop(key, None)
        else:
            env[key] = subst.apply(value)

    if sc.get("setup"):
        setup_env = dict(env, SRC=run_dir)
        # Output into a file: a program that setup leaves running in the
        # background may keep it open.
        setup_out = os.path.join(tmp_root, "setup.txt")
        with open(setup_out, "wb") as out:
            setup = spawn(subst.apply(sc["setup"], host=True), shell=True,
                          cwd=run_dir, env=setup_env,
                          stdin=subprocess.DEVNULL, stdout=out,
                          stderr=subprocess.STDOUT)
            setup.wait()
        if setup.returncode != 0:
            with open(setup_out, "rb") as f:
                output = f.read().decode(errors="replace")
            return "fail", ["setup failed (%d): %s" % (setup.returncode,
                                                        output)]

    if target.wine and sc.get("wine_setup"):
        problems = run_wine_setup(sc["wine_setup"], subst, run_dir, env)
        if problems:
            return "fail", problems

    timeout = sc.get("timeout", DEFAULT_TIMEOUT)
    problems = []
    if "checker" in sc:
        problems += check_with_checker(sc["checker"], target, subst, run_dir,
                                       tmp_root, env, timeout)

    fifo = FifoReader(transcript) if kind == "fifo" else None
    started = time.monotonic()
    code, output = run_program(target, run_dir, tmp_root, args, env, timeout,
                               closed)
    elapsed = time.monotonic() - started
    if fifo:
        fifo.finish()

    if code is None:
        problems.append("timed out after %d s" % timeout)
    else:
        # The whole code is in the transcript; the system keeps its low
        # eight bits (1602 is seen as 66), on Linux as under Wine.
        want = expect.get("exit", 0)
        if code != want & 0xFF:
            problems.append("exit code %d, want %d (%d)" % (code, want & 0xFF,
                                                          want))
    if not own_transcript:
        events, transcript_problems = read_transcript(transcript)
        problems += transcript_problems
    problems += compare_output(expect, output, subst)
    if "events" in expect:
        problems += compare_events(expect["events"], events, subst)
    if "tree" in expect:
        problems += compare_tree(expect["tree"],
                                 actual_tree(run_dir, excluded), subst)
    if "lnk" in expect:
        problems += compare_lnk(expect["lnk"], run_dir, subst, target)
    if problems:
        if output.strip():
            tail = output.strip().splitlines()[-15:]
            problems.append("program output:")
            problems += ["  | " + l for l in tail]
        return "fail", problems
    return "pass", ["%.1f s" % elapsed]


# ---------------------------------------------------------------------------
# The settings checker ("checker"): runs before the program, in the same
# directory, and must leave every file as it was.

def finding_count(output):
    """Findings in the checker's output: JSON objects with a severity, or
    text lines "FILE: [SECTION] KEY: SEVERITY: ..."."""
    count = 0
    for line in output.splitlines():
        line = line.strip()
        if line.startswith("{"):
            try:
                finding = json.loads(line)
            except ValueError:
                continue
            count += isinstance(finding, dict) and "severity" in finding
        elif re.search(r"\]( [^:]*)?: (error|warning|note): ", line):
            count += 1
    return count


def check_with_checker(checker_run, target, subst, run_dir, tmp_root, env,
                       timeout):
    """Runs the checker as the scenario's "checker" object says; returns a
    list of problems."""
    if not isinstance(checker_run, dict) or set(checker_run) - CHECKER_KEYS:
        raise ScenarioError("checker: an object with the keys %s"
                            % ", ".join(sorted(CHECKER_KEYS)))
    if not target.checker or not os.path.isfile(target.checker):
        return ["checker: no program %s (build updater-check, or give "
                "--checker)" % target.checker]
    args = [subst.apply(a) for a in checker_run.get("args", [])]
    out_path = os.path.join(tmp_root, "checker-output.txt")
    err_path = os.path.join(tmp_root, "checker-errors.txt")
    if target.wine:
        line = '"%s"' % target.path(target.checker)
        if args:
            line += " " + command_line_text(args)
        cmd_file = os.path.join(tmp_root, "checker_command_line.txt")
        with open(cmd_file, "wb") as f:
            f.write(line.encode(target.ansi))
        argv = ["wine", target.launcher, target.path(cmd_file)]
    else:
        argv = [target.checker] + args
    before = actual_tree(run_dir, set())
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        code = run_in_session(argv, run_dir, env, timeout, out, err)
    with open(out_path, "rb") as f:
        # Text output of the Windows build ends its lines with CR LF.
        output = f.read().decode("utf-8", errors="replace").replace("\r\n", "\n")
    with open(err_path, "rb") as f:
        errors = f.read().decode("utf-8", errors="replace")

    problems = []
    if code is None:
        problems.append("checker: timed out after %d s" % timeout)
    elif "exit" in checker_run and code != checker_run["exit"]:
        problems.append("checker: exit code %d, want %d" % (code, checker_run["exit"]))
    for pattern in checker_run.get("output_re", []):
        if not re.search(subst.apply(pattern, regex=True), output, re.M):
            problems.append("checker: output lacks /%s/" % pattern)
    for pattern in checker_run.get("output_not_re", []):
        if re.search(subst.apply(pattern, regex=True), output, re.M):
            problems.append("checker: output has /%s/" % pattern)
    if "findings" in checker_run and finding_count(output) != checker_run["findings"]:
        problems.append("checker: %d findings, want %d"
                        % (finding_count(output), checker_run["findings"]))
    after = actual_tree(run_dir, set())
    if after != before:
        changed = sorted(k for k in set(before) | set(after)
                         if before.get(k) != after.get(k))
        problems.append("checker: changed the tree: %s" % ", ".join(changed))
    if problems:
        problems.append("checker output:")
        problems += ["  | " + l for l in (output + errors).strip().splitlines()[-20:]]
    return problems


# ---------------------------------------------------------------------------
# Wine.

def run_wine_setup(commands, subst, run_dir, env):
    """Runs each argument list of "wine_setup" as `wine <args>` (for example
    `wine reg add ...`) before the program; returns a list of problems."""
    if not isinstance(commands, list) or not all(
            isinstance(c, list) and c and all(isinstance(a, str) for a in c)
            for c in commands):
        raise ScenarioError("wine_setup: a list of argument lists")
    for command in commands:
        argv = ["wine"] + [subst.apply(a) for a in command]
        proc = spawn(argv, cwd=run_dir, env=env, stdin=subprocess.DEVNULL,
                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        try:
            output = proc.communicate(timeout=DEFAULT_TIMEOUT)[0]
        except subprocess.TimeoutExpired:
            proc.kill()
            output = proc.communicate()[0]
            return ["wine_setup timed out: %s" % " ".join(command)]
        if proc.returncode != 0:
            return ["wine_setup failed (%d): %s: %s" % (
                proc.returncode, " ".join(command),
                output.decode(errors="replace").strip())]
    return []


def wine_environment(env):
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    env["WINEDEBUG"] = "-all"
    env["LANG"] = env["LC_ALL"] = "ja_JP.UTF-8"
    # No prompts to install Mono or Gecko into a new prefix.
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    created = None
    locale_dir = None
    if not env.get("WINEPREFIX"):
        created = tempfile.mkdtemp(prefix="wineprefix-")
        env["WINEPREFIX"] = created
    quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                 stdin=subprocess.DEVNULL)
    # Wine converts file names through the C library's locale: without
    # ja_JP.UTF-8 it garbles every Japanese name. When the system has not
    # generated it, a private copy is made with localedef.
    locales = subprocess.run(["locale", "-a"], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL).stdout.decode()
    if not re.search(r"(?im)^ja_JP\.utf-?8$", locales):
        locale_dir = tempfile.mkdtemp(prefix="locale-")
        env["LOCPATH"] = locale_dir
        try:
            made = subprocess.run(
                ["localedef", "-i", "ja_JP", "-f", "UTF-8",
                 os.path.join(locale_dir, "ja_JP.UTF-8")], **quiet)
            ok = made.returncode == 0
        except FileNotFoundError:
            ok = False
        if not ok:
            shutil.rmtree(locale_dir, ignore_errors=True)
            if created:
                shutil.rmtree(created, ignore_errors=True)
            raise ScenarioError("the locale ja_JP.UTF-8 is missing and "
                                "localedef cannot make it: install locales "
                                "(tools/setup-debian.sh)")
    # One server for the whole run, started here, outside the sessions of
    # the scenarios (a timed-out scenario's session is killed) and without
    # the files through which a scenario's output is collected. A server
    # that still runs for the prefix is given a moment to end first.
    try:
        subprocess.run(["wineserver", "-w"], env=env, timeout=10, **quiet)
    except subprocess.TimeoutExpired:
        pass
    subprocess.run(["wineserver", "-p30"], env=env, **quiet)
    if not os.path.exists(os.path.join(env["WINEPREFIX"], "system.reg")):
        subprocess.run(["wineboot", "-i"], env=env, timeout=300, **quiet)
    return created, locale_dir


def wine_shutdown(env, made):
    """Ends the server of a prefix made for this run and removes the prefix
    and the locale made for it; the server of a given prefix ends by itself
    30 s after its last use."""
    created, locale_dir = made
    if created:
        subprocess.run(["wineserver", "-k"], env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.rmtree(created, ignore_errors=True)
    if locale_dir:
        shutil.rmtree(locale_dir, ignore_errors=True)


# ---------------------------------------------------------------------------

def find_scenarios(paths):
    found = []
    for p in paths:
        p = os.path.abspath(p)
        if os.path.isdir(p):
            for dirpath, _, filenames in os.walk(p):
                found += [os.path.join(dirpath, f) for f in filenames
                          if f.endswith(".json")]
        elif os.path.isfile(p):
            found.append(p)
        else:
            raise SystemExit("run_scenarios: no such file or directory: %s" % p)
    return sorted(set(found))


def scenario_name(path):
    root = os.path.join(HERE, "scenarios")
    rel = os.path.relpath(path, root)
    if rel.startswith(".."):
        rel = os.path.basename(path)
    return rel[:-5] if rel.endswith(".json") else rel


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("paths", nargs="*",
                        help="scenario files or directories "
                             "(default: tests/scenarios)")
    parser.add_argument("--program", required=True,
                        help="the updater to test (updater or updater.exe)")
    parser.add_argument("--wine", action="store_true",
                        help="run the Windows build under Wine")
    parser.add_argument("--helpers",
                        help="directory of the helper programs "
                             "(default: the program's directory)")
    parser.add_argument("--filter", default="",
                        help="run only scenarios whose name holds this text")
    parser.add_argument("-j", "--jobs", type=int, default=2,
                        help="scenarios run at the same time (default 2)")
    parser.add_argument("--checker",
                        help="the settings checker for scenarios with "
                             "\"checker\" (default: updater-check beside "
                             "the program)")
    parser.add_argument("--keep", action="store_true",
                        help="keep the temporary directories")
    opts = parser.parse_args()

    if not os.path.isfile(opts.program):
        print("run_scenarios: no program %s" % opts.program, file=sys.stderr)
        return 2
    helpers = opts.helpers or os.path.dirname(os.path.abspath(opts.program))
    launcher = None
    if opts.wine:
        launcher = os.path.join(helpers, "run_command_line.exe")
        if not os.path.isfile(launcher):
            launcher = os.path.join(os.path.dirname(
                os.path.abspath(opts.program)), "run_command_line.exe")
        if not os.path.isfile(launcher):
            print("run_scenarios: run_command_line.exe (built with the "
                  "Windows build) not found", file=sys.stderr)
            return 2
    checker = opts.checker or os.path.join(
        os.path.dirname(os.path.abspath(opts.program)),
        "updater-check" + (".exe" if opts.wine else ""))
    target = Target(opts.program, helpers, opts.wine, launcher, checker)

    scenarios = [p for p in find_scenarios(opts.paths or
                                           [os.path.join(HERE, "scenarios")])
                 if opts.filter in scenario_name(p)]
    if not scenarios:
        print("run_scenarios: no scenario found", file=sys.stderr)
        print("0 passed, 0 failed")
        return 2

    env = dict(os.environ)
    for key in ("UPDATER_ANSWERS", "UPDATER_TRANSCRIPT"):
        env.pop(key, None)
    created_prefix = None
    if opts.wine:
        try:
            created_prefix = wine_environment(env)
        except ScenarioError as e:
            print("run_scenarios: %s" % e, file=sys.stderr)
            print("0 passed, 1 failed")
            return 1
    else:
        # A fixed UTF-8 locale: the native build's code page is UTF-8.
        env["LANG"] = env["LC_ALL"] = "C.UTF-8"

    print("%s: %s (%d scenarios)" % (target.platform, target.program,
                                     len(scenarios)), flush=True)
    counts = {"pass": 0, "fail": 0, "skip": 0}
    lock = threading.Lock()

    def one(path):
        name = scenario_name(path)
        status, details = run_scenario(path, name, target, env, opts.keep)
        with lock:
            counts[status] += 1
            if status == "pass":
                print("ok    %s (%s)" % (name, details[0]), flush=True)
            elif status == "fail":
                print("FAIL  %s" % name)
                for line in details:
                    print("      " + line.replace("\n", "\n      "))
                sys.stdout.flush()

    try:
        with concurrent.futures.ThreadPoolExecutor(max(1, opts.jobs)) as pool:
            list(pool.map(one, scenarios))
    finally:
        if opts.wine:
            wine_shutdown(env, created_prefix)
    if counts["skip"]:
        print("(%d scenarios not for %s)" % (counts["skip"], target.platform))
    print("%d passed, %d failed" % (counts["pass"], counts["fail"]))
    return 1 if counts["fail"] else 0


if __name__ == "__main__":
    sys.exit(main())
