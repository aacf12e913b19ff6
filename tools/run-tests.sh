#!/usr/bin/env bash
# Builds Orvelune with its tests and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/need.sh
need cmake cmake
need ninja ninja-build
need c++ g++
need python3 python3
need_path /usr/src/googletest/CMakeLists.txt googletest
need_done

cmake --workflow --preset linux
