#!/bin/sh
# Builds the .deb, installs it on this machine, runs orvelune from PATH,
# finds its manual page, and removes it again, leaving nothing behind.
# Installs system-wide: run as root, on a machine where that is welcome (CI).
#   check_deb.sh BUILD-DIR GENERATOR
set -eu
build=$1 generator=$2
if dpkg -s orvelune >/dev/null 2>&1; then
  echo "orvelune is installed already; not touching it"; exit 1
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"; dpkg -r orvelune >/dev/null 2>&1 || true' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$tmp" >/dev/null
deb=$(ls "$tmp"/*.deb)
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/orvelune ./usr/share/man/man1/orvelune.1; do
  echo "$contents" | grep -q " $f\$" || { echo "$deb lacks $f"; exit 1; }
done
dpkg -i "$deb" >/dev/null
[ "$(command -v orvelune)" = /usr/bin/orvelune ] || { echo "orvelune not on PATH"; exit 1; }
mkdir "$tmp/music"
"$generator" "$tmp/music" --tracks 2 --seconds 1 >/dev/null
(cd "$tmp/music" && orvelune qvbgm_95.fmt </dev/null >transcript)
[ "$(tail -n 1 "$tmp/music/transcript")" = "Spliting finished." ] || { echo "split failed"; exit 1; }
[ -s "$tmp/music/bgm_02.wav" ] || { echo "no wave files"; exit 1; }
if command -v man >/dev/null 2>&1; then
  [ "$(man -w orvelune)" = /usr/share/man/man1/orvelune.1 ] || { echo "man page not found"; exit 1; }
fi
dpkg -r orvelune >/dev/null
for f in /usr/bin/orvelune /usr/share/man/man1/orvelune.1; do
  [ ! -e "$f" ] || { echo "$f left behind"; exit 1; }
done
! dpkg -s orvelune >/dev/null 2>&1 || { echo "still registered"; exit 1; }
echo "deb package: 1 passed, 0 failed"
