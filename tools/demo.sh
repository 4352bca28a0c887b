#!/usr/bin/env bash
# A demonstration station on this machine (Debian 12): installs the packages
# it needs, builds the station, its server and the demo's walker (no tests,
# no benchmarks), sets up the examination server on loopback with a demo
# course and candidates, and starts the station on the bundled demo content.
#
# With a display the station's window opens there; use it as an operator
# would and leave through "Tiện ích" > "Thoát". Without a display (or with
# --walk) the station runs on a virtual display (Xvfb) and is walked through
# a refused candidate, an examination and a review from outside, with
# screenshots of each stage.
#
#   bash tools/demo.sh [--walk] [--port N]
#
# With --practice it is the learners' practice program (hazard-practice) on
# the demo content instead, with a progress file of its own: in a window on
# the display, or, without one, walked through the first chapter, a mock
# examination and the statistics page on a virtual display, with screenshots.
#
#   bash tools/demo.sh --practice [--walk]
#
# Ctrl-C stops everything it started. Logs and screenshots stay in
# build/demo-run/; everything else it made goes when it ends.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$PWD"

WALK=0
PRACTICE=0
PORT=6886
while [ $# -gt 0 ]; do
    case "$1" in
        --walk) WALK=1 ;;
        --practice) PRACTICE=1 ;;
        --port) PORT="${2:-}"; shift ;;
        -h|--help) sed -n '2,24p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "demo: unknown option $1 (see --help)" >&2; exit 2 ;;
    esac
    shift
done
case "$PORT" in
    ''|*[!0-9]*) echo "demo: --port takes a number" >&2; exit 2 ;;
esac

say() { printf 'demo: %s\n' "$*"; }

# --- packages and build ----------------------------------------------------
bash tools/bootstrap.sh --demo-packages
BUILD="$ROOT/build/demo"
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
          -DHAZARD_BUILD_TESTS=OFF -DHAZARD_BUILD_BENCH=OFF >/dev/null
fi
if [ "$PRACTICE" -eq 1 ]; then
    say "building the practice program and the walker (a few minutes the first time)"
    cmake --build "$BUILD" -j "${JOBS:-$(nproc)}" --target hazard-practice hazard-walk
else
    say "building the station, the server and the walker (a few minutes the first time)"
    cmake --build "$BUILD" -j "${JOBS:-$(nproc)}" --target hazard-station hazard-server hazard-walk
fi
PRACTICE_BIN="$BUILD/practice/hazard-practice"
STATION_BIN="$BUILD/app/hazard-station"
SERVER_BIN="$BUILD/server/hazard-server"
WALK_BIN="$BUILD/tools/hazard-walk"

# --- everything this run starts, and how it ends -----------------------------
OUT="$ROOT/build/demo-run"
rm -rf "$OUT"
mkdir -p "$OUT"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/hazard-demo.XXXXXX")"
WALK_PID="" STATION_PID="" PRACTICE_PID="" XVFB_PID="" SERVER_PID=""
cleanup() {
    local status=$?
    trap - EXIT INT TERM
    local pid
    # Users of the display and the server first.
    for pid in "$WALK_PID" "$STATION_PID" "$PRACTICE_PID" "$XVFB_PID" "$SERVER_PID"; do
        [ -n "$pid" ] || continue
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    # The station leaves its decrypted copies behind when it is stopped
    # from outside; they lie in the working folder, which goes with the rest.
    rm -rf "$WORK"
    exit "$status"
}
trap cleanup EXIT
trap 'echo; say "stopping"; exit 130' INT TERM

export XDG_RUNTIME_DIR="$WORK/runtime"
mkdir -m 0700 "$XDG_RUNTIME_DIR"

# --- a display: the user's, or a virtual one ---------------------------------
has_display() { [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; }
start_virtual_display() {
    # A free display number, as xvfb-run picks one, and a cookie for it so
    # that only this user's programs reach it.
    local n=99
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    export DISPLAY=":$n" XAUTHORITY="$WORK/Xauthority"
    (umask 077 && : > "$XAUTHORITY")
    xauth -q -f "$XAUTHORITY" add "$DISPLAY" . "$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')"
    # The station's window is 1900 x 1000 and nothing maximises it here.
    Xvfb "$DISPLAY" -screen 0 1920x1080x24 -nolisten tcp -auth "$XAUTHORITY" > "$OUT/xvfb.log" 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 1 100); do
        xdotool getdisplaygeometry >/dev/null 2>&1 && break
        sleep 0.1
    done
    has_display || { say "the virtual display did not start (log: $OUT/xvfb.log)"; exit 1; }
}

# --- the practice program, on its own ------------------------------------------
if [ "$PRACTICE" -eq 1 ]; then
    # Its progress file, settings and decrypted copies go to the working
    # folder, not the user's own; the demo content is where an installed
    # pack would be.
    export XDG_DATA_HOME="$WORK/data" XDG_CONFIG_HOME="$WORK/config" XDG_CACHE_HOME="$WORK/cache"
    mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"
    ln -s "$ROOT/demo/pack" "$XDG_DATA_HOME/hazard-station"
    if [ "$WALK" -eq 0 ] && ! has_display; then
        say "no display found: the practice program runs on a virtual display and is walked automatically"
        WALK=1
    fi
    [ "$WALK" -eq 1 ] && start_virtual_display
    "$PRACTICE_BIN" > "$OUT/practice.log" 2>&1 &
    PRACTICE_PID=$!
    if [ "$WALK" -eq 0 ]; then
        say "practice program started on display $DISPLAY (log: $OUT/practice.log)"
        say "progress is kept in $XDG_DATA_HOME/hazard-practice/progress.db for this run only"
        status=0
        wait "$PRACTICE_PID" || status=$?
        PRACTICE_PID=""
        say "practice program ended ($status)"
        exit "$status"
    fi
    SHOTS="$OUT/screenshots"
    say "walking the practice program: the first chapter, a mock examination and the statistics (about four minutes)"
    status=0
    "$WALK_BIN" practice --pid "$PRACTICE_PID" --pack demo/pack \
        --scratch "$XDG_CACHE_HOME/hazard-practice/clips" --shots "$SHOTS" \
        > >(tee "$OUT/walk.log") 2>&1 &
    WALK_PID=$!
    wait "$WALK_PID" || status=$?
    WALK_PID=""
    if [ "$status" -eq 0 ]; then
        say "walk done; screenshots in $SHOTS:"
        for f in "$SHOTS"/*.png; do echo "    $f"; done
    else
        say "the walk failed ($status); the logs are in $OUT"
    fi
    exit "$status"
fi

# --- the station's working folder: content, videos, server address ---------
STATION_DIR="$WORK/station"
mkdir -p "$STATION_DIR/config"
cp demo/pack/ksm.db "$STATION_DIR/"
cp -r demo/pack/videos "$STATION_DIR/videos"
printf 'SERVER:127.0.0.1:%s\n' "$PORT" > "$STATION_DIR/config/connection_tcp.csv"

# --- the examination server's database ---------------------------------------
DB="$WORK/server/hazard-server.db"
mkdir -p "$WORK/server"
server() { "$SERVER_BIN" --db "$DB" "$@"; }
{
    server init
    server add-course K01 "Khóa thi mô phỏng K01"
    server import demo/candidates.csv
    # 0002 has sat an examination already: a result scored by the station's
    # own rules on this content, for the station to review.
    server add-result K01 0002 "$("$WALK_BIN" sample-result "$STATION_DIR")"
} > "$OUT/server-setup.log"

# --- the server, listening on loopback ---------------------------------------
# Started directly, not through the function, so that $! is the server itself.
"$SERVER_BIN" --db "$DB" serve --listen "127.0.0.1:$PORT" > "$WORK/server.out" 2> "$OUT/server.log" &
SERVER_PID=$!
for _ in $(seq 1 100); do
    grep -q '^listening on' "$WORK/server.out" 2>/dev/null && break
    kill -0 "$SERVER_PID" 2>/dev/null || break
    sleep 0.1
done
if ! grep -q '^listening on' "$WORK/server.out"; then
    say "the examination server could not start:"
    sed 's/^/    /' "$OUT/server.log" >&2
    if grep -q 'in use' "$OUT/server.log"; then
        say "port $PORT is taken by another program; stop it, or pick another port:"
        say "    bash tools/demo.sh --port 6890"
    fi
    exit 1
fi
if ! server status > /dev/null 2>&1; then
    say "the examination server does not answer on its control socket (log: $OUT/server.log)"
    exit 1
fi
say "examination server listening on 127.0.0.1:$PORT (log: $OUT/server.log)"

cat <<EOF

  Course "Khóa thi mô phỏng K01"; candidate numbers to type:
    0001  Nguyễn Văn An     ready: sits the examination (press Space when a hazard appears)
    0002  Trần Thị Bình     has a stored result: replays it with the danger zones and flags
    0003  Lê Hoàng Cường    ready: a second examination
    0004  Phạm Thu Dung     refused: has not passed the theory test
    0005  Hoàng Minh Đức    refused: does not take this examination
  A candidate who has sat the examination is reviewed when entered again.

EOF

# --- the station's display ------------------------------------------------------
if [ "$WALK" -eq 0 ] && ! has_display; then
    say "no display found: the station runs on a virtual display and is walked automatically"
    WALK=1
fi
if [ "$WALK" -eq 1 ]; then
    start_virtual_display
fi

# --- the station ---------------------------------------------------------------
(cd "$STATION_DIR" && exec "$STATION_BIN") > "$OUT/station.log" 2>&1 &
STATION_PID=$!

if [ "$WALK" -eq 0 ]; then
    say "station started on display $DISPLAY (log: $OUT/station.log)"
    say "leave it through the menu Tiện ích > Thoát, or press Ctrl-C here"
    status=0
    wait "$STATION_PID" || status=$?
    STATION_PID=""
    say "station ended ($status)"
    exit "$status"
fi

SHOTS="$OUT/screenshots"
say "walking the station: a refused candidate, an examination of ten situations and a review;"
say "the examination plays at normal speed and takes about four minutes"
status=0
"$WALK_BIN" walk --pid "$STATION_PID" --folder "$STATION_DIR" --shots "$SHOTS" \
    > >(tee "$OUT/walk.log") 2>&1 &
WALK_PID=$!
wait "$WALK_PID" || status=$?
WALK_PID=""
if [ "$status" -eq 0 ]; then
    say "walk done. Results stored on the server:"
    server results | sed 's/^/    /'
    # What the centre hands the candidates: one A4 page each.
    if sheet=$(server sheet --course K01 --centre "Trung tâm sát hạch (demo)" \
        --out "$OUT/K01-result-sheets.pdf" 2>&1); then
        say "$sheet"
    else
        say "no result sheets: $sheet"
    fi
    say "screenshots in $SHOTS:"
    for f in "$SHOTS"/*.png; do echo "    $f"; done
else
    say "the walk failed ($status); the logs are in $OUT"
fi
exit "$status"
