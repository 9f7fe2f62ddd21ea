#!/usr/bin/env bash
# Takes the README's pictures of the real program on a private X server, with its frame as openbox draws it:
# the main window a few seconds into a count with the default settings, the settings window opened by a right
# press, and the main window made 500 x 400 pixels, where the rows are written in the two-line form (at 96 dpi
# that is 375 x 300 points: two lines of 40.7 points against one line of 29); and the speaker's window on a second
# screen of 1280 x 1024 (two RandR monitors), shown at half size.
# Usage: scripts/docs_screenshots.sh [PATH-TO-LECTERN] [OUTPUT-FOLDER, default docs]
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source-path=SCRIPTDIR source=e2e_lib.sh
source "$root/scripts/e2e_lib.sh"

binary=${1:-$root/build/src/app/lectern}
out=${2:-$root/docs}
[ -x "$binary" ] || { echo "not an executable: $binary (build first, or name it)" >&2; exit 1; }
mkdir -p "$out"

e2e_begin lectern-docs
e2e_watchdog 60
trap 'e2e_fail "ran out of time"' TERM
mkdir -p "$E2E_DIR/app"
cp "$binary" "$E2E_DIR/app/lectern"
e2e_start_x 2304x1024
xrandr --setmonitor A 1024/271x1024/271+0+0 screen >/dev/null &&
    xrandr --setmonitor B 1280/338x1024/271+1024+0 none >/dev/null || e2e_fail "xrandr --setmonitor failed"

E2E_APP_LOG=$E2E_DIR/app.log
(cd "$E2E_DIR/app" && exec env -u QT_QPA_PLATFORM LANG=C.UTF-8 LC_ALL=C.UTF-8 SDL_AUDIODRIVER=dummy ./lectern) \
    >"$E2E_APP_LOG" 2>&1 &
E2E_APP_PID=$!
e2e_track $E2E_APP_PID

main_window() { e2e_window_titled "$E2E_APP_PID" Lectern; }
e2e_wait_until 20 main_window >/dev/null || e2e_fail "no main window"
main=$(main_window)
xdotool windowmove "$main" 40 40
sleep 3.2
import -frame -window "$main" "$out/screenshot-main.png" || e2e_fail "screenshot of the main window failed"

speaker() { e2e_window_titled "$E2E_APP_PID" "Lectern（講演者用）"; }
xdotool windowactivate --sync "$main" key d 2>/dev/null
e2e_wait_until 5 speaker >/dev/null || e2e_fail "no speaker's window"
sleep 1
import -window "$(speaker)" -resize 50% -depth 8 "$out/screenshot-speaker.png" || e2e_fail "screenshot of the speaker's window failed"
xdotool windowactivate --sync "$main" key d 2>/dev/null

settings() { e2e_window_titled "$E2E_APP_PID" 設定; }
xdotool mousemove --window "$main" 100 40 click 3
e2e_wait_until 5 settings >/dev/null || e2e_fail "no settings window"
dialog=$(settings)
xdotool windowmove "$dialog" 40 240
xdotool windowactivate --sync "$dialog" 2>/dev/null
sleep 0.5
import -frame -window "$dialog" "$out/screenshot-dialog.png" || e2e_fail "screenshot of the settings window failed"

# Closing the settings window through its frame hides it as Cancel does; the count runs on.
wmctrl -i -c "$dialog"
e2e_wait_until 5 eval '! settings >/dev/null' || e2e_fail "the settings window did not close"
xdotool windowsize "$main" 500 400
two_line_size() { [ "$(e2e_window_size "$main")" = "500 400" ]; }
e2e_wait_until 5 two_line_size || e2e_fail "the main window did not take the size 500x400"
# The rows change form at the next tick that rewrites them, within a second of the resize.
sleep 1.5
import -frame -window "$main" "$out/screenshot-two-line.png" || e2e_fail "screenshot of the two-line form failed"

wmctrl -i -c "$main"
echo "wrote $out/screenshot-main.png, $out/screenshot-speaker.png, $out/screenshot-dialog.png and" \
    "$out/screenshot-two-line.png; bench/page_views.sh takes the page's (screenshot-phone.png is its 390x844 one)"
