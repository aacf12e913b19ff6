#!/bin/sh
# Runs a Windows program under Wine, quietly and without a display:
#   wine-run.sh LOADER PROGRAM.exe [ARG...]
# LOADER is Wine's 32-bit (/usr/lib/wine/wine) or 64-bit (/usr/lib/wine/wine64) loader.
loader=$1
shift
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer, and no debugger that would wait on a crash.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}"
unset DISPLAY WAYLAND_DISPLAY
# Start the prefix's server and background services with their output on
# /dev/null: started by the program's own Wine they would hold the caller's
# pipes open for seconds after the program ends.
"$loader" wineboot </dev/null >/dev/null 2>&1
exec "$loader" "$@"
