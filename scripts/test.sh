#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite. Extra
# arguments go to CMake's configure step (for example -DTOVRELA_SANITIZE=ON);
# TOVRELA_BUILD_DIR chooses the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
build_dir="${TOVRELA_BUILD_DIR:-build}"
bash scripts/build.sh "$build_dir" "$@"
export QT_QPA_PLATFORM=offscreen TOVRELA_NO_SHUTDOWN=1
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)"
