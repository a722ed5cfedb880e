#!/bin/bash
# The whole test, as CI runs it (.ci/run): installs what is missing (Debian
# 12, as root), builds the native and the Windows build with the CMake
# presets, runs the unit tests, the sample package, the end-to-end
# scenarios against the native updater and against updater.exe under Wine,
# the Win32 platform checks, the checks of updater.exe's resources (with a
# branded build of its own), the sanitizer build and the fuzz targets.
# Ends with one line "N passed, N failed" over all of it; exits non-zero on
# any failure.
#
# Three things run at once, so that the two processors are kept busy: the
# native steps, shown as they run; the Wine steps (which mostly wait for
# Wine), whose output is shown when they are done; and, at a lower
# priority, the sanitizer and fuzz builds, whose steps run when they are
# built. Every step's time is printed, and a table of them at the end.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1

log=$(mktemp -d "${TMPDIR:-/tmp}/updater-test.XXXXXX")
# A run that stops early (a failed build, Ctrl+C) ends what it started in
# the background too.
kill_tree() {
  local child
  for child in $(ps -o pid= --ppid "$1" 2>/dev/null); do kill_tree "$child"; done
  kill "$1" 2>/dev/null
}
cleanup() {
  local job
  for job in $(jobs -p); do kill_tree "$job"; done
  rm -rf "$log"
}
trap cleanup EXIT
# The results of every step, from whichever part of the run: a line "N M"
# of passed and failed checks each, the names of the failed steps, and each
# step's times.
: >"$log/counts.txt"
: >"$log/failures.txt"
: >"$log/steps.txt"

# Each step's header says when it starts; its end, what it took: wall
# seconds and the processor seconds of its programs (user + system, both
# processors together). The summary lists them all, so that CI's output shows
# where the time goes. Times are in milliseconds, from bash's own clock and
# its "times" (which counts only programs waited for).
started=${EPOCHREALTIME//[.,]/}
now_ms() { local t=${EPOCHREALTIME//[.,]/}; echo $(((t - started) / 1000)); }
# Processor time of all programs this shell waited for so far, in ms, into
# $cpu_ms. ("times" in the shell itself: a subshell counts only its own.)
cpu_total() {
  local line file="$log/times.$BASHPID"
  times >"$file"
  line=$(tail -n 1 "$file")   # "0m1.234s 0m0.567s": user, system
  cpu_ms=0
  local part
  for part in $line; do
    if [[ $part =~ ^([0-9]+)m([0-9]+)[.,]([0-9]+)s$ ]]; then
      cpu_ms=$((cpu_ms + BASH_REMATCH[1] * 60000 + 10#${BASH_REMATCH[2]} * 1000
                + 10#${BASH_REMATCH[3]}))
    fi
  done
}
seconds() { printf '%d.%d' $(($1 / 1000)) $(($1 % 1000 / 100)); }
# One line of the table: start, wall, cpu (ms), name.
record_time() { printf '%s\t%s\t%s\t%s\n' "$@" >>"$log/steps.txt"; }
current_step=""
end_step() {
  [ -n "$current_step" ] || return 0
  local wall cpu
  wall=$(($(now_ms) - step_started))
  cpu_total
  cpu=$((cpu_ms - step_cpu_started))
  echo "--- $current_step: $(seconds $wall) s, processors $(seconds $cpu) s"
  record_time "$step_started" "$wall" "$cpu" "$current_step"
  current_step=""
}
step() {
  end_step
  current_step=${1%%:*}
  step_started=$(now_ms)
  cpu_total
  step_cpu_started=$cpu_ms
  echo
  echo "=== $* (at $(seconds "$step_started") s)"
}
# Runs a command of a background job and adds its times to the table.
timed() {
  local name=$1 begin begin_cpu status cpu_ms
  shift
  begin=$(now_ms)
  cpu_total
  begin_cpu=$cpu_ms
  "$@"
  status=$?
  cpu_total
  record_time "$begin" "$(($(now_ms) - begin))" "$((cpu_ms - begin_cpu))" \
    "$name (in the background)"
  return $status
}

fatal() { echo "test-all: $*" >&2; echo "0 passed, 1 failed"; exit 1; }
fail() { echo "$1" >>"$log/failures.txt"; }
add_counts() { echo "$1 $2" >>"$log/counts.txt"; }
# Adds the "N passed, N failed" line of a step's output to the totals.
count() {
  local line
  line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$1" | tail -n 1)
  if [ -n "$line" ]; then
    add_counts "$(echo "$line" | cut -d' ' -f1)" "$(echo "$line" | cut -d' ' -f3)"
  fi
}
# checked NAME FILE COMMAND...: runs the command, its output shown and kept
# in FILE; a non-zero status fails the step NAME; its "N passed, N failed"
# is counted.
checked() {
  local name=$1 file=$log/$2
  shift 2
  "$@" 2>&1 | tee "$file"
  if [ "${PIPESTATUS[0]}" != 0 ]; then fail "$name"; fi
  count "$file"
}

step "setup"
tools/setup-debian.sh || fatal "setup failed"

step "layers: no include goes upward"
checked "layer check" layers.txt python3 tools/check-layers.py

# The sanitizer and fuzz builds need only the sources: they start now, at a
# lower priority, and take the processors whenever the steps below leave
# them (builds of their own, then mostly waiting for programs, Wine and the
# disk). Their steps build again (nothing is left to do then) and report
# any failure; the output of these builds is shown there.
( timed "sanitizer build" nice -n 10 tools/sanitize.sh --build-only build/sanitize
  echo $? >"$log/sanitizer-built"
  timed "fuzz build" nice -n 10 tools/fuzz.sh --build-only ) \
  >"$log/background-builds.txt" 2>&1 &
background_builds=$!

# The Wine prefixes take about half a minute each to make, mostly waiting:
# they are made now, beside the builds. One serves every Wine step but the
# device names, which needs one of its own.
# shellcheck source=tools/wine-env.sh
. tools/wine-env.sh
export WINEPREFIX="$log/wineprefix"
( export WINEDEBUG=-all
  make_prefix() { wineboot -i >/dev/null 2>&1; wineserver -w; }
  timed "Wine prefix" make_prefix
  timed "Wine prefix of the device names" python3 \
    tests/win32/device_names_check.py --make-prefix "$log/devices-prefix"
) >"$log/prefixes.txt" 2>&1 &
prefixes=$!

step "native build"
{ cmake --preset native && cmake --build --preset native; } ||
  fatal "native build failed"

step "Windows build (mingw-w64 i686)"
{ cmake --preset win32 && cmake --build --preset win32; } ||
  fatal "Windows build failed"
dlls=$(i686-w64-mingw32-objdump -p build/win32/updater.exe | grep 'DLL Name')
echo "$dlls"
if echo "$dlls" | grep -Eiq 'libstdc|libgcc|libwinpthread'; then
  fail "updater.exe needs a runtime DLL"
  add_counts 0 1
fi
# The Restart Manager is loaded when a file in use needs it, never imported.
if echo "$dlls" | grep -qi rstrtmgr; then
  fail "updater.exe imports rstrtmgr.dll"
  add_counts 0 1
fi

if [ "$WIN_BUILD" = build/win64 ]; then
  step "64-bit Windows build, for Wine (this machine runs no 32-bit programs)"
  { cmake --preset win64 && cmake --build --preset win64; } ||
    fatal "64-bit Windows build failed"
fi
end_step

# ---------------------------------------------------------------------------
# The Wine steps, beside the native ones. One Wine prefix serves them all:
# making one costs about half a minute. The steps stop their Wine server
# when they end.
wine_steps() {
  step "scenarios, Windows build under Wine"
  echo "running $WIN_BUILD/updater.exe"
  checked "scenarios, Wine" wine.txt python3 tests/run_scenarios.py --wine \
    --program "$WIN_BUILD/updater.exe" --helpers "$WIN_BUILD"

  step "README examples, Windows build under Wine"
  checked "README examples, Wine" readme-wine.txt \
    python3 tests/readme/readme_examples_test.py --wine \
    --program "$WIN_BUILD/updater.exe" --helpers "$WIN_BUILD"

  step "languages, Windows build under Wine: the ja;en build follows the user's UI language"
  checked "languages, Wine" languages-wine.txt \
    python3 tests/languages/languages_test.py --wine

  if [ -x tests/win32/run_checks.sh ]; then
    step "Win32 platform checks under Wine"
    checked "Win32 platform checks" win32.txt tests/win32/run_checks.sh "$WIN_BUILD"
  fi

  step "device names under Wine, in a prefix whose devices are plain files"
  checked "device names" devices.txt python3 tests/win32/device_names_check.py \
    --program "$WIN_BUILD/updater.exe" --prefix "$log/devices-prefix"

  step "paths near MAX_PATH under ROLLBACK=1, Wine (a drive letter on a scratch folder)"
  checked "long paths" long-paths.txt python3 tests/win32/long_paths_check.py \
    --program "$WIN_BUILD/updater.exe" --helpers "$WIN_BUILD"

  if [ -x tests/win32/run_in_use_check.sh ]; then
    step "files in use under Wine (held files, pending renames, wineboot -r)"
    checked "files in use" in-use.txt tests/win32/run_in_use_check.sh "$WIN_BUILD"
  fi

  step "Windows resources, read back from updater.exe"
  checked "Windows resources" resources.txt \
    python3 tests/win32/check_resources.py build/win32

  if [ -x tests/win32/run_progress_check.sh ]; then
    step "progress window under Wine (virtual display)"
    checked "progress window" progress-window.txt \
      tests/win32/run_progress_check.sh "$WIN_BUILD"
  fi
  end_step
}
wait "$prefixes"
wine_steps >"$log/wine-steps.txt" 2>&1 &
wine_lane=$!
echo
echo "(the Wine steps run meanwhile; their output follows the native steps')"

# ---------------------------------------------------------------------------
# The native steps.
step "unit tests"
ctest --preset native 2>&1 | tee "$log/ctest.txt"
if [ "${PIPESTATUS[0]}" != 0 ]; then fail "unit tests"; fi
line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' \
       "$log/ctest.txt" | tail -n 1)
if [ -n "$line" ]; then
  total=$(echo "$line" | sed -E 's/.* out of ([0-9]+).*/\1/')
  bad=$(echo "$line" | sed -E 's/.* ([0-9]+) tests? failed.*/\1/')
  add_counts $((total - bad)) "$bad"
fi

step "sample package"
if tools/run-example.sh; then add_counts 1 0; else
  fail "sample package"; add_counts 0 1; fi

step "scenarios, native"
checked "scenarios, native" native.txt python3 tests/run_scenarios.py \
  --program build/native/updater --helpers build/native

step "README examples, native: every complete settings file of the manual runs"
checked "README examples, native" readme-native.txt \
  python3 tests/readme/readme_examples_test.py --program build/native/updater \
  --helpers build/native

step "languages, native: the ja;en build follows LANG and LC_MESSAGES"
checked "languages, native" languages-native.txt \
  python3 tests/languages/languages_test.py

step "progress line, native: drawn on a terminal, never into a file"
checked "progress line" progress-line.txt \
  python3 tests/progress/terminal_line_test.py --program build/native/updater

step "signal tests, native: a closed terminal never ends a run, SIGTERM and SIGINT stop it"
checked "signal tests" signals.txt python3 tests/signals/signal_test.py \
  --program build/native/updater --helpers build/native

step "kill tests, native: a replace killed at any moment keeps the old or the new file"
checked "kill tests" kill.txt \
  python3 tests/kill/kill_test.py --program build/native/updater

step "wait for the sanitizer build: made in the background"
while [ ! -f "$log/sanitizer-built" ] && kill -0 "$background_builds" 2>/dev/null; do
  sleep 1
done
sed -n '1,/^=== fuzz build/p' "$log/background-builds.txt" | grep -v '^=== fuzz build'

step "sanitizer suite: unit tests and native scenarios, with ASan and UBSan"
checked "sanitizer suite" sanitize.txt tools/sanitize.sh build/sanitize

step "wait for the fuzz build: made in the background"
wait "$background_builds"
sed -n '/^=== fuzz build/,$p' "$log/background-builds.txt"

# Each target replays its corpus and then fuzzes briefly; long fuzzing is
# tools/fuzz.sh with a longer time.
step "fuzz targets: corpora replayed, ${UPDATER_FUZZ_SECONDS:-10} s each"
checked "fuzz targets" fuzz.txt tools/fuzz.sh "${UPDATER_FUZZ_SECONDS:-10}"
end_step

wait "$wine_lane"
echo
echo "=== the Wine steps (run beside the native ones; all done at $(
  seconds "$(now_ms)") s)"
cat "$log/wine-steps.txt"

echo
echo "=== summary (at $(seconds "$(now_ms)") s)"
echo "Times (wall: elapsed; cpu: processor time of the step's programs, Wine's"
echo "server not included; the Wine steps ran beside the native ones, the"
echo "background builds beside everything):"
printf '%8s %8s %8s  %s\n' "start s" "wall s" "cpu s" "step"
sort -n -k1,1 "$log/steps.txt" | while IFS=$'\t' read -r begin wall cpu name; do
  printf '%8s %8s %8s  %s\n' "$(seconds "$begin")" "$(seconds "$wall")" \
    "$(seconds "$cpu")" "$name"
done
printf '%8s %8s %8s  %s\n' "" "$(seconds "$(now_ms)")" "" "total"

passed=0
failed=0
while read -r p f; do
  passed=$((passed + p))
  failed=$((failed + f))
done <"$log/counts.txt"
mapfile -t failures <"$log/failures.txt"
if [ ${#failures[@]} -eq 0 ]; then
  echo "all steps passed"
else
  printf 'FAILED: %s\n' "${failures[@]}"
  # A step that failed without counting a failure still fails the total.
  [ "$failed" -gt 0 ] || failed=1
fi
echo "$passed passed, $failed failed"
[ ${#failures[@]} -eq 0 ]
