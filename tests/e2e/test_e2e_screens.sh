#!/usr/bin/env bash
# Two screens on a private X server (two RandR monitors side by side, 1920x1080 and 1280x1024, which Qt takes for
# two screens):
#   - --full-screen fills the first screen; D opens the speaker's window full screen on the other, in the phase's
#     background with the time left at least half its height, and, paused, 一時停止 across it in the digits' colour
#     with the digits dimmed; a click on it asks nothing; D closes it;
#   - taking its monitor away closes it and the program counts on; with one screen left D only says so in the
#     caption, for a few seconds;
#   - --screen=2 opens the main window on the second screen, and --speaker-screen the speaker's on the first, where
#     it reads as on the other;
#     --screen=3 says in one line that there is none and opens on the first.
#
# Usage: test_e2e_screens.sh PATH-TO-LECTERN. E2E_SLOWDOWN and E2E_KEEP_DIR as for test_e2e_count.sh.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=../../scripts/e2e_lib.sh
source "$here/../../scripts/e2e_lib.sh"

e2e_test_begin lectern-e2e-screens "${1:?usage: $0 PATH-TO-LECTERN}"
command -v xrandr >/dev/null || e2e_fail "xrandr is missing (scripts/setup.sh installs it)"
# Colour pair 1 cyan on navy.
e2e_write_ini "$E2E_APP_DIR" '10,1,5,""' '"講演の開始から",16776960,8388608' '"発表時間終了まで",16776960,8388608' \
    '"質疑応答終了まで",65280,0' '"講演時間の超過は",65535,208' '#TRUE#,#FALSE#,#FALSE#'
e2e_start_x 3200x1080
second_monitor() { xrandr --setmonitor B 1280/338x1024/271+1920+0 none >/dev/null; }
xrandr --setmonitor A 1920/508x1080/286+0+0 screen >/dev/null && second_monitor || e2e_fail "xrandr --setmonitor failed"

speaker() { e2e_app_window "Lectern（講演者用）"; }
no_speaker() { ! speaker >/dev/null; }
# Left edge, top edge, width and height of a window's inner area on the whole X screen.
place_of() {
    xwininfo -id "$1" 2>/dev/null | awk '/Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 }
        /^  Width:/ { w = $2 } /^  Height:/ { h = $2 } END { print x, y, w, h }'
}
place_is() { [ "$(place_of "$1")" = "$2" ]; }
press() { xdotool windowactivate --sync "$E2E_MAIN" key --clearmodifiers "$1" 2>/dev/null; }
title_is() { [ "$(xdotool getwindowname "$E2E_MAIN" 2>/dev/null)" = "$1" ]; }
# face X Y W H: the speaker's window at that place on the X screen, cut out of a shot as face.png.
face() {
    e2e_screenshot "$E2E_DIR/screen.png"
    convert "$E2E_DIR/screen.png" -crop "${3}x${4}+${1}+${2}" +repage "$E2E_DIR/face.png"
}
# How many lines of pixels hold the digits' colour (cyan) between the heading and the time since the start.
cyan_height() {
    local h
    h=$(identify -format %h "$E2E_DIR/face.png")
    convert "$E2E_DIR/face.png" -crop "x$((h * 3 / 4))+0+$((h / 8))" +repage -fill black +opaque '#00FFFF' \
        -fill white -opaque '#00FFFF' -scale "1x$((h * 3 / 4))!" txt:- 2>/dev/null | grep -v '^#' | grep -vc '#000000'
}
corner_is() { [ "$(e2e_region_colours "$E2E_DIR/face.png" 2 2 4 4 | awk '{ print $2 }')" = "$1" ]; }
# reads_well X Y W H: the phase's navy fills it and the digits are at least half its height; paused, only the
# word across them keeps the whole cyan (the digits dimmed), in less than a third of the height.
reads_well() {
    face "$@"
    corner_is 000080 || e2e_fail "the speaker's window at $3x$4 is not in the phase's background (face.png)"
    [ "$(cyan_height)" -ge $(($4 / 2)) ] ||
        e2e_fail "the speaker's digits are $(cyan_height) px high at $3x$4 (face.png)"
    press space
    e2e_wait_until 3 title_is "Lectern（一時停止）" || e2e_fail "Space did not pause"
    sleep "$(e2e_scaled 0.3)"
    face "$@"
    local paused
    paused=$(cyan_height)
    [ "${paused:-0}" -gt $(($4 / 20)) ] && [ "$paused" -lt $(($4 / 3)) ] ||
        e2e_fail "paused at $3x$4, the whole cyan is $paused px high, not a word across dimmed digits (face.png)"
    cp "$E2E_DIR/face.png" "$E2E_DIR/paused-$3x$4.png"
    press space
}

E2E_APP_ARGS=(--full-screen)
e2e_launch_app SDL_AUDIODRIVER=dummy
e2e_wait_until 5 place_is "$E2E_MAIN" "0 0 1920 1080" || e2e_fail "--full-screen: the main window is at $(place_of "$E2E_MAIN")"
press d
e2e_wait_until 5 speaker >/dev/null || e2e_fail "D opened no speaker's window"
e2e_wait_until 5 place_is "$(speaker)" "1920 0 1280 1024" ||
    e2e_fail "the speaker's window is at $(place_of "$(speaker)"), not filling the second screen"
reads_well 1920 0 1280 1024
cp "$E2E_DIR/screen.png" "$E2E_DIR/two-screens.png"
e2e_log "the speaker's window fills the second screen and reads from afar, paused or not"

xdotool mousemove 2500 200 click 1 2>/dev/null
sleep "$(e2e_scaled 1)"
e2e_app_window Lectern "$E2E_MAIN" >/dev/null && e2e_fail "a click on the speaker's window asked something"
press d
e2e_wait_until 5 no_speaker || e2e_fail "D did not close the speaker's window"
press d
e2e_wait_until 5 speaker >/dev/null || e2e_fail "D did not open the speaker's window again"
xrandr --delmonitor B >/dev/null || e2e_fail "xrandr --delmonitor failed"
e2e_wait_until 5 no_speaker || e2e_fail "the speaker's window stayed when its screen went"
kill -0 "$E2E_APP_PID" 2>/dev/null || e2e_fail "the program ended when the speaker's screen went"
press d
e2e_wait_until 3 title_is "Lectern（2台目の画面がありません）" ||
    e2e_fail "with one screen D said '$(xdotool getwindowname "$E2E_MAIN")'"
no_speaker || e2e_fail "with one screen D opened a window"
e2e_wait_until 8 title_is Lectern || e2e_fail "the notice stayed in the caption"
e2e_log "D closes it, unplugging closes it, and with one screen D only says so"
e2e_close_main_expect_exit

second_monitor || e2e_fail "xrandr --setmonitor failed"
on_second() { read -r x _ < <(place_of "$E2E_MAIN"); [ "$x" -ge 1920 ]; }
E2E_APP_ARGS=(--screen=2 --speaker-screen)
e2e_launch_app SDL_AUDIODRIVER=dummy
e2e_wait_until 3 on_second || e2e_fail "--screen=2: the main window is at $(place_of "$E2E_MAIN")"
e2e_wait_until 5 speaker >/dev/null && e2e_wait_until 5 place_is "$(speaker)" "0 0 1920 1080" ||
    e2e_fail "--speaker-screen did not fill the first screen: $(e2e_describe_windows "$E2E_APP_PID")"
reads_well 0 0 1920 1080
e2e_close_main_expect_exit
E2E_APP_ARGS=(--screen=3)
e2e_launch_app SDL_AUDIODRIVER=dummy
on_second && e2e_fail "--screen=3: the main window opened on the second screen"
[ "$(grep -c '^lectern: --screen=3: ' "$E2E_APP_LOG")" = 1 ] || e2e_fail "--screen=3 was not said in one line"
e2e_close_main_expect_exit
e2e_log "--screen=2 --speaker-screen open on the second and the first screen; --screen=3: $(cat "$E2E_APP_LOG")"
echo "PASS"
