#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on a clip that the
# build generated.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
bash scripts/build.sh build
./build/cli/tovrela-cli probe build/media/sample.avi
