#!/bin/sh
# Runs the sample update package (examples/update) with the native build,
# unattended, in a temporary copy, then shows the transcript of the run and
# the folder it installed. Exits non-zero unless the run completed.
#
#   tools/run-example.sh [ANSWERS]     (default: no answers, so every
#                                       question takes its default button)
# KEEP=1 keeps the temporary copy.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

tools/setup-debian.sh
[ -f build/native/CMakeCache.txt ] || cmake --preset native >/dev/null
cmake --build --preset native --target updater >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/updater-example.XXXXXX")
cleanup() { [ "${KEEP:-0}" = 1 ] || rm -rf "$work"; }
trap cleanup EXIT
cp -R examples/update "$work/update"
cp build/native/updater "$work/update/updater"

echo "== running $work/update/updater (answers: \"${1-}\")"
(cd "$work/update" &&
  UPDATER_ANSWERS="${1-}" UPDATER_TRANSCRIPT="$work/transcript.jsonl" ./updater)

echo "== transcript"
cat "$work/transcript.jsonl"
echo "== installed files"
(cd "$work/update" && find installed -print 2>/dev/null | sort) || true
[ "${KEEP:-0}" = 1 ] && echo "== kept in $work"

if tail -n 1 "$work/transcript.jsonl" | grep -q '"outcome":"completed"' &&
   [ -f "$work/update/installed/app.conf" ]; then
  echo "example: completed"
else
  echo "example: did not complete" >&2
  exit 1
fi
