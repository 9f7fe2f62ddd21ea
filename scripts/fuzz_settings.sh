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

# shellcheck source-path=SCRIPTDIR source=fuzz_lib.sh
source "$root/scripts/fuzz_lib.sh"
fuzz_build "$root" "$build" fuzz_settings_reader

fuzz_dir=$root/tests/settings/fuzz
mkdir -p "$build/fuzz-corpus" "$build/fuzz-artifacts"
exec "$build/tests/settings/fuzz/fuzz_settings_reader" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
    -dict="$fuzz_dir/settings.dict" -artifact_prefix="$build/fuzz-artifacts/" -print_final_stats=1 \
    "$@" "$build/fuzz-corpus" "$fuzz_dir/corpus"
