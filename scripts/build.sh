#!/usr/bin/env bash
# Configures and builds into the folder given as $1 (default "build"); any
# further arguments go to CMake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${1:-build}"
shift || true
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build_dir"
