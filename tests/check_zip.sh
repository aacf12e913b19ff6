#!/bin/sh
# The Windows zip holds the program and the README, and nothing else.
#   check_zip.sh CPACK BUILD-DIR PYTHON
set -eu
cpack=$1 build=$2 python=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$cpack" --config "$build/CPackConfig.cmake" -B "$tmp" >/dev/null
zip=$(ls "$tmp"/*.zip)
listing=$("$python" -c 'import sys, zipfile; print("\n".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' "$zip")
if [ "$listing" != "$(printf 'README.md\norvelune.exe')" ]; then
  echo "$(basename "$zip") holds:"; echo "$listing"; exit 1
fi
echo "$(basename "$zip"): orvelune.exe and README.md"
