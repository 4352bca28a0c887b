#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds everything, and runs a demonstration
# station: the reference examination server on loopback with a demo course
# and candidates, and the station on the bundled demo content beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$PWD"

bash tools/bootstrap.sh build/plain
BIN="$ROOT/build/plain"

export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 0700 "$XDG_RUNTIME_DIR"

# A fresh working folder laid out as a station's: content database, videos,
# server address file; the server's database lives beside it.
RUN_DIR="$ROOT/build/demo-run"
rm -rf "$RUN_DIR"
mkdir -p "$RUN_DIR/config"
cp demo/pack/ksm.db "$RUN_DIR/"
cp -r demo/pack/videos "$RUN_DIR/videos"
printf 'SERVER:127.0.0.1:6886\n' > "$RUN_DIR/config/connection_tcp.csv"

SERVER_DB="$RUN_DIR/hazard-server.db"
"$BIN/server/hazard-server" init --db "$SERVER_DB"
"$BIN/server/hazard-server" add-course --db "$SERVER_DB" K01 "Khóa thi mô phỏng K01"
"$BIN/server/hazard-server" import --db "$SERVER_DB" demo/candidates.csv

"$BIN/server/hazard-server" serve --db "$SERVER_DB" --listen 127.0.0.1:6886 \
    > "$RUN_DIR/server.out" 2> "$RUN_DIR/server.log" &
SERVER_PID=$!
trap 'kill "$SERVER_PID" 2>/dev/null || true; wait "$SERVER_PID" 2>/dev/null || true' EXIT
echo "demo: reference server running (log: $RUN_DIR/server.log)"
echo "demo: candidates 0001-0005 of course K01 (see demo/candidates.csv)"

RUN=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "demo: no display found, running the station under Xvfb"
    RUN=(xvfb-run -a)
fi
cd "$RUN_DIR"
"${RUN[@]}" "$BIN/app/hazard-station"
