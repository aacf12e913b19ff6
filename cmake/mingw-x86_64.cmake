# 64-bit Windows console programs with Debian's MinGW-w64
# (g++-mingw-w64-x86-64-posix), run under 64-bit Wine (wine64).
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(_mingw x86_64-w64-mingw32)
set(_wine /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
