#!/bin/sh
# One split of the sample archive under valgrind's memcheck: no errors, no
# leaks, and no file descriptor that the program opened still open at exit.
# (libstdc++ keeps its emergency exception pool until exit by design; it is
# "still reachable", not a leak.)
#   check_valgrind.sh VALGRIND PROGRAM GENERATOR
set -eu
valgrind=$1 program=$2 generator=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$generator" "$tmp" --tracks 3 --seconds 1 >/dev/null
status=0
(cd "$tmp" && "$valgrind" --error-exitcode=99 --leak-check=full --show-leak-kinds=all \
  --errors-for-leak-kinds=definite,indirect,possible --track-fds=yes --log-file="$tmp/valgrind.log" \
  "$program" </dev/null >/dev/null) || status=$?
fail=0
[ "$status" = 0 ] || { echo "status $status"; fail=1; }
grep -q 'ERROR SUMMARY: 0 errors' "$tmp/valgrind.log" || { echo "memcheck found errors"; fail=1; }
for kind in 'definitely lost' 'indirectly lost' 'possibly lost'; do
  if grep -q "$kind: [1-9]" "$tmp/valgrind.log"; then echo "memory $kind"; fail=1; fi
done
# Every descriptor open at exit other than the standard three came from the parent.
own=$(awk '/Open file descriptor [0-9]+:/ { fd = $0; getline; if ($0 !~ /inherited from parent/ && fd !~ /descriptor [012]:/) print fd }' "$tmp/valgrind.log")
[ -z "$own" ] || { echo "descriptors left open:"; echo "$own"; fail=1; }
[ -s "$tmp/bgm_03.wav" ] || { echo "no wave files"; fail=1; }
if [ $fail = 1 ]; then cat "$tmp/valgrind.log"; exit 1; fi
echo "memcheck: 0 errors, no memory lost, no descriptor of the program's open at exit"
