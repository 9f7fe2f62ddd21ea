#!/usr/bin/env bash
# Builds the fuzz target of the chime files' decoder with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in a build folder of its own and runs it for the given number of seconds.
# libsndfile is the system's and not instrumented: the fuzzer's guidance sees the decoder's own code and the
# dictionary of format tokens, while AddressSanitizer still checks every byte libsndfile hands over.
#   scripts/fuzz_sound.sh [seconds=60] [build folder=build-fuzz] [extra libFuzzer options...]
# New inputs the fuzzer finds go to <build folder>/fuzz-corpus-sound; copy the ones worth keeping into
# tests/platform/fuzz/corpus, where every build replays them (test_sound_corpus). A crash leaves its input
# in <build folder>/fuzz-artifacts-sound.
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$root/build-fuzz}
shift $(( $# > 2 ? 2 : $# ))

# shellcheck source-path=SCRIPTDIR source=fuzz_lib.sh
source "$root/scripts/fuzz_lib.sh"
fuzz_build "$root" "$build" fuzz_sound_decoder

fuzz_dir=$root/tests/platform/fuzz
mkdir -p "$build/fuzz-corpus-sound" "$build/fuzz-artifacts-sound"
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
exec "$build/tests/platform/fuzz/fuzz_sound_decoder" \
    -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -max_len=16384 \
    -dict="$fuzz_dir/sound.dict" -artifact_prefix="$build/fuzz-artifacts-sound/" -print_final_stats=1 \
    "$@" "$build/fuzz-corpus-sound" "$fuzz_dir/corpus"
