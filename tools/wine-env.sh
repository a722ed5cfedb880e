# Sourced by the test scripts: chooses how the Windows build is run under
# Wine on this machine, and sets
#   WIN_BUILD  the build directory whose programs the Wine tests run.
#
# The product is the 32-bit build (build/win32), run by the 32-bit Wine.
# Some kernels run no 32-bit programs at all (IA-32 emulation switched off),
# so no 32-bit Wine either; there the Wine tests run the 64-bit build of the
# same sources (build/win64, preset win64) under the 64-bit Wine, and the
# 32-bit executable is still built and checked for its imports and resources.
# UPDATER_WINE_BITS=32 or 64 forces the choice.

wine_bits=${UPDATER_WINE_BITS:-}
if [ -z "$wine_bits" ]; then
  if [ -x /lib/ld-linux.so.2 ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    wine_bits=32
  else
    wine_bits=64
  fi
fi

if [ "$wine_bits" = 64 ]; then
  WIN_BUILD=build/win64
  # "wine" starts the 32-bit loader whenever it is installed; the 64-bit one
  # is put in front under the names the tests and wineboot call.
  wine_shim=$(mktemp -d "${TMPDIR:-/tmp}/wine64-shim.XXXXXX")
  for name in wine wine-stable; do
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' > "$wine_shim/$name"
    chmod +x "$wine_shim/$name"
  done
  PATH=$wine_shim:$PATH
  export PATH
else
  WIN_BUILD=build/win32
fi
export WIN_BUILD
