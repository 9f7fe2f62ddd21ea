#!/usr/bin/env bash
# Takes the Windows program's pictures under Wine, to hold against Linux's in docs/ (scripts/docs_screenshots.sh):
# the main window a few seconds into a count with the default settings, the speaker's window on a second screen
# of 1280 x 1024 (at half size), the settings window, the main window made 500 x 400 (the two-line form), and the
# main window full screen (F11). The program is the portable zip's, unpacked into a Wine prefix of this script's.
#
# Wine finds its monitors through RandR, which gives Xvfb one output per screen, or else through Xinerama, whose
# screens Xvfb puts all at 0,0: two screens side by side come from Xephyr (xserver-xephyr) in an Xvfb, with Wine
# told to leave RandR alone.
# Usage: scripts/windows/screenshots.sh ZIP [OUTPUT-FOLDER, default dist/screenshots-windows]
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source-path=SCRIPTDIR source=../e2e_lib.sh
source "$root/scripts/e2e_lib.sh"

zip=${1:?usage: $0 ZIP [OUTPUT-FOLDER]}
out=${2:-$root/dist/screenshots-windows}
command -v Xephyr >/dev/null || { echo "Xephyr is not installed (apt-get install xserver-xephyr)" >&2; exit 1; }
mkdir -p "$out"
out=$(cd "$out" && pwd)

e2e_begin lectern-wine-shots
e2e_watchdog 180
trap 'e2e_fail "ran out of time"' TERM
unzip -q "$zip" -d "$E2E_DIR" || e2e_fail "could not unpack $zip"
app=$(echo "$E2E_DIR"/Lectern-*)

# The first display number an X server takes from -displayfd, waited for.
display_of() {
    e2e_wait_until 20 grep -q '^[0-9][0-9]*$' "$1" || e2e_fail "the X server of $1 did not start"
    echo ":$(head -1 "$1")"
}
Xvfb -displayfd 3 -screen 0 2600x1100x24 -nolisten tcp -noreset 3>"$E2E_DIR/host.fd" >/dev/null 2>&1 &
e2e_track $!
host=$(display_of "$E2E_DIR/host.fd")
DISPLAY=$host Xephyr -displayfd 3 -screen 1280x800 -screen 1280x1024 +xinerama -dpi 96 -nolisten tcp -noreset \
    3>"$E2E_DIR/screens.fd" >"$E2E_DIR/xephyr.log" 2>&1 &
e2e_track $!
DISPLAY=$(display_of "$E2E_DIR/screens.fd")
export DISPLAY
openbox --sm-disable >/dev/null 2>&1 &
e2e_track $!
e2e_wait_until 20 e2e_wm_ready || e2e_fail "openbox did not take $DISPLAY"

export WINEPREFIX=$E2E_DIR/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k </dev/null >/dev/null 2>&1; e2e_cleanup' EXIT
wineboot -i >"$E2E_DIR/wineboot.log" 2>&1 || e2e_fail "wineboot failed"
wine reg add 'HKCU\Software\Wine\X11 Driver' /v UseXRandR /t REG_SZ /d N /f >/dev/null 2>&1 ||
    e2e_fail "could not turn Wine's RandR off"
# Wine's desktop process, started with the prefix, counted the monitors already: started again, it counts anew.
wineserver -k </dev/null >/dev/null 2>&1
wineserver -w
wineserver -p </dev/null >/dev/null 2>&1

(cd "$app" && exec env SDL_AUDIODRIVER=dummy wine Lectern.exe) >"$E2E_DIR/app.log" 2>&1 &
e2e_track $!
# The first viewable window titled exactly $1, of any process.
titled() { e2e_window_titled "" "$1"; }
e2e_wait_until 60 titled Lectern >/dev/null || e2e_fail "no main window"
main=$(titled Lectern)
xdotool windowmove "$main" 40 40
sleep 3.2
import -frame -window "$main" "$out/windows-main.png" || e2e_fail "screenshot of the main window failed"

xdotool windowactivate --sync "$main" key d 2>/dev/null
e2e_wait_until 10 titled "Lectern（講演者用）" >/dev/null || e2e_fail "D opened no speaker's window"
speaker=$(titled "Lectern（講演者用）")
sleep 1
xdotool getwindowgeometry "$speaker" | sed 's/^/speaker: /'
import -window "$speaker" -resize 50% -depth 8 "$out/windows-speaker.png" || e2e_fail "screenshot of the speaker's window failed"
xdotool windowactivate --sync "$main" key d 2>/dev/null

xdotool mousemove --window "$main" 100 40 click 3
e2e_wait_until 10 titled 設定 >/dev/null || e2e_fail "no settings window"
dialog=$(titled 設定)
xdotool windowmove "$dialog" 40 240
sleep 0.5
import -frame -window "$dialog" "$out/windows-dialog.png" || e2e_fail "screenshot of the settings window failed"
wmctrl -i -c "$dialog"
e2e_wait_until 10 eval '! titled 設定 >/dev/null' || e2e_fail "the settings window did not close"

xdotool windowsize "$main" 500 400
sleep 1.5
import -frame -window "$main" "$out/windows-two-line.png" || e2e_fail "screenshot of the two-line form failed"

xdotool windowactivate --sync "$main" key F11 2>/dev/null
sleep 1.5
import -window "$main" -resize 50% "$out/windows-full-screen.png" || e2e_fail "screenshot of full screen failed"
wmctrl -i -c "$main"
e2e_wait_until 10 eval '! titled Lectern >/dev/null' || echo "the main window did not close" >&2
echo "wrote windows-main.png, windows-speaker.png, windows-dialog.png, windows-two-line.png and" \
    "windows-full-screen.png in $out"
