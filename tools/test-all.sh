#!/bin/bash
# The whole test, as CI runs it (.ci/run): installs what is missing (Debian
# 12, as root), builds the native and the Windows build with the CMake
# presets, runs the unit tests, the sample package, the end-to-end
# scenarios against the native updater and against updater.exe under Wine,
# the Win32 platform checks, the checks of updater.exe's resources (with a
# branded build of its own), the sanitizer build and the fuzz targets.
# Ends with one line "N passed, N failed" over all of it; exits non-zero on
# any failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1

log=$(mktemp -d "${TMPDIR:-/tmp}/updater-test.XXXXXX")
trap 'rm -rf "$log"' EXIT
failures=()
passed=0
failed=0

step() { echo; echo "=== $*"; }
fatal() { echo "test-all: $*" >&2; echo "0 passed, 1 failed"; exit 1; }
# Adds the "N passed, N failed" line of a step's output to the totals.
count() {
  local line
  line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$1" | tail -n 1)
  if [ -n "$line" ]; then
    passed=$((passed + $(echo "$line" | cut -d' ' -f1)))
    failed=$((failed + $(echo "$line" | cut -d' ' -f3)))
  fi
}

step "setup"
tools/setup-debian.sh || fatal "setup failed"

step "layers: no include goes upward"
python3 tools/check-layers.py 2>&1 | tee "$log/layers.txt"
if [ "${PIPESTATUS[0]}" != 0 ]; then failures+=("layer check"); fi
count "$log/layers.txt"

step "native build"
{ cmake --preset native && cmake --build --preset native; } ||
  fatal "native build failed"

step "Windows build (mingw-w64 i686)"
{ cmake --preset win32 && cmake --build --preset win32; } ||
  fatal "Windows build failed"
dlls=$(i686-w64-mingw32-objdump -p build/win32/updater.exe | grep 'DLL Name')
echo "$dlls"
if echo "$dlls" | grep -Eiq 'libstdc|libgcc|libwinpthread'; then
  failures+=("updater.exe needs a runtime DLL")
  failed=$((failed + 1))
fi
# The Restart Manager is loaded when a file in use needs it, never imported.
if echo "$dlls" | grep -qi rstrtmgr; then
  failures+=("updater.exe imports rstrtmgr.dll")
  failed=$((failed + 1))
fi

# shellcheck source=tools/wine-env.sh
. tools/wine-env.sh
if [ "$WIN_BUILD" = build/win64 ]; then
  step "64-bit Windows build, for Wine (this machine runs no 32-bit programs)"
  { cmake --preset win64 && cmake --build --preset win64; } ||
    fatal "64-bit Windows build failed"
fi

step "unit tests"
ctest --preset native 2>&1 | tee "$log/ctest.txt"
if [ "${PIPESTATUS[0]}" != 0 ]; then failures+=("unit tests"); fi
line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' \
       "$log/ctest.txt" | tail -n 1)
if [ -n "$line" ]; then
  total=$(echo "$line" | sed -E 's/.* out of ([0-9]+).*/\1/')
  bad=$(echo "$line" | sed -E 's/.* ([0-9]+) tests? failed.*/\1/')
  passed=$((passed + total - bad))
  failed=$((failed + bad))
fi

step "sample package"
if tools/run-example.sh; then passed=$((passed + 1)); else
  failures+=("sample package"); failed=$((failed + 1)); fi

step "scenarios, native"
python3 tests/run_scenarios.py --program build/native/updater \
  --helpers build/native 2>&1 | tee "$log/native.txt"
if [ "${PIPESTATUS[0]}" != 0 ]; then failures+=("scenarios, native"); fi
count "$log/native.txt"

step "README examples, native: every complete settings file of the manual runs"
python3 tests/readme/readme_examples_test.py --program build/native/updater \
  --helpers build/native 2>&1 | tee "$log/readme-native.txt"
if [ "${PIPESTATUS[0]}" != 0 ]; then failures+=("README examples, native"); fi
count "$log/readme-native.txt"

step "languages, native: the ja;en build follows LANG and LC_MESSAGES"
python3 tests/languages/languages_test.py 2>&1 | tee "$log/languages-native.txt"
if [ "${PIPESTATUS[0]}" != 0 ]; then failures+=("languages, native"); fi
count "$log/languages-native.txt"

step "progress line, native: drawn on a terminal, never into a file"
python3 tests/progress/terminal_line_test.py --program build/native/updater 2>&1 |
  tee "$log/progress-line.txt"
if [ "${PIPESTATUS[0]}" != 0 ]; then failures+=("progress line"); fi
count "$log/progress-line.txt"

step "signal tests, native: a closed terminal never ends a run, SIGTERM and SIGINT stop it"
python3 tests/signals/signal_test.py --program build/native/updater \
  --helpers build/native 2>&1 | tee "$log/signals.txt"
if [ "${PIPESTATUS[0]}" != 0 ]; then failures+=("signal tests"); fi
count "$log/signals.txt"

step "kill tests, native: a replace killed at any moment keeps the old or the new file"
python3 tests/kill/kill_test.py --program build/native/updater 2>&1 |
  tee "$log/kill.txt"
if [ "${PIPESTATUS[0]}" != 0 ]; then failures+=("kill tests"); fi
count "$log/kill.txt"

# One Wine prefix for every Wine step that follows: making one costs about
# half a minute. The steps stop their Wine server when they end.
export WINEPREFIX="$log/wineprefix"

# The Wine steps mostly wait for Wine, the sanitizer and fuzz builds need
# the processors: the builds run meanwhile, at a lower priority. Their
# steps below build again (nothing is left to do then) and report any
# failure; the output of the background builds is shown there.
{ nice -n 10 tools/sanitize.sh --build-only build/sanitize &&
  nice -n 10 tools/fuzz.sh --build-only; } >"$log/background-builds.txt" 2>&1 &
background_builds=$!

step "scenarios, Windows build under Wine"
echo "running $WIN_BUILD/updater.exe"
python3 tests/run_scenarios.py --wine --program "$WIN_BUILD/updater.exe" \
  --helpers "$WIN_BUILD" 2>&1 | tee "$log/wine.txt"
if [ "${PIPESTATUS[0]}" != 0 ]; then failures+=("scenarios, Wine"); fi
count "$log/wine.txt"

step "README examples, Windows build under Wine"
python3 tests/readme/readme_examples_test.py --wine \
  --program "$WIN_BUILD/updater.exe" --helpers "$WIN_BUILD" 2>&1 |
  tee "$log/readme-wine.txt"
if [ "${PIPESTATUS[0]}" != 0 ]; then failures+=("README examples, Wine"); fi
count "$log/readme-wine.txt"

step "languages, Windows build under Wine: the ja;en build follows the user's UI language"
WIN_BUILD=$WIN_BUILD python3 tests/languages/languages_test.py --wine 2>&1 |
  tee "$log/languages-wine.txt"
if [ "${PIPESTATUS[0]}" != 0 ]; then failures+=("languages, Wine"); fi
count "$log/languages-wine.txt"

if [ -x tests/win32/run_checks.sh ]; then
  step "Win32 platform checks under Wine"
  tests/win32/run_checks.sh "$WIN_BUILD" 2>&1 | tee "$log/win32.txt"
  if [ "${PIPESTATUS[0]}" != 0 ]; then failures+=("Win32 platform checks"); fi
  count "$log/win32.txt"
fi

step "device names under Wine, in a prefix whose devices are plain files"
python3 tests/win32/device_names_check.py --program "$WIN_BUILD/updater.exe" 2>&1 |
  tee "$log/devices.txt"
if [ "${PIPESTATUS[0]}" != 0 ]; then failures+=("device names"); fi
count "$log/devices.txt"

step "paths near MAX_PATH under ROLLBACK=1, Wine (a drive letter on a scratch folder)"
python3 tests/win32/long_paths_check.py --program "$WIN_BUILD/updater.exe" \
  --helpers "$WIN_BUILD" 2>&1 | tee "$log/long-paths.txt"
if [ "${PIPESTATUS[0]}" != 0 ]; then failures+=("long paths"); fi
count "$log/long-paths.txt"

if [ -x tests/win32/run_in_use_check.sh ]; then
  step "files in use under Wine (held files, pending renames, wineboot -r)"
  tests/win32/run_in_use_check.sh "$WIN_BUILD" 2>&1 | tee "$log/in-use.txt"
  if [ "${PIPESTATUS[0]}" != 0 ]; then failures+=("files in use"); fi
  count "$log/in-use.txt"
fi

step "Windows resources, read back from updater.exe"
python3 tests/win32/check_resources.py build/win32 2>&1 |
  tee "$log/resources.txt"
if [ "${PIPESTATUS[0]}" != 0 ]; then failures+=("Windows resources"); fi
count "$log/resources.txt"
if [ -x tests/win32/run_progress_check.sh ]; then
  step "progress window under Wine (virtual display)"
  tests/win32/run_progress_check.sh "$WIN_BUILD" 2>&1 | tee "$log/progress-window.txt"
  if [ "${PIPESTATUS[0]}" != 0 ]; then failures+=("progress window"); fi
  count "$log/progress-window.txt"
fi

step "sanitizer and fuzz builds (made in the background)"
wait "$background_builds"
cat "$log/background-builds.txt"

step "sanitizer build: unit tests and native scenarios"
tools/sanitize.sh build/sanitize 2>&1 | tee "$log/sanitize.txt"
if [ "${PIPESTATUS[0]}" != 0 ]; then failures+=("sanitizer suite"); fi
count "$log/sanitize.txt"

# Each target replays its corpus and then fuzzes briefly; long fuzzing is
# tools/fuzz.sh with a longer time.
step "fuzz targets: corpora replayed, ${UPDATER_FUZZ_SECONDS:-10} s each"
tools/fuzz.sh "${UPDATER_FUZZ_SECONDS:-10}" 2>&1 | tee "$log/fuzz.txt"
if [ "${PIPESTATUS[0]}" != 0 ]; then failures+=("fuzz targets"); fi
count "$log/fuzz.txt"

step "summary"
if [ ${#failures[@]} -eq 0 ]; then
  echo "all steps passed"
else
  printf 'FAILED: %s\n' "${failures[@]}"
  # A step that failed without counting a failure still fails the total.
  [ "$failed" -gt 0 ] || failed=1
fi
echo "$passed passed, $failed failed"
[ ${#failures[@]} -eq 0 ]
