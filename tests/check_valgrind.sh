#!/bin/sh
# One split of the sample archive under valgrind's memcheck: no errors, no
# leaks, and no file descriptor open at exit beyond the standard three.
#   check_valgrind.sh VALGRIND PROGRAM GENERATOR
set -eu
valgrind=$1 program=$2 generator=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$generator" "$tmp" --tracks 3 --seconds 1 >/dev/null
status=0
(cd "$tmp" && "$valgrind" --error-exitcode=99 --leak-check=full --show-leak-kinds=all \
  --errors-for-leak-kinds=all --track-fds=yes --log-file="$tmp/valgrind.log" \
  "$program" </dev/null >/dev/null) || status=$?
fail=0
[ "$status" = 0 ] || { echo "status $status"; fail=1; }
grep -q 'ERROR SUMMARY: 0 errors' "$tmp/valgrind.log" || { echo "memcheck found errors"; fail=1; }
grep -q 'All heap blocks were freed' "$tmp/valgrind.log" || { echo "memory left allocated"; fail=1; }
grep -q 'FILE DESCRIPTORS: 3 open' "$tmp/valgrind.log" || { echo "descriptors left open"; fail=1; }
[ -s "$tmp/bgm_03.wav" ] || { echo "no wave files"; fail=1; }
if [ $fail = 1 ]; then cat "$tmp/valgrind.log"; exit 1; fi
echo "memcheck: 0 errors, all heap blocks freed, 3 descriptors open at exit"
