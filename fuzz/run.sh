#!/bin/sh
# Runs the fuzz target for a bounded time over a copy of the seed corpus, so
# that the corpus in the tree stays as it is.
#   run.sh FUZZER CORPUS SECONDS
set -eu
fuzzer=$1 seeds=$2 seconds=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$seeds" "$work/corpus"
"$fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$work/" -print_final_stats=1 "$work/corpus" 2>"$work/log" || {
  tail -n 60 "$work/log"
  for crash in "$work"/crash-* "$work"/leak-* "$work"/timeout-*; do
    [ -e "$crash" ] && { echo "input: $(basename "$crash")"; od -A d -t x1 "$crash" | head -20; }
  done
  exit 1
}
grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$work/log" || tail -n 5 "$work/log"
echo "fuzz_split: 1 passed, 0 failed"
