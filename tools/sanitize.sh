#!/bin/bash
# The sanitizer run: builds every target (the updater, the unit tests, the
# scenario helpers) with AddressSanitizer (leaks included) and
# UndefinedBehaviorSanitizer (cmake -DUPDATER_SANITIZE=ON, Debug at -O1
# with line tables, the tests' own code at -O0), then runs the whole unit-test suite and every native scenario. Any
# sanitizer report, in the updater or in a program it starts, fails the run;
# the reports are printed at the end.
#
#   tools/sanitize.sh [--build-only] [BUILD_DIR]   (default: build/sanitize)
#
# --build-only builds and runs nothing (the test command builds while its
# Wine steps run, and runs the suite later).
#
# The compiler is the default one (CC/CXX to choose another); its sanitizer
# runtimes come with g++ on Debian 12 (libasan8, libubsan1). Ends with one
# line "N passed, N failed"; exits non-zero on any failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_only=false
if [ "${1:-}" = --build-only ]; then build_only=true; shift; fi
build=${1:-$root/build/sanitize}
cd "$root" || exit 1

fatal() { echo "sanitize: $*" >&2; echo "0 passed, 1 failed"; exit 1; }

logs=$(mktemp -d "${TMPDIR:-/tmp}/updater-sanitize.XXXXXX")
trap 'rm -rf "$logs"' EXIT

echo "=== sanitizer build ($build)"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DUPDATER_SANITIZE=ON \
  -DCMAKE_CXX_FLAGS_DEBUG="-g1 -O1" -DCMAKE_C_FLAGS_DEBUG="-g1 -O1" >/dev/null ||
  fatal "configure failed"
cmake --build "$build" -j2 || fatal "build failed"
if $build_only; then exit 0; fi

# Every process reports into $logs (also programs the scenarios start);
# the first report ends the process with a non-zero status. The fault
# scenarios preload their shim ahead of the sanitizer runtime, which is
# harmless here (the shim only passes calls on): the runtime's check of the
# library order is off.
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:abort_on_error=0:strict_string_checks=1:check_initialization_order=1:detect_stack_use_after_return=1:verify_asan_link_order=0:log_path=$logs/asan"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$logs/ubsan"
# One known leak outside the project: glibc's newlocale() keeps the list it
# makes of LOCPATH (set only by a unit test of the code-page choice).
printf 'leak:__argz_add_sep\n' > "$logs/lsan.supp"
export LSAN_OPTIONS="suppressions=$logs/lsan.supp:print_suppressions=0"

passed=0
failed=0
failures=()

echo
echo "=== unit tests (sanitized)"
ctest --test-dir "$build" -j2 --output-on-failure 2>&1 | tee "$logs/ctest.txt"
[ "${PIPESTATUS[0]}" = 0 ] || failures+=("unit tests")
line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' \
       "$logs/ctest.txt" | tail -n 1)
if [ -n "$line" ]; then
  total=$(echo "$line" | sed -E 's/.* out of ([0-9]+).*/\1/')
  bad=$(echo "$line" | sed -E 's/.* ([0-9]+) tests? failed.*/\1/')
  passed=$((passed + total - bad))
  failed=$((failed + bad))
fi

echo
echo "=== scenarios, native (sanitized)"
python3 tests/run_scenarios.py --program "$build/updater" --helpers "$build" \
  2>&1 | tee "$logs/scenarios.txt"
[ "${PIPESTATUS[0]}" = 0 ] || failures+=("scenarios")
line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$logs/scenarios.txt" | tail -n 1)
if [ -n "$line" ]; then
  passed=$((passed + $(echo "$line" | cut -d' ' -f1)))
  failed=$((failed + $(echo "$line" | cut -d' ' -f3)))
fi

echo
echo "=== sanitizer reports"
reports=$(find "$logs" -name 'asan.*' -o -name 'ubsan.*')
if [ -n "$reports" ]; then
  for report in $reports; do
    echo "--- $report"
    cat "$report"
  done
  failures+=("sanitizer reports")
  failed=$((failed + 1))
else
  echo "none"
fi

if [ ${#failures[@]} -ne 0 ]; then
  printf 'FAILED: %s\n' "${failures[@]}"
  [ "$failed" -gt 0 ] || failed=1
fi
echo "$passed passed, $failed failed"
[ ${#failures[@]} -eq 0 ]
