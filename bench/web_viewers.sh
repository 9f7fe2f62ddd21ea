#!/usr/bin/env bash
# The browser view under load: Lectern on a private X server with SDL's disk audio, started with --serve, runs a
# talk of 1 + 0.5 minutes with the warning half a minute before the presentation's end, so in two minutes the
# count goes through all four phases with its bells at 30 s (one), 60 s (two) and 90 s (three). Meanwhile
# bench/web_load.py keeps 64 viewers on the loopback, checks that the 65th gets 503 and a wrong token 403, sends a
# few thousand malformed or oversized requests, and measures Lectern's CPU and resident memory; at the end it finds
# the bells in the sound and holds them against their places.
#
# Usage: bench/web_viewers.sh [--lectern PATH] [--seconds 120] [--fuzz 3000]
# Exit status 0 when every check passes, 1 when one fails.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source-path=SCRIPTDIR source=../scripts/e2e_lib.sh
source "$root/scripts/e2e_lib.sh"
# shellcheck source-path=SCRIPTDIR source=bench_lib.sh
source "$root/bench/bench_lib.sh"

lectern=$root/build/src/app/lectern
seconds=120
fuzz=3000
while [ $# -gt 0 ]; do
    case $1 in
    --lectern) lectern=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --fuzz) fuzz=$2; shift 2 ;;
    *) echo "usage: $0 [--lectern PATH] [--seconds 120] [--fuzz 3000]" >&2; exit 2 ;;
    esac
done

bench_begin lectern-web-bench "$((seconds + 120))" "$lectern"
bench_short_talk
e2e_start_x 1024x768
e2e_collect_audio
port=$((20000 + RANDOM % 20000))
E2E_APP_ARGS=("--serve=$port")
e2e_launch_app "${E2E_AUDIO_ENV[@]}"
state_answers() { curl -s -m 2 "http://127.0.0.1:$port/api/state" | grep -q elapsed; }
e2e_wait_until 10 state_answers || e2e_fail "no answer on port $port"
python3 "$root/bench/web_load.py" --port "$port" --pid "$E2E_APP_PID" --viewers 64 --seconds "$seconds" \
    --fuzz "$fuzz" --audio "$E2E_DIR/audio.raw" --bells 30,60,90
status=$?
kill -0 "$E2E_APP_PID" 2>/dev/null || e2e_fail "Lectern ended under the load"
exit $status
