#!/usr/bin/env bash
# Installs what is missing, builds, and converts a clip that the build
# generated into an iPod MP4 file, build/converted/sample.mp4.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
bash scripts/build.sh build
./build/cli/tovrela-cli convert --overwrite --output-folder build/converted build/media/sample.avi
