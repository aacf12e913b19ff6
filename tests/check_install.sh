#!/bin/sh
# `cmake --install` lays out the program and its manual page, and the
# installed program splits an archive from PATH.
#   check_install.sh CMAKE BUILD-DIR GENERATOR
set -eu
cmake=$1 build=$2 generator=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$cmake" --install "$build" --prefix "$tmp/usr" >/dev/null
for f in bin/orvelune share/man/man1/orvelune.1; do
  [ -f "$tmp/usr/$f" ] || { echo "not installed: $f"; exit 1; }
done
[ -x "$tmp/usr/bin/orvelune" ] || { echo "bin/orvelune is not executable"; exit 1; }
mkdir "$tmp/music"
"$generator" "$tmp/music" --tracks 2 --seconds 1 >/dev/null
(cd "$tmp/music" && PATH="$tmp/usr/bin:$PATH" orvelune </dev/null >transcript)
[ "$(tail -n 1 "$tmp/music/transcript")" = "Spliting finished." ] ||
  { echo "unexpected transcript:"; cat "$tmp/music/transcript"; exit 1; }
[ -s "$tmp/music/bgm_01.wav" ] && [ -s "$tmp/music/bgm_02.wav" ] ||
  { echo "wave files missing"; exit 1; }
echo "installed program and manual page work"
