#!/usr/bin/env bash
# Renders the program's windows into PNG files under xvfb-run: scripts/screenshots.sh [DIR]
# (default build/screenshots/), one file per window.
set -euo pipefail
dir="${1:-}"
[ -n "$dir" ] && dir="$(realpath -m "$dir")"
cd "$(dirname "$0")/.."
dir="${dir:-$PWD/build/screenshots}"
./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target cw_screenshots
mkdir -p "$dir"
runtime="$(mktemp -d)"
trap 'rm -rf "$runtime"' EXIT
XDG_RUNTIME_DIR="$runtime" xvfb-run -a -s "-screen 0 1280x1024x24" ./build/cw_screenshots "$dir"
