#!/usr/bin/env bash
# Builds the Debian packages from the tree, checks them with lintian, installs
# them on this machine with apt-get, runs the installed server as its service
# user (the unit's own command line: a test machine may have no running
# systemd) and the installed station under Xvfb against it on the demo
# content, checks one candidate entry from the station to the server and
# back, starts the installed practice program for a new learner on the
# installed demo pack and closes it, then purges everything and checks that only the server's database
# (documented data) was left behind, which it then removes.
#
#   tools/package.sh [--reuse]
#
# --reuse takes the packages an earlier run left in build/packages/ instead
# of building them again (for working on the checks after the build).
#
# It replaces any hazard-* packages installed on this machine: run it on a
# test machine. The build happens in a scratch folder; the packages and the
# logs stay in build/packages/.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$PWD"
JOBS="${JOBS:-$(nproc)}"
REUSE=0
[ "${1:-}" = --reuse ] && REUSE=1
PACKAGES=(hazard-station hazard-server hazard-content-tools hazard-practice hazard-demo-content)

say() { printf 'package: %s\n' "$*"; }
fail() { printf 'package: FAILED: %s\n' "$*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "needs root (it installs and purges packages)"

bash tools/bootstrap.sh --packages-only >/dev/null

# --- one version: CMake's, the changelog's ------------------------------------
VERSION=$(sed -n 's/^project(hazard-station VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
CHANGELOG_VERSION=$(dpkg-parsechangelog -S Version)
[ -n "$VERSION" ] && [ "$VERSION" = "$CHANGELOG_VERSION" ] ||
    fail "CMake's version ($VERSION) is not debian/changelog's ($CHANGELOG_VERSION)"

OUT="$ROOT/build/packages"
if [ "$REUSE" -eq 0 ]; then rm -rf "$OUT"; fi
mkdir -p "$OUT"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/hazard-package.XXXXXX")"
chmod 0755 "$WORK"
SERVER_PID="" STATION_PID="" PRACTICE_PID="" XVFB_PID=""
cleanup() {
    local status=$?
    trap - EXIT INT TERM
    local pid
    for pid in "$STATION_PID" "$PRACTICE_PID" "$XVFB_PID" "$SERVER_PID"; do
        [ -n "$pid" ] || continue
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    for user in hzkiosk hzoperator; do
        if getent passwd "$user" >/dev/null; then userdel "$user" 2>/dev/null || true; fi
    done
    rm -rf "$WORK"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

purge_all() {
    local installed=()
    for p in "${PACKAGES[@]}"; do
        if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "installed\|config-files"; then
            installed+=("$p")
        fi
    done
    if [ "${#installed[@]}" -gt 0 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -q "${installed[@]}" >>"$OUT/apt.log" 2>&1
    fi
}
purge_all
rm -rf /var/lib/hazard-server

# --- build -------------------------------------------------------------------
if [ "$REUSE" -eq 1 ]; then
    DEBS=()
    for p in "${PACKAGES[@]}"; do DEBS+=("$(ls "$OUT/${p}_${VERSION}_"*.deb)"); done
else
say "building the packages $VERSION (log: $OUT/build.log)"
SRC="$WORK/src/hazard-station-$VERSION"
mkdir -p "$SRC"
git ls-files -z --cached --others --exclude-standard | tar -C "$ROOT" --null -T - -cf - | tar -C "$SRC" -xf -
start=$(date +%s)
(cd "$SRC" && DEB_BUILD_OPTIONS="nocheck parallel=$JOBS" dpkg-buildpackage -us -uc -b) >"$OUT/build.log" 2>&1 ||
    { tail -40 "$OUT/build.log" >&2; fail "dpkg-buildpackage"; }
say "built in $(($(date +%s) - start)) s"
DEBS=()
for p in "${PACKAGES[@]}"; do
    deb=$(ls "$WORK/src/${p}_${VERSION}_"*.deb 2>/dev/null | head -1)
    [ -n "$deb" ] || fail "no package $p"
    cp "$deb" "$OUT/"
    DEBS+=("$OUT/$(basename "$deb")")
done
fi

# --- lintian: no error, no warning -------------------------------------------
say "lintian"
[ "$REUSE" -eq 1 ] || lintian --fail-on error,warning --display-info "${DEBS[@]}" >"$OUT/lintian.log" 2>&1 ||
    { cat "$OUT/lintian.log" >&2; fail "lintian"; }
grep -E '^[EW]: ' "$OUT/lintian.log" 2>/dev/null && [ "$REUSE" -eq 0 ] && fail "lintian reports the above"
sed 's/^/    /' "$OUT/lintian.log"

# --- install -------------------------------------------------------------------
say "installing ${PACKAGES[*]}"
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${DEBS[@]}" >>"$OUT/apt.log" 2>&1 ||
    { tail -30 "$OUT/apt.log" >&2; fail "apt-get install"; }
for program in hazard-server hazard-content; do
    [ "$($program --version)" = "$program $VERSION" ] || fail "$program --version: $($program --version)"
done
[ "$(dpkg-query -W -f='${Version}' hazard-station)" = "$VERSION" ] || fail "package version"
getent passwd hazard-server >/dev/null || fail "no service user"
getent group hazard-station >/dev/null || fail "no group hazard-station"
DB=/var/lib/hazard-server/hazard-server.db
[ "$(stat -c %U:%G "$DB")" = hazard-server:hazard-server ] || fail "the service's database is not the service user's"
[ -f /var/lib/hazard-station/ksm.db ] && [ -d /var/lib/hazard-station/videos ] || fail "no content in the station's folder"

# --- the unit ------------------------------------------------------------------
UNIT=/lib/systemd/system/hazard-server.service
[ -f "$UNIT" ] || UNIT=/usr/lib/systemd/system/hazard-server.service
systemd-analyze verify --man=no "$UNIT" >"$OUT/unit-verify.log" 2>&1 ||
    { cat "$OUT/unit-verify.log" >&2; fail "systemd-analyze verify"; }
[ -s "$OUT/unit-verify.log" ] && { cat "$OUT/unit-verify.log" >&2; fail "systemd-analyze verify reports the above"; }
systemd-analyze security --offline=true --no-pager "$UNIT" >"$OUT/unit-security.log" 2>&1 || true
exposure=$(sed -n 's/.*Overall exposure level for hazard-server.service: \([0-9.]*\).*/\1/p' "$OUT/unit-security.log")
[ -n "$exposure" ] && awk -v e="$exposure" 'BEGIN { exit !(e <= 2.5) }' ||
    { cat "$OUT/unit-security.log" >&2; fail "systemd-analyze security: exposure '$exposure' above 2.5"; }
say "unit verified; exposure $exposure"

# --- the service, as systemd would start it --------------------------------------
# The test machine shares its loopback with others: a free port, set as an
# operator would, in both settings files.
PORT=6896
while (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null; do PORT=$((PORT + 1)); done
sed -i "s/^LISTEN=.*/LISTEN=127.0.0.1:$PORT/" /etc/hazard-server/hazard-server.conf
printf 'SERVER:127.0.0.1:%s\n' "$PORT" >/etc/hazard-station/connection_tcp.csv
EXEC=$(sed -n 's/^ExecStart=//p' "$UNIT")
install -d -m 0770 -o hazard-server -g hazard-server /run/hazard-server
(cd /var/lib/hazard-server && umask 0007 &&
    exec setpriv --reuid=hazard-server --regid=hazard-server --init-groups --no-new-privs \
        --inh-caps=-all --bounding-set=-all -- $EXEC) >"$WORK/server.out" 2>"$OUT/server.log" &
SERVER_PID=$!
for _ in $(seq 1 100); do
    grep -q '^listening on' "$WORK/server.out" 2>/dev/null && break
    kill -0 "$SERVER_PID" 2>/dev/null || break
    sleep 0.1
done
grep -q "^listening on 127.0.0.1:$PORT" "$WORK/server.out" || { cat "$OUT/server.log" >&2; fail "the service did not start"; }
say "service running as $(ps -o user= -p "$SERVER_PID") on port $PORT"

# The operator's commands, as root and as a member of the service's group,
# without naming the database; anyone else is kept out.
hazard-server add-course K01 "Khóa thi mô phỏng K01" >/dev/null
hazard-server import /usr/share/hazard-station/demo/candidates.csv >/dev/null
hazard-server status | grep -q "serving $DB: 0 station(s)" || fail "status as root"
useradd -M -N -G hazard-server hzoperator
runuser -u hzoperator -- hazard-server status >/dev/null || fail "status from the service's group"
runuser -u hzoperator -- hazard-server candidates | grep -q 0001 || fail "candidates from the service's group"
if runuser -u nobody -- hazard-server status >/dev/null 2>&1; then fail "status from outside the group"; fi
bad=$(find /var/lib/hazard-server ! -user hazard-server)
[ -z "$bad" ] || fail "files the service cannot own: $bad"

# --- the station, as a kiosk user, under Xvfb ---------------------------------------
useradd -M -N -G hazard-station hzkiosk
KIOSK_HOME="$WORK/kiosk"
install -d -m 0700 -o hzkiosk "$KIOSK_HOME" "$KIOSK_HOME/runtime"
n=99
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
export DISPLAY=":$n" XAUTHORITY="$KIOSK_HOME/Xauthority"
(umask 077 && : >"$XAUTHORITY")
xauth -q -f "$XAUTHORITY" add "$DISPLAY" . "$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')"
chown hzkiosk "$XAUTHORITY"
Xvfb "$DISPLAY" -screen 0 1920x1080x24 -nolisten tcp -auth "$XAUTHORITY" >"$OUT/xvfb.log" 2>&1 &
XVFB_PID=$!
# A display that is slow to come up (a loaded machine, a first start that
# compiles its keymaps) is waited for; one that never does is a failure of
# its own, not a station that cannot start.
for _ in $(seq 1 300); do
    xdotool getdisplaygeometry >/dev/null 2>&1 && break
    kill -0 "$XVFB_PID" 2>/dev/null || { cat "$OUT/xvfb.log" >&2; fail "Xvfb on $DISPLAY ended"; }
    sleep 0.1
done
xdotool getdisplaygeometry >/dev/null 2>&1 || fail "Xvfb on $DISPLAY did not answer within 30 s"
runuser -u hzkiosk -- env HOME="$KIOSK_HOME" XDG_RUNTIME_DIR="$KIOSK_HOME/runtime" DISPLAY="$DISPLAY" \
    XAUTHORITY="$XAUTHORITY" hazard-station >"$OUT/station.log" 2>&1 &
STATION_PID=$!
WATCH_PID=$STATION_PID WATCH_LOG="$OUT/station.log" WATCH_NAME="the station"

wait_for() { # seconds, description, command... (while $WATCH_PID runs)
    local seconds=$1 what=$2
    shift 2
    for _ in $(seq 1 $((seconds * 5))); do
        "$@" >/dev/null 2>&1 && return 0
        kill -0 "$WATCH_PID" 2>/dev/null || { cat "$WATCH_LOG" >&2; fail "$WATCH_NAME ended: $what"; }
        sleep 0.2
    done
    fail "$what"
}
wait_for 120 "the candidate number dialog" xdotool search --name "Xác nhận số báo danh"
wait_for 60 "the course list" grep -q "course list: 1 course(s) sent" "$OUT/server.log"
entry=$(xdotool search --name "Xác nhận số báo danh" | head -1)
xdotool windowactivate --sync "$entry" 2>/dev/null || xdotool windowfocus --sync "$entry"
xdotool type --delay 50 0001
xdotool key Return
wait_for 60 "the server's answer to candidate 0001" grep -q "entry course K01 number 0001 -> 0 " "$OUT/server.log"
wait_for 60 "the identity dialog" xdotool search --name "Xác nhận thông tin học viên"
say "entry round trip: candidate 0001 entered at the installed station, admitted by the service"
kill -TERM "$STATION_PID"
wait "$STATION_PID" 2>/dev/null || true
STATION_PID=""

# --- the practice program, for a learner with a fresh home, on the same display ---
# Closed as a window manager closes it (WM_DELETE_WINDOW), so that its own
# shutdown runs: the progress file closed, the decrypted copies removed.
close_window() { # window id
    python3 - "$1" <<'EOF'
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x.XFlush.argtypes = [ctypes.c_void_p]
x.XCloseDisplay.argtypes = [ctypes.c_void_p]
class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]
display = x.XOpenDisplay(None)
if not display:
    sys.exit("no display")
window = int(sys.argv[1])
event = ClientMessage(type=33, display=display, window=window, format=32,
                      message_type=x.XInternAtom(display, b"WM_PROTOCOLS", 0))
event.l[0] = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
x.XSendEvent(display, window, 0, 0, ctypes.byref(event))
x.XFlush(display)
x.XCloseDisplay(display)
EOF
}
LEARNER_HOME="$WORK/learner"
install -d -m 0700 -o hzkiosk "$LEARNER_HOME" "$LEARNER_HOME/runtime"
runuser -u hzkiosk -- env HOME="$LEARNER_HOME" XDG_RUNTIME_DIR="$LEARNER_HOME/runtime" DISPLAY="$DISPLAY" \
    XAUTHORITY="$XAUTHORITY" hazard-practice >"$OUT/practice.log" 2>&1 &
PRACTICE_PID=$!
WATCH_PID=$PRACTICE_PID WATCH_LOG="$OUT/practice.log" WATCH_NAME="the practice program"
# Its window opens only once a pack has loaded; without one a message box asks for a folder.
PRACTICE_TITLE="Luyện tập mô phỏng tình huống giao thông"
wait_for 60 "the practice window" xdotool search --name "$PRACTICE_TITLE"
grep -rqx "folder=/usr/share/hazard-station/demo/pack" "$LEARNER_HOME/.config" ||
    fail "the practice program did not take the installed demo pack"
[ -f "$LEARNER_HOME/.local/share/hazard-practice/progress.db" ] || fail "no progress file for the learner"
close_window "$(xdotool search --name "$PRACTICE_TITLE" | head -1)"
status=0
wait "$PRACTICE_PID" || status=$?
PRACTICE_PID=""
[ "$status" -eq 0 ] || { cat "$OUT/practice.log" >&2; fail "the practice program did not end cleanly when closed ($status)"; }
[ -z "$(find "$LEARNER_HOME/.cache" -type f -path '*clips*' 2>/dev/null)" ] ||
    fail "decrypted copies left after the practice program ended"
say "practice: the installed demo pack found for a new learner; closed cleanly"
kill -TERM "$XVFB_PID"
wait "$XVFB_PID" 2>/dev/null || true
XVFB_PID=""
kill -TERM "$SERVER_PID"
status=0
wait "$SERVER_PID" || status=$?
SERVER_PID=""
[ "$status" -eq 0 ] && grep -q "stopped" "$OUT/server.log" || fail "the service did not stop cleanly on SIGTERM ($status)"
userdel hzkiosk
userdel hzoperator
rm -rf /run/hazard-server

# --- purge: only the documented data stays -----------------------------------------
say "purging"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -q "${PACKAGES[@]}" >>"$OUT/apt.log" 2>&1 || fail "apt-get purge"
for p in "${PACKAGES[@]}"; do
    if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "installed\|config-files"; then fail "$p left"; fi
done
for path in /etc/hazard-server /etc/hazard-station /var/lib/hazard-station /usr/share/hazard-station \
    /usr/libexec/hazard-station /usr/bin/hazard-server /usr/bin/hazard-station /usr/bin/hazard-content \
    /usr/bin/hazard-practice /usr/share/applications/hazard-practice.desktop \
    /usr/share/icons/hicolor/scalable/apps/hazard-practice.svg; do
    [ ! -e "$path" ] || fail "$path left after the purge"
done
for name in hazard-server hazard-station; do
    if getent passwd "$name" >/dev/null || getent group "$name" >/dev/null; then fail "user or group $name left"; fi
done
# The service's database is data, kept by the purge as documented.
[ -f "$DB" ] || fail "the purge removed the service's database"
rm -rf /var/lib/hazard-server
say "passed: built, lintian-clean, installed, served, entered, practised, purged"
