#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build/fuzz (FUZZ_BUILD overrides
# it, so that several work trees can fuzz side by side) and runs each one for
# a bounded time (FUZZ_SECONDS, default 30) from a scratch copy of its seed
# corpus. New corpus entries, crash files and pushed files stay in a temporary
# folder; the source tree is never written to. Fails when a target crashes or
# breaks one of its checks; the crashing input is kept in build/fuzz/artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_PER_TARGET="${FUZZ_SECONDS:-30}"
JOBS="${JOBS:-$(nproc)}"
TARGETS=(fuzz_parse fuzz_reassembly_plain fuzz_reassembly_encrypted)
BUILD="${FUZZ_BUILD:-build/fuzz}"

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DHAZARD_BUILD_FUZZ=ON -DHAZARD_BUILD_TESTS=OFF -DHAZARD_BUILD_BENCH=OFF
cmake --build "$BUILD" -j "$JOBS" --target "${TARGETS[@]}"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
failed=0
for target in "${TARGETS[@]}"; do
    work="$scratch/$target"
    mkdir -p "$work/corpus" "$work/artifacts" "$work/tmp"
    cp fuzz/corpus/"$target"/* "$work/corpus/"
    echo "== $target (${SECONDS_PER_TARGET}s)"
    # The targets change into a folder under TMPDIR, so every path given to
    # libFuzzer is absolute.
    if ! TMPDIR="$work/tmp" \
         ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" \
         UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
         LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp:print_suppressions=0" \
         "$BUILD/fuzz/$target" "$work/corpus" \
            -max_total_time="$SECONDS_PER_TARGET" -timeout=10 -rss_limit_mb=2048 \
            -max_len=70000 -print_final_stats=1 \
            -artifact_prefix="$work/artifacts/" >"$work/log" 2>&1; then
        failed=1
        mkdir -p "$BUILD/artifacts"
        cp "$work"/artifacts/* "$BUILD/artifacts/" 2>/dev/null || true
        tail -n 40 "$work/log"
        echo "== $target FAILED; inputs kept in $BUILD/artifacts"
    else
        grep -E '^stat::number_of_executed_units|^Done' "$work/log" || true
    fi
done
exit "$failed"
