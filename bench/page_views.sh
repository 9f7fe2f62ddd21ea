#!/usr/bin/env bash
# The browser page as its readers see it: Lectern on a private X server, started with --serve, its page opened with
# the control token in headless Chromium (bench/page_views.py) at a phone's, a tablet's and a laptop's sizes, in the
# presentation, paused and in the overtime, with a screenshot of each; and the page's weight and its time to first
# paint, on this machine's CPU and on one slowed four times, as an old phone's.
#
# Usage: bench/page_views.sh [--lectern PATH] [--shots FOLDER]
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source-path=SCRIPTDIR source=../scripts/e2e_lib.sh
source "$root/scripts/e2e_lib.sh"
# shellcheck source-path=SCRIPTDIR source=bench_lib.sh
source "$root/bench/bench_lib.sh"

lectern=$root/build/src/app/lectern
shots=$PWD/page-views
while [ $# -gt 0 ]; do
    case $1 in
    --lectern) lectern=$2; shift 2 ;;
    --shots) shots=$2; shift 2 ;;
    *) echo "usage: $0 [--lectern PATH] [--shots FOLDER]" >&2; exit 2 ;;
    esac
done

bench_begin lectern-page-bench 180 "$lectern"
mkdir -p "$shots"
e2e_write_ini "$app" '10,1,5,""' '"講演の開始から",16776960,8388608' '"発表時間終了まで",16776960,8388608' \
    '"質疑応答終了まで",65280,0' '"講演時間の超過は",65535,208' '#TRUE#,#FALSE#,#FALSE#'
e2e_start_x 1024x768
port=$((20000 + RANDOM % 20000))
E2E_APP_ARGS=("--serve=$port")
e2e_launch_app SDL_AUDIODRIVER=dummy
token_file() { find "$E2E_DIR" -name control-token -size +0 2>/dev/null | head -1; }
e2e_wait_until 10 token_file >/dev/null || e2e_fail "no control token written"
/usr/bin/python3 "$root/bench/page_views.py" "$port" "$(cat "$(token_file)")" "$shots"
status=$?
e2e_close_main_expect_exit
exit $status
