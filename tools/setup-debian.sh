#!/bin/sh
# Installs what the two builds and the tests need on Debian 12: CMake, g++,
# GoogleTest, the mingw-w64 i686 (and x86_64) cross compilers, Wine (32-bit
# and 64-bit), lnkinfo, Xvfb (a virtual display for the progress window),
# Python 3, osslsigncode and openssl (signing the Windows programs, and the
# throwaway certificates of its test), and the ja_JP.UTF-8 locale (Wine takes its code pages from the
# locale: without it generated, ja_JP.UTF-8 still gives code page 932, but
# Wine can no longer map Japanese file names to the Unix file system).
#
# Idempotent: when everything is present it changes nothing and needs no
# network. Installing needs root.
set -eu

missing=""
need() { missing="$missing $1"; }

have_command() { command -v "$1" >/dev/null 2>&1; }
have_package() {
  dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q 'install ok installed'
}

have_command cmake || need cmake
have_command make || need make
have_command g++ || need g++
have_package libgtest-dev || need libgtest-dev
have_command i686-w64-mingw32-g++ || need g++-mingw-w64-i686
have_command i686-w64-mingw32-windres || need binutils-mingw-w64-i686
have_command wine || need wine
have_package wine32:i386 || need wine32:i386
# Where the kernel runs no 32-bit programs, the Wine tests run a 64-bit
# build of the same sources under the 64-bit Wine.
have_package wine64 || need wine64
have_command x86_64-w64-mingw32-g++ || need g++-mingw-w64-x86-64
have_command lnkinfo || need liblnk-utils
have_command xvfb-run || need xvfb
have_command xauth || need xauth
have_command python3 || need python3
have_command osslsigncode || need osslsigncode
have_command openssl || need openssl
have_command locale-gen || need locales

if [ -n "$missing" ]; then
  echo "setup: installing:$missing"
  if [ "$(id -u)" != 0 ]; then
    echo "setup: run this as root (or install the packages above)" >&2
    exit 1
  fi
  case "$missing" in
    *:i386*)
      dpkg --print-foreign-architectures | grep -qx i386 ||
        dpkg --add-architecture i386 ;;
  esac
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  # shellcheck disable=SC2086
  apt-get install -y -q $missing
fi

if ! locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'; then
  echo "setup: generating the locale ja_JP.UTF-8"
  if [ "$(id -u)" != 0 ]; then
    echo "setup: run this as root to generate ja_JP.UTF-8" >&2
    exit 1
  fi
  if grep -q '^# *ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  elif ! grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  fi
  locale-gen >/dev/null
fi
echo "setup: all build and test requirements are present"
