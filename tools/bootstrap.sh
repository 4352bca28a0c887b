#!/usr/bin/env bash
# Installs the Debian packages the station, its server, tools and tests need,
# then configures and builds everything into build/plain (or the folder given
# as $1). Non-interactive and idempotent: installs only what is missing, runs
# `apt-get update` once and only when something has to be installed, and an
# up-to-date build folder rebuilds nothing.
#   tools/bootstrap.sh [BUILD_DIR] [--packages-only]
#   tools/bootstrap.sh --demo-packages   only what tools/demo.sh needs, no build
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR="build/plain"
PACKAGES_ONLY=0
DEMO_ONLY=0
for arg in "$@"; do
    case "$arg" in
        --packages-only) PACKAGES_ONLY=1 ;;
        --demo-packages) PACKAGES_ONLY=1; DEMO_ONLY=1 ;;
        *) BUILD_DIR="$arg" ;;
    esac
done

# What building and running the station and its server takes.
PACKAGES=(
    g++ cmake ninja-build pkg-config
    qtbase5-dev qtmultimedia5-dev libqt5multimedia5-plugins libqt5svg5-dev
    libqt5sql5-sqlite
    # The practice program's statistics chart and its printed result sheet.
    libqt5charts5-dev
    # The server's store when several servers share one PostgreSQL database.
    libqt5sql5-psql
    libsqlcipher-dev sqlcipher libssl-dev
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
    # DejaVu Sans covers Vietnamese; the station shows it where the forms ask
    # for Tahoma or Arial and the machine has neither.
    fonts-dejavu-core
    # A display for machines without one, and the demo's hands on it;
    # bench_startup watches the display through Xlib.
    xvfb xauth xdotool libx11-dev
)
# What the tests, the content tools and the fuzz targets add.
TEST_PACKAGES=(
    ffmpeg
    # pdftotext, pdfinfo, pdffonts and pdftoppm read the server's result sheets.
    poppler-utils
    clang libclang-rt-14-dev
    # The shared-store tests and bench_centres start a scratch PostgreSQL
    # server of their own (initdb, pg_ctl, psql); setpriv runs it as an
    # unprivileged user when they run as root.
    postgresql util-linux
    # tools/package.sh builds the Debian packages and checks them.
    debhelper dpkg-dev lintian
)
if [ "$DEMO_ONLY" -eq 0 ]; then
    PACKAGES+=("${TEST_PACKAGES[@]}")
fi

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ "${#missing[@]}" -gt 0 ]; then
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    export DEBIAN_FRONTEND=noninteractive
    echo "bootstrap: installing ${missing[*]}"
    # The tests run PostgreSQL clusters of their own: the package is not to
    # create and start a system-wide one (which also spares the install a
    # service start that can fail where there is no init system).
    if [[ " ${missing[*]} " == *" postgresql "* ]] && [ ! -e /etc/postgresql-common/createcluster.conf ]; then
        $SUDO mkdir -p /etc/postgresql-common/createcluster.d
        echo "create_main_cluster = false" | $SUDO tee /etc/postgresql-common/createcluster.d/hazard-station.conf >/dev/null
    fi
    $SUDO apt-get update -q
    $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
else
    echo "bootstrap: all packages present"
fi

if [ "$PACKAGES_ONLY" -eq 1 ]; then
    exit 0
fi

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHAZARD_WERROR=ON
cmake --build "$BUILD_DIR" -j "${JOBS:-$(nproc)}"
