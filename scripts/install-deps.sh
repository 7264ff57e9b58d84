#!/bin/bash
# Installs what building and testing need on Debian 12. Idempotent: packages
# already present are not fetched again.
set -euo pipefail
need=(cmake ninja-build g++ googletest libgtest-dev g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32
      binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine wine64 wine32:i386 xvfb x11-utils
      imagemagick fonts-nanum wixl clang libclang-rt-14-dev valgrind python3 osslsigncode openssl)
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
SUDO=; [ "$(id -u)" = 0 ] || SUDO=sudo
if [ ${#missing[@]} = 0 ]; then
  echo "install-deps: all packages present"
else
  if ! dpkg --print-foreign-architectures | grep -qx i386; then $SUDO dpkg --add-architecture i386; fi
  echo "install-deps: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# Wine runs 32-bit Windows programs with 32-bit Linux code; where the kernel
# runs none, an emulator is registered (see the script).
$SUDO "$(dirname "$0")/../tests/wine/enable-i386.sh" --install ||
  echo "install-deps: 32-bit Windows programs cannot run here; their Wine scenarios will be skipped"
