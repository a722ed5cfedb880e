#!/bin/bash
# Builds the libFuzzer targets of fuzz/ with clang (cmake -DUPDATER_FUZZ=ON)
# and runs each for the given number of seconds, starting from its seed
# corpus fuzz/corpus/<target>/ (the corpus grown in the run stays in the
# build directory; the repository's seeds are not changed). Prints the
# executions of each target and ends with "N passed, N failed" (one per
# target). A target that finds a crash, a leak or a broken property fails;
# the input is kept as BUILD_DIR/fuzz/crash-<target>-* and shown in base64.
#
#   tools/fuzz.sh SECONDS [TARGET...]     (default: every target)
#   tools/fuzz.sh --build-only            (builds the targets, runs nothing)
#
# Each target first replays its whole corpus (the seeds and what earlier
# runs added), then fuzzes for the rest of its time; the test command gives
# each a few seconds, long fuzzing is a matter of a longer time.
#
# The targets run as many at once as there are processors
# (UPDATER_FUZZ_JOBS sets another number), each for the whole time.
#
# BUILD_DIR is build/fuzz unless UPDATER_FUZZ_BUILD names another. Needs
# clang and its runtimes (Debian 12: clang, libclang-rt-14-dev), installed
# here when missing and run as root.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1

seconds=${1:-}
shift || true
build_only=false
if [ "$seconds" = --build-only ]; then build_only=true; seconds=0; fi
case "$seconds" in
  ''|*[!0-9]*) echo "usage: tools/fuzz.sh SECONDS [TARGET...]" >&2; exit 2 ;;
esac
build=${UPDATER_FUZZ_BUILD:-$root/build/fuzz}

fatal() { echo "fuzz: $*" >&2; echo "0 passed, 1 failed"; exit 1; }

if ! command -v clang++ >/dev/null 2>&1 ||
   ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a \
     >/dev/null 2>&1; then
  [ "$(id -u)" = 0 ] || fatal "clang and libclang-rt-14-dev are missing"
  echo "fuzz: installing clang and libclang-rt-14-dev"
  export DEBIAN_FRONTEND=noninteractive
  { apt-get update -q && apt-get install -y -q --no-install-recommends \
      clang libclang-rt-14-dev; } || fatal "cannot install clang"
fi

echo "=== fuzz build ($build)"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS_DEBUG="-g1 -O1" -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_COMPILER=clang -DUPDATER_FUZZ=ON -DUPDATER_TESTS=OFF \
  >/dev/null || fatal "configure failed"
cmake --build "$build" -j2 --target fuzz_targets || fatal "build failed"
if $build_only; then exit 0; fi

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in fuzz/*_fuzz.cc; do targets+=("$(basename "$source" .cc)"); done
fi

for target in "${targets[@]}"; do
  [ -x "$build/fuzz/$target" ] || fatal "no fuzz target $target"
done

# Coverage-guided, from the seeds and what earlier runs added, with the
# target's dictionary of keywords; stops at the first fault. Inputs up to
# 4 KiB, 10 s each at most. The status goes to BUILD_DIR/fuzz/TARGET.status.
fuzz_target() {
  local target=$1 dict=() corpus="$build/fuzz/corpus-$1"
  mkdir -p "$corpus"
  [ -f "fuzz/$target.dict" ] && dict=(-dict="$root/fuzz/$target.dict")
  "$build/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
    -max_len=4096 -timeout=10 -rss_limit_mb=2048 "${dict[@]}" \
    -artifact_prefix="$build/fuzz/crash-$target-" \
    "$corpus" "$root/fuzz/corpus/$target" >"$build/fuzz/$target.log" 2>&1
  echo $? >"$build/fuzz/$target.status"
}

# A fuzzer uses one processor: as many run at once as there are
# processors (UPDATER_FUZZ_JOBS to choose), each for its full time.
jobs=${UPDATER_FUZZ_JOBS:-$(nproc 2>/dev/null || echo 1)}
running=0
for target in "${targets[@]}"; do
  if [ "$running" -ge "$jobs" ]; then wait -n; running=$((running - 1)); fi
  rm -f "$build/fuzz/$target.status"
  fuzz_target "$target" &
  running=$((running + 1))
done
wait

passed=0
failed=0
summary=()
for target in "${targets[@]}"; do
  log="$build/fuzz/$target.log"
  echo
  echo "=== $target, $seconds s"
  status=$(cat "$build/fuzz/$target.status" 2>/dev/null || echo 1)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  if [ $status -eq 0 ]; then
    passed=$((passed + 1))
    summary+=("$target: ${runs:-?} executions (${rate:-?}/s)")
    echo "$target: ${runs:-?} executions (${rate:-?}/s), no fault"
  else
    failed=$((failed + 1))
    summary+=("$target: FAULT after ${runs:-?} executions")
    grep -E -A40 '^==[0-9]+==ERROR|property failed|^SUMMARY' "$log" | head -n 80
    for input in "$build/fuzz/crash-$target-"* "$build/fuzz/leak-$target-"* \
                 "$build/fuzz/timeout-$target-"* "$build/fuzz/oom-$target-"*; do
      [ -f "$input" ] || continue
      echo "input $input (base64): $(base64 -w0 "$input")"
    done
  fi
done

echo
echo "=== summary"
printf '%s\n' "${summary[@]}"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
