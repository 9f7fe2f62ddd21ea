#!/usr/bin/env bash
# The real program read as a screen reader reads it: on a private X server, with a private session bus and the
# accessibility bus of at-spi2-core, announced as enabled the way a desktop does when a screen reader starts.
# a11y_rows.py then finds the program on the bus and reads its two rows through AT-SPI at two moments a second
# apart, in the two-line form, and minimised (the frame named by the caption that then shows the time).
#
# Usage: test_e2e_a11y.sh PATH-TO-LECTERN. E2E_SLOWDOWN and E2E_KEEP_DIR as for test_e2e_count.sh; the accessible
# tree as found is kept in the work folder as a11y-tree.txt.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=../../scripts/e2e_lib.sh
source "$here/../../scripts/e2e_lib.sh"

e2e_test_begin lectern-e2e-a11y "${1:?usage: $0 PATH-TO-LECTERN}"
app=$E2E_APP_DIR
# A presentation of 10 minutes: the lower row counts it down for the whole test.
e2e_write_ini "$app" '10,1,5,""' '"講演の開始から",16776960,0' '"発表時間終了まで",65535,0' '"質疑応答終了まで",65280,0' \
    '"講演時間の超過は",65535,208' '#TRUE#,#FALSE#,#FALSE#'
unset AT_SPI_BUS_ADDRESS
e2e_start_x 1024x768

# The system's python, which has pyatspi, whatever python comes first on the path.
python=/usr/bin/python3
$python -c 'import pyatspi' 2>/dev/null || e2e_fail "$python cannot import pyatspi (scripts/setup.sh installs it)"

e2e_start_a11y_bus

e2e_launch_app SDL_AUDIODRIVER=dummy
e2e_log "main window $E2E_MAIN"
if ! $python "$here/a11y_rows.py" "$E2E_APP_PID" "$E2E_MAIN" 講演の開始から 発表時間終了まで 600 "$E2E_DIR/a11y-tree.txt"; then
    [ -s "$E2E_DIR/a11y-tree.txt" ] && { echo "accessible tree at the start:" >&2; cat "$E2E_DIR/a11y-tree.txt" >&2; }
    e2e_fail "the rows did not read as they should through AT-SPI"
fi
echo "accessible tree at the start:" >&2
sed 's/^/  /' "$E2E_DIR/a11y-tree.txt" >&2

e2e_close_main_expect_exit
e2e_log "closed: status 0"
