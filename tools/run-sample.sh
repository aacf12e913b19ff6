#!/usr/bin/env bash
# Builds Orvelune, writes the sample archive to sample/ and splits it there.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/need.sh
need_build_tools
need_done

cmake --preset release >/dev/null
cmake --build --preset release
rm -rf sample && mkdir sample
build-release/orvelune-sample sample
echo
# The program waits for Enter at the end; this run answers it at once.
echo | build-release/orvelune sample/qvbgm_95.fmt
echo
ls -l sample
