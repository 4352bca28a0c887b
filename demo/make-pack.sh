#!/usr/bin/env bash
# Builds the bundled demo content pack: renders the demo clips, turns them into
# demo/pack (ksm.db + videos/) with hazard-content, and writes the pack's
# values into the defaults of cmake/HazardSecrets.cmake so that a plain build
# of the station accepts it.
#
#   bash demo/make-pack.sh           keep the current salt, password and video key
#   bash demo/make-pack.sh --fresh   generate new ones as well
#
# The digest changes on every run whatever the option: SQLCipher gives every
# database file a random salt of its own.
set -euo pipefail
cd "$(dirname "$0")/.."

fresh=0
case "${1:-}" in
    "") ;;
    --fresh) fresh=1 ;;
    *) echo "usage: $0 [--fresh]" >&2; exit 2 ;;
esac

build_dir="${BUILD_DIR:-build}"
tool="$build_dir/tools/hazard-content"
if [ ! -x "$tool" ] || [ -n "${REBUILD:-}" ]; then
    # An existing build folder keeps its own generator.
    generator=(-G Ninja)
    [ -f "$build_dir/CMakeCache.txt" ] && generator=()
    cmake -S . -B "$build_dir" "${generator[@]}" >/dev/null
    cmake --build "$build_dir" --target hazard-content
fi

secrets=cmake/HazardSecrets.cmake
current() { sed -n "s/^set($1 \"\([0-9a-f]*\)\".*/\1/p" "$secrets"; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

bash demo/render-clips.sh "$work/clips"

options=()
if [ "$fresh" -eq 0 ]; then
    options=(--salt "$(current HAZARD_DB_SALT)"
             --password "$(current HAZARD_DB_PASSWORD)"
             --video-key "$(current HAZARD_VIDEO_KEY)")
fi
"$tool" build --replace "${options[@]}" "$work/clips/manifest.csv" demo/pack | tee "$work/values"

defines=()
for name in HAZARD_DB_SALT HAZARD_DB_DIGEST HAZARD_DB_PASSWORD HAZARD_VIDEO_KEY; do
    value="$(sed -n "s/^$name=\([0-9a-f]*\)$/\1/p" "$work/values")"
    [ -n "$value" ] || { echo "hazard-content printed no $name" >&2; exit 1; }
    sed -i "s/^set($name \"[0-9a-f]*\"/set($name \"$value\"/" "$secrets"
    [ "$(current "$name")" = "$value" ] || { echo "could not update $name in $secrets" >&2; exit 1; }
    defines+=("-D$name=$value")
done

"$tool" verify --salt "$(current HAZARD_DB_SALT)" --digest "$(current HAZARD_DB_DIGEST)" \
    --password "$(current HAZARD_DB_PASSWORD)" --video-key "$(current HAZARD_VIDEO_KEY)" demo/pack

echo
echo "Updated the defaults in $secrets. Build folders configured earlier keep"
echo "their cached values; reconfigure them with:"
echo "  cmake ${defines[*]} BUILD_DIR"
