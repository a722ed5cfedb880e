#!/bin/bash
# Runs the Win32 platform checks under Wine and prints "N passed, N failed".
# Builds nothing: give the directory of the Win32 build that holds
# win32_platform_check.exe and profile_compare_check.exe (default:
# build/win32 of the source tree).
#
#   tests/win32/run_checks.sh [BUILD_DIR]
#
# Wine takes its ANSI code page from the locale variables and converts file
# names through the C library's locale, so ja_JP.UTF-8 must exist; when the
# system has not generated it, a private copy is made with localedef, and
# the run fails when that cannot be done. A missing lnkinfo fails too.
set -u -o pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/win32/summary.sh
. "$here/summary.sh"
build=${1:-$here/../../build/win32}
exe=$build/win32_platform_check.exe
if [ ! -f "$exe" ]; then
  echo "no $exe: build the Win32 tree first" >&2
  echo "0 passed, 1 failed"
  exit 1
fi

scratch=$(mktemp -d /tmp/win32-checks.XXXXXX)
# The prefix of the environment when there is one (the test command shares
# one between its Wine steps), else one of its own.
export WINEPREFIX=${WINEPREFIX:-$scratch/prefix}
export WINEDEBUG=-all
export LANG=ja_JP.UTF-8
export LC_ALL=ja_JP.UTF-8
# Kept empty on purpose: the program reports whether it arrives.
export W32CHECK_INHERITED_EMPTY=
unset DISPLAY WAYLAND_DISPLAY

cleanup() {
  wineserver -k >/dev/null 2>&1
  rm -rf "$scratch"
}
trap cleanup EXIT

ja_locale "$scratch"

mkdir -p "$scratch/work"
# The account's state folder (rollback journals) of these checks alone.
mkdir -p "$scratch/state"
export UPDATER_STATE_HOME="Z:$(echo "$scratch/state" | tr / '\\')"
# A link to the root of the file system (drive Z:), for the root guards; the
# checks only ever ask whether a path names a root, never change one.
ln -s / "$scratch/work/toroot"
# Links that lead back into a source (linked/src): one where a copy of the
# source into linked/dst needs a directory, one on the way of a
# destination. The checks only ever copy and move inside linked/.
mkdir -p "$scratch/work/linked/src/sub" "$scratch/work/linked/dst" \
  "$scratch/work/linked/way"
printf A > "$scratch/work/linked/src/a.txt"
printf B > "$scratch/work/linked/src/sub/b.txt"
ln -s ../src "$scratch/work/linked/dst/sub"
ln -s ../src/sub "$scratch/work/linked/way/j"

passed=0
failed=0
# Runs a check program of the build in its own folder under the scratch
# directory (given to it as a Windows path) and adds its "N passed, N
# failed" to the totals; a program that ends without that line fails once.
run_check() {  # program, folder
  local dir=$scratch/$2 output p f
  mkdir -p "$dir"
  cp "$build/$1" "$dir/" 2>/dev/null
  output=$(cd "$dir" && timeout 600 wine "$1" "Z:$(echo "$dir" | tr / '\\')" 2>&1 | tr -d '\r')
  summary "$output"
  p=$summary_passed
  f=$summary_failed
  if [ -z "$p" ]; then
    echo "FAIL: $1 ended without a summary"
    p=0
    f=1
  fi
  passed=$((passed + p))
  failed=$((failed + f))
}

run_check win32_platform_check.exe work

# The INI reader compared with GetPrivateProfileStringA on generated files:
# each compared (section, key) pair counts.
if [ -f "$build/profile_compare_check.exe" ]; then
  run_check profile_compare_check.exe compare
else
  failed=$((failed + 1))
  echo "FAIL: no $build/profile_compare_check.exe: build the Win32 tree first"
fi

# The shortcut read back by an independent reader of the link format.
check_lnk() {  # what, pattern
  if echo "$lnk" | grep -qF -- "$2"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: lnkinfo: $1"
  fi
}
if command -v lnkinfo >/dev/null; then
  lnk=$(lnkinfo "$scratch/work/links/App.LNK" 2>&1 | tr -s '\t' ' ')
  check_lnk "target" 'Local path : C:\Tools\app.exe'
  check_lnk "working directory" 'Working directory : C:\Tools'
  check_lnk "arguments" 'Command line arguments : -x "y z"'
else
  failed=$((failed + 1))
  echo "FAIL: lnkinfo is missing: install liblnk-utils (the shortcut is not read back)"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
