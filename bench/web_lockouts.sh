#!/usr/bin/env bash
# The lockouts once seen on the browser view, repeated (bench/web_lockouts.py): Lectern on a private X server with
# SDL's disk audio, started with --serve, runs a talk whose warning bell rings 30 seconds in; meanwhile 30 phones
# load the page within 5 seconds, then 40 idle connections from one address crowd 63 viewers while a command with
# the token and the page from another address are asked for every 2 seconds, then the 64th viewer comes and the
# 65th is refused, and a few upgrades are broken off. Prints the checks and the figures; also checks that the
# program printed nothing meanwhile.
#
# Usage: bench/web_lockouts.sh [--lectern PATH]
# Exit status 0 when every check passes, 1 when one fails.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source-path=SCRIPTDIR source=../scripts/e2e_lib.sh
source "$root/scripts/e2e_lib.sh"
# shellcheck source-path=SCRIPTDIR source=bench_lib.sh
source "$root/bench/bench_lib.sh"

lectern=$root/build/src/app/lectern
[ "${1:-}" = --lectern ] && lectern=$2
bench_begin lectern-web-lockouts 180 "$lectern"
bench_short_talk
e2e_start_x 1024x768
e2e_collect_audio
port=$((20000 + RANDOM % 20000))
E2E_APP_ARGS=("--serve=$port")
e2e_launch_app "${E2E_AUDIO_ENV[@]}"
token_kept() { [ -s "$app/control-token" ]; }
e2e_wait_until 10 token_kept || e2e_fail "no control token beside the program"
python3 "$root/bench/web_lockouts.py" --port "$port" --pid "$E2E_APP_PID" --token "$(cat "$app/control-token")" \
    --audio "$E2E_DIR/audio.raw" --bell 30
status=$?
kill -0 "$E2E_APP_PID" 2>/dev/null || e2e_fail "Lectern ended under the load"
# SDL's disk driver says what it is in two lines of its own.
if grep -v -e 'SDL disk i/o audio driver' -e 'Writing to file' "$E2E_APP_LOG" >"$E2E_DIR/printed"; then
    echo "FAIL  the program printed:" && head -5 "$E2E_DIR/printed"
    status=1
else
    echo "ok    the program printed nothing"
fi
exit $status
