#!/usr/bin/env bash
# Builds one libFuzzer harness and runs it for a given time:
#   scripts/fuzz.sh <target> <seconds> [extra libFuzzer flags]
#   scripts/fuzz.sh list
# Targets: orv_file field3d_file grid_codec1 grid_codec3 entropy_decoder particle_channel channel_mappings
# frame_pattern text_conversion. The build lives in $FUZZ_BUILD_DIR (default build-fuzz); the
# growing corpus in <build>/corpus/<target>, seeded from the project's encoders and the reference
# frames; crashes land in <build>/crashes/<target>/. Runs under nice with the memory and time
# limits every harness must meet.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${FUZZ_BUILD_DIR:-$ROOT/build-fuzz}"
TARGETS="orv_file field3d_file grid_codec1 grid_codec3 entropy_decoder particle_channel channel_mappings frame_pattern text_conversion"

if [[ "${1:-}" == "list" ]]; then
  echo "$TARGETS"
  exit 0
fi
if [[ $# -lt 2 ]]; then
  echo "usage: $0 <target> <seconds> [libFuzzer flags] | $0 list" >&2
  exit 2
fi
TARGET="$1"
SECONDS_TO_RUN="$2"
shift 2
if [[ " $TARGETS " != *" $TARGET "* ]]; then
  echo "unknown target '$TARGET'; one of: $TARGETS" >&2
  exit 2
fi

if [[ ! -f "$BUILD/build.ninja" ]]; then
  CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -G Ninja -DORV_FUZZ=ON -DORV_BUILD_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
nice -n 10 ninja -C "$BUILD" -j2 "fuzz_$TARGET" orvfuzzseeds >/dev/null

CORPUS="$BUILD/corpus/$TARGET"
SEEDS="$BUILD/seeds"
CRASHES="$BUILD/crashes/$TARGET"
mkdir -p "$CORPUS" "$CRASHES"
"$BUILD/fuzz/orvfuzzseeds" "$SEEDS"
SEED_DIRS=()
[[ -d "$SEEDS/$TARGET" ]] && SEED_DIRS+=("$SEEDS/$TARGET")
if [[ "$TARGET" == "orv_file" ]]; then
  mkdir -p "$SEEDS/reference"
  cp -f "$ROOT"/tests/data/reference/*.orv "$SEEDS/reference/"
  SEED_DIRS+=("$SEEDS/reference")
fi
if [[ "$TARGET" == "field3d_file" ]]; then
  mkdir -p "$SEEDS/field3d"
  cp -f "$ROOT"/tests/data/field3d/*.f3d "$SEEDS/field3d/"
  SEED_DIRS+=("$SEEDS/field3d")
fi
# Inputs that once failed are seeds too: the fuzzer keeps exploring around them.
[[ -d "$ROOT/tests/data/regression/$TARGET" ]] && SEED_DIRS+=("$ROOT/tests/data/regression/$TARGET")

export ZORB_NUM_THREADS="${ZORB_NUM_THREADS:-1}"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$ROOT/tests/lsan-suppressions.txt}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
exec nice -n 10 "$BUILD/fuzz/fuzz_$TARGET" -max_total_time="$SECONDS_TO_RUN" -rss_limit_mb=2048 \
  -timeout=10 -max_len=131072 -print_final_stats=1 -artifact_prefix="$CRASHES/" "$@" "$CORPUS" \
  "${SEED_DIRS[@]}"
