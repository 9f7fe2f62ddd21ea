#!/usr/bin/env bash
# Two screens on a private X server (two RandR monitors side by side, which Qt takes for two screens):
#   - --full-screen fills the first screen; D opens the speaker's window full screen on the other, and since both
#     screens are of one size the two show the same pixels, paused (dimmed in step) as well as counting; a click
#     on it asks nothing; D closes it;
#   - taking its monitor away closes it and the program counts on; with one screen left D only says so in the
#     caption, for a few seconds;
#   - --screen=2 opens the main window on the second screen, and --speaker-screen the speaker's on the first;
#     --screen=3 says in one line that there is none and opens on the first.
#
# Usage: test_e2e_screens.sh PATH-TO-LECTERN. E2E_SLOWDOWN and E2E_KEEP_DIR as for test_e2e_count.sh.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=../../scripts/e2e_lib.sh
source "$here/../../scripts/e2e_lib.sh"

e2e_test_begin lectern-e2e-screens "${1:?usage: $0 PATH-TO-LECTERN}"
command -v xrandr >/dev/null || e2e_fail "xrandr is missing (scripts/setup.sh installs it)"
e2e_start_x 2048x768
second_monitor() { xrandr --setmonitor B 1024/270x768/203+1024+0 none >/dev/null; }
xrandr --setmonitor A 1024/270x768/203+0+0 screen >/dev/null && second_monitor || e2e_fail "xrandr --setmonitor failed"

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
# A shot of the whole X screen cut into its two screens, left.png and right.png; whether they show the same pixels.
shoot() {
    e2e_screenshot "$E2E_DIR/screen.png"
    convert "$E2E_DIR/screen.png" -crop 1024x768+0+0 +repage "$E2E_DIR/left.png"
    convert "$E2E_DIR/screen.png" -crop 1024x768+1024+0 +repage "$E2E_DIR/right.png"
}
alike() { [ "$(compare -metric AE "$E2E_DIR/left.png" "$E2E_DIR/right.png" null: 2>&1)" = 0 ]; }
# A shot may fall between the repaints of one second, so a few are taken before it counts as a difference.
screens_alike() {
    for _ in 1 2 3 4 5 6; do
        shoot
        alike && return 0
        sleep 0.3
    done
    return 1
}

E2E_APP_ARGS=(--full-screen)
e2e_launch_app SDL_AUDIODRIVER=dummy
e2e_wait_until 5 place_is "$E2E_MAIN" "0 0 1024 768" || e2e_fail "--full-screen: the main window is at $(place_of "$E2E_MAIN")"
press d
e2e_wait_until 5 speaker >/dev/null || e2e_fail "D opened no speaker's window"
e2e_wait_until 5 place_is "$(speaker)" "1024 0 1024 768" ||
    e2e_fail "the speaker's window is at $(place_of "$(speaker)"), not filling the second screen"
screens_alike || e2e_fail "the speaker's window shows other pixels than the main window (left.png, right.png)"
[ "$(e2e_region_colours "$E2E_DIR/right.png" 0 0 1024 384 | wc -l)" -gt 1 ] || e2e_fail "the speaker's window shows no text"
cp "$E2E_DIR/screen.png" "$E2E_DIR/two-screens.png"
press space
e2e_wait_until 3 title_is "Lectern（一時停止）" || e2e_fail "Space did not pause"
# Paused, the rows stand still and blink every half second: the speaker's blink in step, dimmed (no full cyan).
alike_shots=0 dimmed_shots=0
for _ in 1 2 3 4 5 6; do
    shoot
    alike && alike_shots=$((alike_shots + 1))
    e2e_region_colours "$E2E_DIR/right.png" 0 0 1024 768 | grep -q ' 00FFFF$' || dimmed_shots=$((dimmed_shots + 1))
    sleep 0.2
done
[ "$alike_shots" -ge 5 ] && [ "$dimmed_shots" -ge 1 ] ||
    e2e_fail "paused, $alike_shots of 6 shots alike, $dimmed_shots dimmed on the speaker's screen"
press space
e2e_log "the speaker's window fills the second screen and shows what the main window shows, paused or not"

xdotool mousemove 1500 200 click 1 2>/dev/null
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
on_second() { read -r x _ < <(place_of "$E2E_MAIN"); [ "$x" -ge 1024 ]; }
E2E_APP_ARGS=(--screen=2 --speaker-screen)
e2e_launch_app SDL_AUDIODRIVER=dummy
e2e_wait_until 3 on_second || e2e_fail "--screen=2: the main window is at $(place_of "$E2E_MAIN")"
e2e_wait_until 5 speaker >/dev/null && e2e_wait_until 5 place_is "$(speaker)" "0 0 1024 768" ||
    e2e_fail "--speaker-screen did not fill the first screen: $(e2e_describe_windows "$E2E_APP_PID")"
e2e_close_main_expect_exit
E2E_APP_ARGS=(--screen=3)
e2e_launch_app SDL_AUDIODRIVER=dummy
on_second && e2e_fail "--screen=3: the main window opened on the second screen"
[ "$(grep -c '^lectern: --screen=3: ' "$E2E_APP_LOG")" = 1 ] || e2e_fail "--screen=3 was not said in one line"
e2e_close_main_expect_exit
e2e_log "--screen=2 --speaker-screen open on the second and the first screen; --screen=3: $(cat "$E2E_APP_LOG")"
echo "PASS"
