# shellcheck shell=bash
# Shared by the fuzz scripts: a clang build with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer in a
# build folder of its own. Source it, then call fuzz_build ROOT BUILD-FOLDER TARGET.

fuzz_build() {
    local root=$1 build=$2 target=$3
    local sanitizers="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_C_FLAGS="$sanitizers" -DCMAKE_CXX_FLAGS="$sanitizers" \
        -DLECTERN_FUZZ=ON >/dev/null
    cmake --build "$build" -j2 --target "$target"
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
}
