#!/usr/bin/env bash
# Compiles the Windows keystroke and hook layers (plain Win32, no Qt) with the cross
# compiler, so they do not rot while the program is built and run on Linux.
#   tests/win32_compile.sh <source dir>
set -euo pipefail
src=$1
cxx=$(command -v x86_64-w64-mingw32-g++ || true)
if [ -z "$cxx" ]; then
  reason="the Windows cross-compiler x86_64-w64-mingw32-g++ is not installed (about 290 MB;"
  reason+=" tools/install-deps.sh windows installs it)"
  if [ -n "${CI:-}" ]; then
    echo "tst_win32_compile: $reason" >&2
    exit 1
  fi
  echo "tst_win32_compile: skipped: $reason"
  exit 77
fi
exec "$cxx" -std=c++20 -Wall -Wextra -Wpedantic -Werror -fsyntax-only -I"$src/src" \
  "$src"/src/platform/win32/*.cpp "$src/src/platform/key_text.cpp"
