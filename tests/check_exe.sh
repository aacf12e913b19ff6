#!/bin/sh
# Checks a Windows build's program file: a console program of the expected
# kind (PE32 or PE32+) that needs no DLL but the system's own.
#   check_exe.sh OBJDUMP PROGRAM.exe PE32|PE32+
set -eu
objdump=$1 exe=$2 kind=$3
headers=$("$objdump" -p "$exe")
fail=0
echo "$headers" | grep '^Magic' | grep -qF "($kind)" ||
  { echo "$exe: not a $kind program"; fail=1; }
echo "$headers" | grep -Eq '^Subsystem[[:space:]]+00000003[[:space:]]+\(Windows CUI\)' ||
  { echo "$exe: not a console program"; fail=1; }
dlls=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
for dll in $dlls; do
  case $dll in
    kernel32.dll | msvcrt.dll) ;;
    *) echo "$exe: needs $dll"; fail=1 ;;
  esac
done
[ -n "$dlls" ] || { echo "$exe: imports nothing?"; fail=1; }
[ $fail = 0 ] && echo "$exe: $kind console program, imports: $(echo $dlls)"
exit $fail
