#!/usr/bin/env bash
# Builds Orvelune with its tests and runs every test: the Linux build, the
# same with sanitizers and a bounded fuzz run, the 64-bit Windows build under
# Wine, and the 32-bit Windows build (under Wine where this machine can run
# 32-bit programs; otherwise built and checked).
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/need.sh
need_build_tools
need python3 python3
need strace strace
need_path /usr/src/googletest/CMakeLists.txt googletest
need i686-w64-mingw32-g++-posix g++-mingw-w64-i686-posix
need x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix
need_path /usr/lib/wine/wine64 wine64
need groff groff-base
need sox sox
need sndfile-info sndfile-programs
need ffprobe ffmpeg
need clang++ clang
need_path "$(ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a 2>/dev/null | head -n 1)" \
  libclang-rt-14-dev
need valgrind valgrind
need_done
# Wine must never start with a standard descriptor closed.
exec </dev/null

cmake --workflow --preset linux
# The same tests with AddressSanitizer and UndefinedBehaviorSanitizer, and a
# minute of fuzzing.
cmake --workflow --preset sanitize
cmake --workflow --preset win64
if [ ! -x /usr/lib/wine/wine ]; then
  echo "NOTE: 32-bit Wine is not installed (dpkg --add-architecture i386; apt-get update;" \
       "apt-get install wine32:i386): orvelune.exe (32-bit) is built and checked, not run."
elif ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "NOTE: this machine cannot run 32-bit programs (the kernel's ia32 emulation is off):" \
       "orvelune.exe (32-bit) is built and checked, not run; the 64-bit Windows build ran every test."
fi
cmake --workflow --preset win32

# The .deb is installed on this machine and removed again: only where that is
# welcome (CI, or ORVELUNE_TEST_DEB=1), and as root.
if [ "${CI:-}" = true ] || [ "${ORVELUNE_TEST_DEB:-}" = 1 ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release >/dev/null
  sh tests/check_deb.sh build-release build-release/orvelune-sample
else
  echo "NOTE: the .deb package test installs system-wide; it runs in CI or with ORVELUNE_TEST_DEB=1."
fi
