#!/bin/sh
# The manual page renders without a single groff warning.
#   check_man.sh PAGE
set -eu
warnings=$(groff -t -man -Tutf8 -ww -z "$1" 2>&1)
if [ -n "$warnings" ]; then
  echo "$1 renders with warnings:"
  echo "$warnings"
  exit 1
fi
groff -t -man -Tutf8 "$1" 2>/dev/null | grep -q 'split a background-music archive' ||
  { echo "$1: rendered page lacks its NAME line"; exit 1; }
echo "$1 renders cleanly"
