#!/usr/bin/env bash
# Builds the settings-file reader's fuzz target with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# in a build folder of its own and runs it for the given number of seconds.
#   scripts/fuzz_settings.sh [seconds=60] [build folder=build-fuzz] [extra libFuzzer options...]
# New inputs the fuzzer finds go to <build folder>/fuzz-corpus; copy the ones worth keeping into
# tests/settings/fuzz/corpus, where every build replays them (test_settings_corpus). A crash leaves its input
# in <build folder>/fuzz-artifacts.
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$root/build-fuzz}
shift $(( $# > 2 ? 2 : $# ))

sanitizers="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_C_FLAGS="$sanitizers" -DCMAKE_CXX_FLAGS="$sanitizers" \
    -DLECTERN_FUZZ=ON >/dev/null
cmake --build "$build" -j2 --target fuzz_settings_reader

fuzz_dir=$root/tests/settings/fuzz
mkdir -p "$build/fuzz-corpus" "$build/fuzz-artifacts"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
exec "$build/tests/settings/fuzz/fuzz_settings_reader" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
    -dict="$fuzz_dir/settings.dict" -artifact_prefix="$build/fuzz-artifacts/" -print_final_stats=1 \
    "$@" "$build/fuzz-corpus" "$fuzz_dir/corpus"
