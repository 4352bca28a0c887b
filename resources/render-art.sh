#!/usr/bin/env bash
# Renders the vector sources in resources/art/ to the raster files the forms
# load. Run after editing a drawing and commit the outputs with it.
#   resources/render-art.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build/plain}"

cmake --build "$BUILD_DIR" --target hazard-art
art="$BUILD_DIR/tools/hazard-art"
"$art" resources/art/administrator.svg resources/images/administrator.png 228x304
"$art" resources/art/RoadDepartment.svg resources/images/RoadDepartment.png 128x128
"$art" resources/art/vorn.svg resources/icon/vorn.png 128x128
"$art" resources/art/refresh.svg resources/icon/refresh.ico 32x32
echo "render-art: done"
