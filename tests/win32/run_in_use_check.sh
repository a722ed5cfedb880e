#!/bin/bash
# Runs the checks of files in use (INUSE) under Wine and prints "N passed,
# N failed". hold_file.exe holds files open (sharing reading only; sharing
# reading and deletion, as a loaded program image) while updater.exe copies
# over, moves and deletes them with each value of INUSE; the changes left
# for the restart are read back from the registry, Wine is restarted
# (wineboot -r carries out the pending renames), and the tree must then be
# as the update meant it, with no reserved name left. One Wine prefix, a
# few updater runs, each doing many cases. Builds nothing: give the
# directory of the Windows build that holds updater.exe and hold_file.exe
# (default: build/win32 of the source tree).
#
#   tests/win32/run_in_use_check.sh [BUILD_DIR]
set -u -o pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/win32/summary.sh
. "$here/summary.sh"
build=${1:-$here/../../build/win32}
for exe in updater.exe hold_file.exe; do
  if [ ! -f "$build/$exe" ]; then
    echo "no $build/$exe: build the Windows tree first" >&2
    echo "0 passed, 1 failed"
    exit 1
  fi
done

scratch=$(mktemp -d /tmp/in-use-check.XXXXXX)
export WINEPREFIX=$scratch/prefix
export WINEDEBUG=-all
export LANG=ja_JP.UTF-8
export LC_ALL=ja_JP.UTF-8
unset DISPLAY WAYLAND_DISPLAY UPDATER_ANSWERS UPDATER_TRANSCRIPT

cleanup() {
  [ -n "${holders:-}" ] && touch "$work/release" 2>/dev/null
  wineserver -k >/dev/null 2>&1
  rm -rf "$scratch"
}
trap cleanup EXIT

ja_locale "$scratch"

work=$scratch/work
mkdir -p "$work"
cp "$build/updater.exe" "$build/hold_file.exe" "$work/"
win() { echo "Z:$(echo "$1" | tr / '\\')"; }
W=$(win "$work")
session='HKLM\System\CurrentControlSet\Control\Session Manager'

passed=0
failed=0
check() {  # what, command...
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $what"
  fi
}
content() { [ "$(cat "$work/$1" 2>/dev/null)" = "$2" ]; }
absent() { [ ! -e "$work/$1" ]; }
no_reserved() { ! find "$work" -name '~updater-inuse.*' | grep -q .; }
reserved_count() { find "$work/$1" -maxdepth 1 -name '~updater-inuse.*' | wc -l; }
pending() {
  wine reg query "$session" /v PendingFileRenameOperations 2>/dev/null |
    tr -d '\r'
}
event() { grep -q -- "$1" "$work/transcript.jsonl"; }
no_event() { ! event "$1"; }

# hold MODE FILE...: a holder process keeps the files open until release.
holders=
hold() {
  local mode=$1 n
  shift
  n=$(ls "$work" | grep -c '^ready')
  local args=()
  for f in "$@"; do args+=("$W\\$(echo "$f" | tr / '\\')"); done
  (cd "$work" && exec wine hold_file.exe "$mode" "$W\\ready$n" "$W\\release" \
      "${args[@]}" >/dev/null 2>&1) &
  holders="$holders $!"
  for _ in $(seq 600); do [ -e "$work/ready$n" ] && return 0; sleep 0.1; done
  echo "FAIL: hold_file did not start"
  failed=$((failed + 1))
}
release() {
  touch "$work/release"
  for pid in $holders; do wait "$pid"; done
  holders=
  rm -f "$work/release" "$work"/ready*
}

# run SETTINGS-NAME ANSWERS: the settings are in $work/NAME.ini (CP932).
run() {
  rm -f "$work/transcript.jsonl"
  (cd "$work" && UPDATER_ANSWERS=$2 UPDATER_EXITCODE=1 \
      UPDATER_TRANSCRIPT="$W\\transcript.jsonl" \
      timeout 300 wine updater.exe "/i$1.ini" >/dev/null 2>&1)
  # IN_USE_VERBOSE=1 shows each run's transcript.
  [ -n "${IN_USE_VERBOSE:-}" ] && cat "$work/transcript.jsonl"
  return 0
}
settings() {  # NAME, lines on stdin
  sed 's/$/\r/' | iconv -f UTF-8 -t CP932 > "$work/$1.ini"
}
files() {  # PATH=CONTENT...
  for pair in "$@"; do
    mkdir -p "$(dirname "$work/${pair%%=*}")"
    printf '%s' "${pair#*=}" > "$work/${pair%%=*}"
  done
}

# foreign NAME: the pending operations become one deletion of $work/NAME,
# as another program registered it (reg add takes no empty text in a
# list, reg import does).
foreign() {
  python3 - "$W\\$1" "$scratch/foreign.reg" <<'PY'
import sys
path, out = sys.argv[1], sys.argv[2]
data = ("\\??\\" + path + "\0" + "\0" + "\0").encode("utf-16-le")
key = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Session Manager"
with open(out, "w", encoding="utf-16") as f:
    f.write("Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n" % key)
    f.write('"PendingFileRenameOperations"=hex(7):' +
            ",".join("%02x" % b for b in data) + "\r\n")
PY
  wine reg import "$(win "$scratch/foreign.reg")" >/dev/null 2>&1
}

wineboot -i >/dev/null 2>&1
# An entry of another program that must outlive every run.
files "foreign.tmp=x"
foreign foreign.tmp

# 1. Without INUSE, and with CLOSE alone, a held file fails as before.
files "new.dll=new" "off/app.dll=old" "close/app.dll=old"
hold read off/app.dll close/app.dll
settings off <<INI
[UPDATER]
NAME=Off
PROC=Copy
[Copy]
MODE=COPY
FROM=<Src>\\new.dll
TO=<Src>\\off\\app.dll
INI
run off ""
check "no INUSE: message 8" event '"text":"ファイルのコピーに失敗しました'
check "no INUSE: stopped with 1603" event '"event":"end","outcome":"stopped","code":1603'
check "no INUSE: the old file" content off/app.dll old
sed 's/^NAME=Off/NAME=Close\r\nINUSE=close/; s/\\off\\/\\close\\/' "$work/off.ini" > "$work/close.ini"
run close "yes"
# Wine's Restart Manager names no program: nothing to ask, the copy fails.
check "CLOSE: stopped with 1603" event '"event":"end","outcome":"stopped","code":1603'
check "CLOSE: the old file" content close/app.dll old
check "CLOSE: nothing registered" test "$(pending | grep -c 'close')" -eq 0
release

# 2. RESTART (and CLOSE,RESTART): COPY, MOVE and DELETE of files held both
#    ways, in one run, with a Japanese folder name in code page 932.
files "r/app.dll=old r" "r/del.dll=del r" "r/src.dll=src r" \
      "d/app.dll=old d" "d/del.dll=del d" "d/mv.dll=old mv" "mv.dll=new mv" \
      "更新/部品.dll=old jp" "d/tree/a.dll=a" "d/tree/b.txt=b"
hold read r/app.dll r/del.dll r/src.dll "更新/部品.dll"
hold read-delete d/app.dll d/del.dll d/mv.dll d/tree/a.dll
settings restart <<INI
[UPDATER]
NAME=Restart
PROC=CopyR,CopyD,DelR,DelD,MoveR,MoveD,CopyJ,DelTree
INUSE= Restart , Close
[CopyR]
MODE=COPY
FROM=<Src>\\new.dll
TO=<Src>\\r\\app.dll
[CopyD]
MODE=COPY
FROM=<Src>\\new.dll
TO=<Src>\\d\\app.dll
[DelR]
MODE=DELETE
FILE=<Src>\\r\\del.dll
[DelD]
MODE=DELETE
FILE=<Src>\\d\\del.dll
[MoveR]
MODE=MOVE
FROM=<Src>\\r\\src.dll
TO=<Src>\\m\\src.dll
[MoveD]
MODE=MOVE
FROM=<Src>\\mv.dll
TO=<Src>\\d\\mv.dll
[CopyJ]
MODE=COPY
FROM=<Src>\\new.dll
TO=<Src>\\更新\\部品.dll
[DelTree]
MODE=DELETE
FILE=<Src>\\d\\tree
INI
run restart "no"
[ -n "${IN_USE_VERBOSE:-}" ] && pending
check "RESTART: completed with 3010" event '"event":"end","outcome":"completed","code":3010'
check "RESTART: the restart event" event '"event":"restart","files":'
check "RESTART: the closing word" event '"icon":"information"'
check "RESTART: renamed aside, new in place" content d/app.dll new
check "RESTART: moved onto a held file" content d/mv.dll "new mv"
check "RESTART: a held source copied" content m/src.dll "src r"
check "RESTART: held for reading stays until the restart" content r/app.dll "old r"
registered=$(pending)
check "RESTART: the registry holds the run's entries" \
  test "$(echo "$registered" | grep -o 'updater-inuse' | wc -l)" -ge 4
check "RESTART: deletions registered" grep -q 'r\\del.dll.*r\\src.dll' <<<"$registered"
check "RESTART: the other entry stays" grep -q 'foreign.tmp' <<<"$registered"
release
check "RESTART: a renamable file deleted" absent d/del.dll
wineboot -r >/dev/null 2>&1
wineserver -w
check "after the restart: new file in place (read)" content r/app.dll new
check "after the restart: new file in place (Japanese)" content "更新/部品.dll" new
check "after the restart: deleted (read)" absent r/del.dll
check "after the restart: moved source gone" absent r/src.dll
check "after the restart: the held tree gone" absent d/tree
check "after the restart: the other entry done" absent foreign.tmp
check "after the restart: no reserved name left" no_reserved
check "after the restart: nothing pending" test -z "$(pending | grep 'updater-inuse')"

# 3. ROLLBACK=1: a later failure takes everything back, the registrations
#    of the run included; the entries of others stay.
files "foreign2.tmp=x" "b/app.dll=old b" "b/lib.dll=old lib" "b/del.dll=del b" \
      "戻す/部品.dll=old jp b"
foreign foreign2.tmp
hold read b/app.dll b/del.dll "戻す/部品.dll"
hold read-delete b/lib.dll
settings rollback <<INI
[UPDATER]
NAME=Rollback
PROC=Copy,Lib,Del,Jp,Look,Fail
INUSE=RESTART
ROLLBACK=1
[Copy]
MODE=COPY
FROM=<Src>\\new.dll
TO=<Src>\\b\\app.dll
[Lib]
MODE=COPY
FROM=<Src>\\new.dll
TO=<Src>\\b\\lib.dll
[Del]
MODE=DELETE
FILE=<Src>\\b\\del.dll
[Jp]
MODE=COPY
FROM=<Src>\\new.dll
TO=<Src>\\戻す\\部品.dll
[Look]
MODE=LAUNCH
FILE=<Sys>\\cmd.exe
PARAM=/c reg query "$session" /v PendingFileRenameOperations > $W\\during.txt
ISWAIT=1
[Fail]
MODE=COPY
FROM=<Src>\\missing.dll
TO=<Src>\\b\\x.dll
INI
run rollback ""
check "ROLLBACK: stopped with 1603" event '"event":"end","outcome":"stopped","code":1603'
check "ROLLBACK: no restart event" no_event '"event":"restart"'
check "ROLLBACK: the old file back (read)" content b/app.dll "old b"
check "ROLLBACK: the old file back (read-delete)" content b/lib.dll "old lib"
check "ROLLBACK: the deleted file back" content b/del.dll "del b"
check "ROLLBACK: the old file back (Japanese)" content "戻す/部品.dll" "old jp b"
check "ROLLBACK: the run's entries were there" \
  test "$(grep -o 'updater-inuse' "$work/during.txt" | wc -l)" -eq 2
registered=$(pending)
check "ROLLBACK: no entry of the run left" test "$(echo "$registered" | grep -c 'updater-inuse\|b\\del.dll')" -eq 0
check "ROLLBACK: the other entry stays" grep -q 'foreign2.tmp' <<<"$registered"
release
check "ROLLBACK: no reserved name left" no_reserved
[ -n "${IN_USE_VERBOSE:-}" ] && cat "$work/during.txt"

# 4. A file the updater itself holds (its own program file, running): never
#    offered for closing; renamed aside, replaced at once, the old one
#    deleted at the restart.
cp "$work/updater.exe" "$work/self.exe"
cp "$work/updater.exe" "$work/self-new.exe"
printf 'x' >> "$work/self-new.exe"
settings self <<INI
[UPDATER]
NAME=Self
PROC=Copy
INUSE=CLOSE,RESTART
[Copy]
MODE=COPY
FROM=<Src>\\self-new.exe
TO=<Src>\\self.exe
INI
rm -f "$work/transcript.jsonl"
(cd "$work" && UPDATER_ANSWERS=yes UPDATER_EXITCODE=1 \
    UPDATER_TRANSCRIPT="$W\\transcript.jsonl" \
    timeout 300 wine self.exe /iself.ini >/dev/null 2>&1)
[ -n "${IN_USE_VERBOSE:-}" ] && cat "$work/transcript.jsonl"
check "own program: no question" no_event '"buttons":"yesno"'
check "own program: completed with 3010" event '"event":"end","outcome":"completed","code":3010'
check "own program: replaced at once" cmp -s "$work/self.exe" "$work/self-new.exe"
wineboot -r >/dev/null 2>&1
wineserver -w
check "own program: no reserved name after the restart" no_reserved

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
