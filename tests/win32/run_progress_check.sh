#!/bin/bash
# Runs the check of the progress window under Wine and prints "N passed,
# N failed": updater.exe with PROGRESS=1 copies many files while
# progress_check.exe watches its window, then shows a message box (a real
# one: no unattended answers) that the check answers. Builds nothing: give the directory
# of the Windows build that holds updater.exe and progress_check.exe
# (default: build/win32 of the source tree).
#
# Wine makes no window without an X display, so the run takes place on a
# virtual one (xvfb-run, package xvfb), whatever DISPLAY says.
#
#   tests/win32/run_progress_check.sh [BUILD_DIR]
set -u -o pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/win32/summary.sh
. "$here/summary.sh"
build=${1:-$here/../../build/win32}
files=${PROGRESS_CHECK_FILES:-12000}
for exe in updater.exe progress_check.exe; do
  if [ ! -f "$build/$exe" ]; then
    echo "no $build/$exe: build the Windows tree first" >&2
    echo "0 passed, 1 failed"
    exit 1
  fi
done

if ! command -v xvfb-run >/dev/null; then
  echo "no xvfb-run (package xvfb): the window cannot be shown" >&2
  echo "0 passed, 1 failed"
  exit 1
fi

scratch=$(mktemp -d /tmp/progress-check.XXXXXX)
# The prefix of the environment when there is one (the test command shares
# one between its Wine steps), else one of its own.
export WINEPREFIX=${WINEPREFIX:-$scratch/prefix}
export WINEDEBUG=${WINEDEBUG_PROGRESS:--all}
export LANG=C.UTF-8
export LC_ALL=C.UTF-8
unset UPDATER_ANSWERS UPDATER_TRANSCRIPT UPDATER_EXITCODE

cleanup() {
  wineserver -k >/dev/null 2>&1
  rm -rf "$scratch"
}
trap cleanup EXIT

work=$scratch/work
mkdir -p "$work"
cp "$build/updater.exe" "$build/progress_check.exe" "$work/"
work_win="Z:$(echo "$work" | tr / '\\')"
caption="Progress check"
python3 - "$work" "$files" <<'PY'
import os, sys
work, files = sys.argv[1], int(sys.argv[2])
for i in range(files):
    sub = os.path.join(work, "data", "d%02d" % (i % 60))
    os.makedirs(sub, exist_ok=True)
    with open(os.path.join(sub, "f%05d.txt" % i), "w") as f:
        f.write("x" * (i % 300))
PY
printf '[UPDATER]\r\nNAME=%s\r\nPROC=CopyAll,Done\r\nPROGRESS=1\r\n[CopyAll]\r\nMODE=COPY\r\nFROM=<Src>\\data\r\nTO=<Src>\\copy\r\n[Done]\r\nMODE=MSGBOX\r\nFLAG=\r\nTYPE=INFORMATION\r\nTEXT=Copied.\r\nISABORT=0,0\r\n' \
  "$caption" > "$work/updater.ini"

# The prefix is made on the same display: a Wine desktop started without one
# would stay without a driver for the programs that follow.
output=$(cd "$work" && timeout 600 xvfb-run -a -s "-screen 0 1024x768x24" \
  sh -c 'wineboot -i >/dev/null 2>&1; wine progress_check.exe "$1" "$2"' \
  check "$work_win" "$caption" 2>&1 | tr -d '\r')
status=$?
summary "$output"
passed=$summary_passed
failed=$summary_failed
if [ -z "$passed" ]; then
  echo "FAIL: the check program ended without a summary (exit $status)"
  passed=0
  failed=1
fi

copied=$(find "$work/copy" -type f 2>/dev/null | wc -l)
if [ "$copied" -eq "$files" ]; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
  echo "FAIL: $copied of $files files copied"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
