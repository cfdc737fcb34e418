#!/usr/bin/env bash
# Renders the program's windows into PNG files under xvfb-run: scripts/screenshots.sh [DIR]
# (default build/screenshots/). Every layer's tests/<layer>/screenshots_<layer> program is run.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build/screenshots}"
./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=$(cmake --build build --target help | sed -n 's/^\(screenshots_[a-z]*\): .*/\1/p')
[ -n "$targets" ] || { echo "no screenshot programs" >&2; exit 1; }
# shellcheck disable=SC2086
cmake --build build --target $targets
mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"
for t in $targets; do
  program=$(find build/tests -maxdepth 2 -type f -name "$t" | head -n 1)
  xvfb-run -a -s "-screen 0 1280x1024x24" "$program" "$dir"
done
