#!/usr/bin/env bash
# The command socket under a flood: Lectern on a private X server with SDL's disk audio, its descriptors limited as
# on a desktop (prlimit --nofile=1024), runs a talk of 1 + 0.5 minutes whose warning bell rings as the display turns
# to 30 s (29.5 s into the count). From 3 s on
# bench/socket_flood.py holds CONNECTIONS silent connections to the socket (those the program closes are opened
# again once a second), and meanwhile measures the program's CPU and open descriptors, finds the bell in the sound
# and holds it against its place, and at 33 s times `lectern --pause` from another shell and the caption that
# shows the pause. Loopback and the user's own socket only; every loop is bounded and the script ends by itself.
#
# Usage: bench/command_socket_flood.sh [--lectern PATH] [--connections 1100] [--seconds 40]
# Exit status 0 when the pause arrived, the bell came on time and the program stayed under a tenth of a core.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source-path=SCRIPTDIR source=../scripts/e2e_lib.sh
source "$root/scripts/e2e_lib.sh"
# shellcheck source-path=SCRIPTDIR source=bench_lib.sh
source "$root/bench/bench_lib.sh"

lectern=$root/build/src/app/lectern
connections=1100
seconds=40
while [ $# -gt 0 ]; do
    case $1 in
    --lectern) lectern=$2; shift 2 ;;
    --connections) connections=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    *) echo "usage: $0 [--lectern PATH] [--connections 1100] [--seconds 40]" >&2; exit 2 ;;
    esac
done
[ "$seconds" -ge 36 ] || { echo "--seconds: 36 at least (the bell at 30 s, the pause at 33 s)" >&2; exit 2; }

bench_begin lectern-socket-flood "$((seconds + 60))" "$lectern"
bench_short_talk
e2e_start_x 1024x768
e2e_collect_audio
e2e_launch_app "${E2E_AUDIO_ENV[@]}"
# The count starts as the window is shown, within the poll of e2e_launch_app (50 ms).
count_start=$(e2e_now)
prlimit --pid "$E2E_APP_PID" --nofile=1024:1024 || e2e_fail "prlimit could not limit the program's descriptors"
sockets=("$XDG_RUNTIME_DIR"/lectern-*.socket)
socket=${sockets[0]}
[ -S "$socket" ] || e2e_fail "no command socket in $XDG_RUNTIME_DIR"
python3 "$root/bench/socket_flood.py" --socket "$socket" --pid "$E2E_APP_PID" --window "$E2E_MAIN" \
    --app-dir "$app" --count-start "$count_start" --connections "$connections" --seconds "$seconds" \
    --audio "$E2E_DIR/audio.raw" --bell 29.5
status=$?
kill -0 "$E2E_APP_PID" 2>/dev/null || e2e_fail "Lectern ended under the flood"
exit $status
