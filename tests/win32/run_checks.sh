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
build=${1:-$here/../../build/win32}
exe=$build/win32_platform_check.exe
if [ ! -f "$exe" ]; then
  echo "no $exe: build the Win32 tree first" >&2
  echo "0 passed, 1 failed"
  exit 1
fi

scratch=$(mktemp -d /tmp/win32-checks.XXXXXX)
export WINEPREFIX=$scratch/prefix
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

if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  mkdir -p "$scratch/locale"
  if localedef -i ja_JP -f UTF-8 "$scratch/locale/ja_JP.UTF-8" >/dev/null 2>&1; then
    export LOCPATH=$scratch/locale
  else
    echo "FAIL: the locale ja_JP.UTF-8 is missing and localedef cannot make it: install locales"
    echo "0 passed, 1 failed"
    exit 1
  fi
fi

mkdir -p "$scratch/work"
work_win="Z:$(echo "$scratch/work" | tr / '\\')"
cp "$exe" "$scratch/work/"
# A link to the root of the file system (drive Z:), for the root guards; the
# checks only ever ask whether a path names a root, never change one.
ln -s / "$scratch/work/toroot"

output=$(cd "$scratch/work" && timeout 600 wine win32_platform_check.exe "$work_win" 2>&1 | tr -d '\r')
status=$?
echo "$output" | grep -v -e '^[0-9]* passed, [0-9]* failed$' -e '^wine: '
passed=$(echo "$output" | sed -n 's/^\([0-9]*\) passed, \([0-9]*\) failed.*/\1/p' | tail -1)
failed=$(echo "$output" | sed -n 's/^\([0-9]*\) passed, \([0-9]*\) failed.*/\2/p' | tail -1)
if [ -z "$passed" ]; then
  echo "FAIL: the check program ended without a summary (exit $status)"
  passed=0
  failed=1
fi

# The INI reader compared with GetPrivateProfileStringA on generated files:
# each compared (section, key) pair counts.
compare_exe=$build/profile_compare_check.exe
if [ -f "$compare_exe" ]; then
  mkdir -p "$scratch/compare"
  cp "$compare_exe" "$scratch/compare/"
  compare_win="Z:$(echo "$scratch/compare" | tr / '\\')"
  compare=$(cd "$scratch/compare" && timeout 600 wine profile_compare_check.exe "$compare_win" 2>&1 | tr -d '\r')
  echo "$compare" | grep -v -e '^[0-9]* passed, [0-9]* failed$' -e '^wine: '
  cp_passed=$(echo "$compare" | sed -n 's/^\([0-9]*\) passed, \([0-9]*\) failed.*/\1/p' | tail -1)
  cp_failed=$(echo "$compare" | sed -n 's/^\([0-9]*\) passed, \([0-9]*\) failed.*/\2/p' | tail -1)
  if [ -z "$cp_passed" ]; then
    echo "FAIL: the profile comparison ended without a summary"
    cp_passed=0
    cp_failed=1
  fi
  passed=$((passed + cp_passed))
  failed=$((failed + cp_failed))
else
  failed=$((failed + 1))
  echo "FAIL: no $compare_exe: build the Win32 tree first"
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
