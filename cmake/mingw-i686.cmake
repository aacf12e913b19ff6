# 32-bit Windows console programs with Debian's MinGW-w64
# (g++-mingw-w64-i686-posix), run under 32-bit Wine (wine32:i386).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(_mingw i686-w64-mingw32)
set(_wine /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
