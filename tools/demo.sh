#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds the station and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/bootstrap.sh
cmake -S . -B build/plain -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/plain --target hazard-station

export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 0700 "$XDG_RUNTIME_DIR"
RUN=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "demo: no display found, running under Xvfb"
    RUN=(xvfb-run -a)
fi
mkdir -p build/demo-run/config
cd build/demo-run
exec "${RUN[@]}" ../plain/app/hazard-station
