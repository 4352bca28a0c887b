#!/usr/bin/env bash
# Renders the demo candidates' photos, demo/photos/NUMBER.png: drawn
# head-and-shoulders portraits from one template, a colour scheme and hair
# style per candidate, small enough to travel in one server answer. Run it
# after changing a portrait and commit the outputs.
#   demo/render-photos.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build/plain}"

cmake --build "$BUILD_DIR" --target hazard-art
art="$BUILD_DIR/tools/hazard-art"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# portrait NUMBER BACKGROUND SHIRT SKIN HAIR STYLE(short|long)
portrait() {
    local number=$1 background=$2 shirt=$3 skin=$4 hair=$5 style=$6 back=""
    local front='<path d="M78 104 Q80 58 114 56 Q148 58 150 104 Q140 80 114 78 Q88 80 78 104 Z" fill="'"$hair"'"/>'
    if [ "$style" = long ]; then
        back='<path d="M70 110 Q66 52 114 48 Q162 52 158 110 L164 196 Q140 206 114 204 Q88 206 64 196 Z" fill="'"$hair"'"/>'
    fi
    cat > "$work/$number.svg" <<SVG
<svg xmlns="http://www.w3.org/2000/svg" width="228" height="304" viewBox="0 0 228 304">
  <rect width="228" height="304" fill="$background"/>
  $back
  <path d="M24 304 Q28 228 84 214 L144 214 Q200 228 204 304 Z" fill="$shirt"/>
  <path d="M96 214 L114 246 L132 214 Z" fill="#ffffff"/>
  <rect x="100" y="170" width="28" height="46" rx="10" fill="$skin"/>
  <ellipse cx="114" cy="122" rx="38" ry="50" fill="$skin"/>
  $front
  <ellipse cx="100" cy="124" rx="4" ry="5" fill="#2b2b2b"/>
  <ellipse cx="128" cy="124" rx="4" ry="5" fill="#2b2b2b"/>
  <path d="M104 150 Q114 157 124 150" stroke="#8a4b3c" stroke-width="3" fill="none" stroke-linecap="round"/>
</svg>
SVG
    "$art" "$work/$number.svg" "demo/photos/$number.png" 228x304
}

mkdir -p demo/photos
portrait 0001 "#dfe9f5" "#2f5d8c" "#f1c7a5" "#2a211c" short
portrait 0002 "#f3e6ee" "#b04a6f" "#f3cfb3" "#1f1a17" long
portrait 0003 "#e4efe1" "#3e7a4a" "#e2b48f" "#3a2c22" short
portrait 0004 "#f4eddc" "#c9822b" "#f0c8a8" "#2c2420" long
portrait 0005 "#e6e3f1" "#5a4a8c" "#d9a982" "#161311" short
echo "render-photos: done"
