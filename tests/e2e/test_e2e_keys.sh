#!/usr/bin/env bash
# The keys of the main window on a private X server, as a chair uses them:
#   - F11 fills the screen and the rows fill it; Escape gives back the size the window had;
#   - R asks to restart as a left click does, S shows the settings as a right click does, and the same keys with
#     Ctrl do nothing; Space pauses the count and goes on;
#   - T asks, and on OK plays the settings through as a rehearsal, captioned as one: its bells, counted in the
#     sound of SDL's disk driver, come in groups of one, two and three within 35 s, and then a fresh count starts.
#
# Usage: test_e2e_keys.sh PATH-TO-LECTERN. E2E_SLOWDOWN and E2E_KEEP_DIR as for test_e2e_count.sh.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=../../scripts/e2e_lib.sh
source "$here/../../scripts/e2e_lib.sh"

e2e_test_begin lectern-e2e-keys "${1:?usage: $0 PATH-TO-LECTERN}"
e2e_watchdog 110
app=$E2E_APP_DIR
sox -n -r 22050 -c 1 -b 16 -e signed-integer "$app/bell.wav" synth 0.15 sine 1000 vol 0.8 pad 0 0.3 ||
    e2e_fail "sox could not make the bell"
# A real talk of 10 + 5 minutes: the count itself rings no bell while the test runs; only the rehearsal does.
# Pair 1 is cyan on navy, pair 4 white on dark red.
e2e_write_ini "$app" "10,5,2,\"$app/bell.wav\"" '"講演の開始から",16776960,8388608' '"発表時間終了まで",65535,8388736' \
    '"質疑応答終了まで",65280,32768' '"講演時間の超過は",16777215,208' '#TRUE#,#FALSE#,#FALSE#'
e2e_collect_audio
e2e_start_x 1024x768

e2e_launch_app "${E2E_AUDIO_ENV[@]}"
main=$E2E_MAIN
read -r W H < <(e2e_window_size "$main")
press() { xdotool windowactivate --sync "$main" key --clearmodifiers "$1" 2>/dev/null; }
size_is() { [ "$(e2e_window_size "$main")" = "$1 $2" ]; }
# The most frequent colour of a region of the screen.
colour_at() { e2e_region_colours "$E2E_DIR/screen.png" "$@" | awk 'NR == 1 { print $2 }'; }

# Full screen.
press F11
e2e_wait_until 5 size_is 1024 768 || e2e_fail "F11 did not fill the screen: $(e2e_window_size "$main")"
sleep "$(e2e_scaled 0.5)"
e2e_screenshot "$E2E_DIR/screen.png"
cp "$E2E_DIR/screen.png" "$E2E_DIR/full-screen.png"
# Each row fills its half from edge to edge, and shows text in it.
[ "$(colour_at 4 4 40 40)" = 000080 ] && [ "$(colour_at 980 340 40 20)" = 000080 ] ||
    e2e_fail "the upper row does not fill the upper half of the screen"
[ "$(colour_at 4 400 40 40)" = 000080 ] && [ "$(colour_at 980 724 40 40)" = 000080 ] ||
    e2e_fail "the lower row does not fill the lower half of the screen"
[ "$(e2e_region_colours "$E2E_DIR/screen.png" 0 0 1024 384 | wc -l)" -gt 1 ] || e2e_fail "the upper row shows no text"
press Escape
e2e_wait_until 5 size_is "$W" "$H" || e2e_fail "Escape did not give back ${W}x${H}: $(e2e_window_size "$main")"
e2e_log "F11 filled the screen, Escape gave back ${W}x${H}"

# R and S as the mouse; with Ctrl, nothing.
prompt() { e2e_app_window Lectern "$main"; }
settings() { e2e_app_window 設定; }
press ctrl+r
press ctrl+s
sleep "$(e2e_scaled 1)"
prompt >/dev/null && e2e_fail "Ctrl+R asked to restart"
settings >/dev/null && e2e_fail "Ctrl+S showed the settings"
press r
e2e_wait_until 5 prompt >/dev/null || e2e_fail "R did not ask to restart"
xdotool windowactivate --sync "$(prompt)" key Escape 2>/dev/null
no_prompt() { ! prompt >/dev/null; }
e2e_wait_until 5 no_prompt || e2e_fail "Escape did not close the restart question"
press s
e2e_wait_until 5 settings >/dev/null || e2e_fail "S did not show the settings"
wmctrl -i -c "$(settings)"
no_settings() { ! settings >/dev/null; }
e2e_wait_until 5 no_settings || e2e_fail "the settings window did not close"
e2e_log "R asked to restart, S showed the settings, Ctrl+R and Ctrl+S did nothing"

# Space pauses, and says so in the caption; Space goes on.
title_is() { [ "$(xdotool getwindowname "$main" 2>/dev/null)" = "$1" ]; }
press space
e2e_wait_until 3 title_is "Lectern（一時停止）" || e2e_fail "Space did not pause: '$(xdotool getwindowname "$main")'"
press space
e2e_wait_until 3 title_is Lectern || e2e_fail "Space did not go on: '$(xdotool getwindowname "$main")'"
e2e_log "Space paused the count and went on"

# Rehearsal.
bytes_before=$(stat -c %s "$E2E_DIR/audio.raw")
t_start=$(e2e_elapsed)
press t
e2e_wait_until 5 prompt >/dev/null || e2e_fail "T did not ask whether to start a rehearsal"
xdotool windowactivate --sync "$(prompt)" key Return 2>/dev/null
e2e_wait_until 3 title_is "Lectern（リハーサル）" || e2e_fail "T started no rehearsal: '$(xdotool getwindowname "$main")'"
# The disk driver writes only while the output is open, so the bells are timed by when their bytes arrive.
: >"$E2E_DIR/arrivals.txt"
deadline=$(awk -v t="$t_start" -v s="$(e2e_scaled 35)" 'BEGIN { print t + s }')
until title_is Lectern; do
    echo "$(e2e_elapsed) $(stat -c %s "$E2E_DIR/audio.raw")" >>"$E2E_DIR/arrivals.txt"
    awk -v t="$(e2e_elapsed)" -v d="$deadline" 'BEGIN { exit !(t > d) }' && e2e_fail "the rehearsal did not end within 35 s"
    sleep 0.1
done
t_end=$(e2e_elapsed)
sleep "$(e2e_scaled 0.5)"
e2e_window_shot "$main" "$E2E_DIR/screen.png"
[ "$(colour_at 4 $((H / 2 + 4)) 20 10)" = 000080 ] || e2e_fail "after the rehearsal the lower row is not in pair 1"
# Bursts of sound after T, each timed by the first reading that saw its bytes, grouped where more than 1.5 s lie
# between one and the next.
tail -c +"$((bytes_before + 1))" "$E2E_DIR/audio.raw" | od -An -v -td2 -w2 | awk '
    { x = $1 < 0 ? -$1 : $1; i = NR - 1
      if (x > 300) { if (!on || i - last > 200) { if (on) print start; start = i; on = 1 } last = i } }
    END { if (on) print start }' >"$E2E_DIR/bells.txt"
groups=$(awk -v base="$bytes_before" 'NR == FNR { t[NR] = $1; b[NR] = $2; n = NR; next }
    { at = ""; for (i = 1; i <= n; i++) if (b[i] > base + 2 * $1) { at = t[i]; break }
      if (at == "") next
      if (k++ && at - prev > 1.5) { printf "%d ", m; m = 0 }
      m++; prev = at }
    END { printf "%d", m }' "$E2E_DIR/arrivals.txt" "$E2E_DIR/bells.txt")
[ "$groups" = "1 2 3" ] || e2e_fail "the rehearsal's bells came in groups '$groups', expected '1 2 3'"
e2e_log "rehearsal: bells $groups, over in $(awk -v a="$t_start" -v b="$t_end" 'BEGIN { print b - a }') s"
e2e_close_main_expect_exit
echo "PASS"
