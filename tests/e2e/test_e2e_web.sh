#!/usr/bin/env bash
# The browser view end to end: the program started with --serve, its windows read through the accessibility bus for
# the view's address and the control address, the page opened in headless Chromium and held against the main
# window (web_page.py), a short load of viewers and malformed requests on the loopback (bench/web_load.py), the
# server stopped and started with W while the page watches, a new token made; then the program started again, which
# takes the last token from its file.
#
# Usage: test_e2e_web.sh PATH-TO-LECTERN. E2E_SLOWDOWN and E2E_KEEP_DIR as for test_e2e_count.sh; the page's
# screenshot is kept in the work folder as page.png.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=../../scripts/e2e_lib.sh
source "$here/../../scripts/e2e_lib.sh"

e2e_test_begin lectern-e2e-web "${1:?usage: $0 PATH-TO-LECTERN}"
app=$E2E_APP_DIR
# A presentation of 10 minutes, so the phase changes only by the skip the test asks for.
e2e_write_ini "$app" '10,1,5,""' '"講演の開始から",16776960,0' '"発表時間終了まで",65535,0' '"質疑応答終了まで",65280,0' \
    '"講演時間の超過は",65535,208' '#TRUE#,#FALSE#,#FALSE#'
unset AT_SPI_BUS_ADDRESS
command -v chromium >/dev/null || e2e_fail "no chromium (scripts/setup.sh installs it)"
e2e_start_x 1024x768
e2e_start_a11y_bus

# A port away from the usual one; the program takes the next one when it is in use.
E2E_APP_ARGS=(--serve=$((20000 + RANDOM % 20000)))
e2e_launch_app SDL_AUDIODRIVER=dummy
e2e_log "main window $E2E_MAIN"
/usr/bin/python3 "$here/web_page.py" "$E2E_APP_PID" "$E2E_MAIN" "$E2E_DIR/page.png" \
    "$here/../../bench/web_load.py" "$E2E_DIR/control" || e2e_fail "the browser view failed a check"
kill -0 "$E2E_APP_PID" 2>/dev/null || e2e_fail "the program ended during the test"
e2e_close_main_expect_exit

# The token the phone has outlives the program.
read -r port token <"$E2E_DIR/control"
E2E_APP_ARGS=(--serve="$port")
e2e_launch_app SDL_AUDIODRIVER=dummy
checked() { [ "$(curl -s -o /dev/null -w '%{http_code}' -X POST -H "X-Lectern-Token: $token" \
    "http://127.0.0.1:$port/api/check")" = 204 ]; }
e2e_wait_until 10 checked || e2e_fail "the program started again does not take the token it had"
e2e_close_main_expect_exit
e2e_log "passed"
