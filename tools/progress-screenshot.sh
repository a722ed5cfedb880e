#!/bin/bash
# Takes a picture of the progress window of updater.exe under Wine on a
# virtual display (xvfb-run, package xvfb; `import` of ImageMagick) and
# writes it as PNG, cut to the window, for the README.
#
#   tools/progress-screenshot.sh [BUILD_DIR] [OUT.png]
#
# Defaults: the Windows build chosen by tools/wine-env.sh, docs/progress-window.png.
set -eu -o pipefail

cd "$(dirname "$0")/.."
. tools/wine-env.sh
build=${1:-$WIN_BUILD}
out=$(realpath -m "${2:-docs/progress-window.png}")
mkdir -p "$(dirname "$out")"

scratch=$(mktemp -d /tmp/progress-shot.XXXXXX)
export WINEPREFIX=$scratch/prefix WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8
export UPDATER_ANSWERS=
cleanup() { wineserver -k >/dev/null 2>&1 || true; rm -rf "$scratch"; }
trap cleanup EXIT

work=$scratch/work
mkdir -p "$work"
cp "$build/updater.exe" "$work/"
python3 - "$work" <<'PY'
import os, sys
for i in range(30000):
    sub = os.path.join(sys.argv[1], "data", "d%02d" % (i % 60))
    os.makedirs(sub, exist_ok=True)
    with open(os.path.join(sub, "f%05d.txt" % i), "w") as f:
        f.write("x" * (i % 300))
PY
printf '[UPDATER]\r\nNAME=Example 2.0 update\r\nPROC=CheckOld,InstallFiles,Cleanup\r\nPROGRESS=1\r\n[CheckOld]\r\nMODE=EXIST\r\nFILE=<Src>\\data\r\n[InstallFiles]\r\nMODE=COPY\r\nFROM=<Src>\\data\r\nTO=<Src>\\copy\r\n[Cleanup]\r\nMODE=DELETE\r\nFILE=<Src>\\copy\r\n' \
  > "$work/updater.ini"

# A Wine desktop of its own draws the window's frame and title (there is no
# window manager on the virtual display); the picture is of that desktop.
xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
  wineboot -i >/dev/null 2>&1
  cd "$1" && wine explorer /desktop=progress,520x200 updater.exe &
  sleep 6
  id=$(xwininfo -root -tree | grep -i "progress - Wine desktop" | head -1 | awk "{print \$1}")
  if [ -n "$id" ]; then import -window "$id" "$2"; else import -window root "$2"; fi
  wait
' shot "$work" "$out"
echo "wrote $out"
