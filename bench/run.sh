#!/usr/bin/env bash
# Builds the release program and runs the benchmark; figures go to bench/RESULTS.md.
#   bash bench/run.sh [--runs N] [--workdir DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/need.sh
need_build_tools
need python3 python3
need sox sox
need_path /usr/bin/time time
need_done
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
python3 bench/bench.py "$@"
