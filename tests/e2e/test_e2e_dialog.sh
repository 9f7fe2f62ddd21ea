#!/usr/bin/env bash
# The settings window of the real program driven with keyboard and mouse on a private X server:
#   - it opens on a right press with the presentation field focused; a new time typed there and "設定変更のみ"
#     hide the window and write Lectern.ini, byte for byte what the program's format says;
#   - a warning time larger than the presentation time brings up "時間指定エラー", Return dismisses it, the window
#     stays and the file is untouched;
#   - "Cancel" puts back the confirmed times: confirming again right after it writes the same file (a warning time
#     left at its rejected value would bring the error back, factory times would change the file);
#   - Escape and Return in a field press no button; closing the window through its frame acts as Cancel;
#   - 試聴 plays the file the field names (the sound reaches SDL's disk output) and, for a missing file or a text
#     file named .wav, shows a box titled 試聴 saying why;
#   - closing the main window ends the program and leaves the file as last confirmed; so does SIGTERM over each box.
# The fields cannot be read back from the screen, so what is checked is what the user can tell apart: windows
# shown and hidden, and the file's bytes.
#
# Usage: test_e2e_dialog.sh PATH-TO-LECTERN. E2E_SLOWDOWN and E2E_KEEP_DIR as for test_e2e_count.sh.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=../../scripts/e2e_lib.sh
source "$here/../../scripts/e2e_lib.sh"

e2e_test_begin lectern-e2e-dialog "${1:?usage: $0 PATH-TO-LECTERN}"
app=$E2E_APP_DIR

# Everything but the times differs from the defaults, so a writer that drops or mangles a field shows; the wave
# path has a space and Japanese letters (it need not exist: a missing bell is silent).
wave="$app/チャイム 1.wav"
rest=('"始まってから",16777215,8388608' '"発表の残り",65535,32768' '"質疑の残り",65280,128' '"超過",255,65535'
    '#FALSE#,#FALSE#,#TRUE#')
e2e_write_ini "$app" "10,5,2,\"$wave\"" "${rest[@]}"
# The file as the program must write it after a confirmation of presentation 12.50 (stored as 12.5), 5 and 2.
e2e_write_ini "$E2E_DIR" "12.5,5,2,\"$wave\"" "${rest[@]}"
mv "$E2E_DIR/Lectern.ini" "$E2E_DIR/expected.ini"

e2e_collect_audio
sox -n -r 22050 -c 1 -b 16 -e signed-integer "$app/check.wav" synth 0.3 sine 660 vol 0.8 ||
    e2e_fail "sox could not make the sound"
echo "not a sound" >"$app/notes.wav"

e2e_start_x 1024x768

e2e_launch_app "${E2E_AUDIO_ENV[@]}"
main=$E2E_MAIN
read -r MW MH < <(e2e_window_size "$main")

settings() { e2e_app_window 設定; }
no_settings() { ! settings >/dev/null; }
error_box() { e2e_app_window 時間指定エラー; }
no_error_box() { ! error_box >/dev/null; }

open_settings() {
    xdotool mousemove --window "$main" $((MW / 2)) $((MH / 2)) click 3
    e2e_wait_until 5 settings >/dev/null || e2e_fail "a right press opened no window titled 設定 ($1)"
    dialog=$(settings)
    read -r DW DH < <(e2e_window_size "$dialog")
    xdotool windowactivate --sync "$dialog" 2>/dev/null
    sleep "$(e2e_scaled 0.3)"
}

# Clicks the centre of a control given by its place in the dialog's design (twips: left top width height),
# scaled to the window's actual size, so the test holds at any screen resolution.
click_control() {
    local x y
    x=$(awk -v l="$1" -v w="$3" -v W="$DW" 'BEGIN { printf "%d", (l + w / 2) * W / 6780 }')
    y=$(awk -v t="$2" -v h="$4" -v H="$DH" 'BEGIN { printf "%d", (t + h / 2) * H / 4710 }')
    xdotool mousemove --window "$dialog" "$x" "$y" click 1
    sleep "$(e2e_scaled 0.2)"
}
presenPeriod=(2040 2400 495 270)
warnBefore=(2280 2760 495 270)
okBtn=(3360 4080 1215 495)
wavefile=(3720 1080 2415 270)
playBtn=(5760 780 855 285)
clBtn=(5280 4080 975 495)

# Replaces the text of the focused field.
type_text() {
    xdotool key ctrl+a
    xdotool type --delay 30 "$1"
    sleep "$(e2e_scaled 0.2)"
}

file_is() { cmp -s "$app/Lectern.ini" "$1"; }
show_file() {
    echo "Lectern.ini now (CP932 shown as UTF-8, CR shown as \\r):" >&2
    iconv -f CP932 -t UTF-8 "$app/Lectern.ini" | sed 's/\r$/\\r/; s/^/  /' >&2
    echo "expected:" >&2
    iconv -f CP932 -t UTF-8 "$1" | sed 's/\r$/\\r/; s/^/  /' >&2
}
expect_file() {
    file_is "$1" || { show_file "$1"; e2e_fail "$2"; }
}
cp "$app/Lectern.ini" "$E2E_DIR/start.ini"

# 1. First opening: the presentation field has the focus; type 12.50 and apply only.
settings >/dev/null && e2e_fail "the settings window was shown before any right press"
open_settings "first"
e2e_log "settings window $dialog, ${DW}x${DH}"
e2e_screenshot "$E2E_DIR/1-opened.png"
# What the window asks of the window manager: a fixed size (least = most = its size), no maximising, and no owner,
# so that either window can be in front of the other.
xprop -id "$dialog" WM_NORMAL_HINTS _NET_WM_ALLOWED_ACTIONS WM_TRANSIENT_FOR >"$E2E_DIR/dialog-props.txt" 2>&1
grep -q "minimum size: $DW by $DH" "$E2E_DIR/dialog-props.txt" &&
    grep -q "maximum size: $DW by $DH" "$E2E_DIR/dialog-props.txt" ||
    { cat "$E2E_DIR/dialog-props.txt" >&2; e2e_fail "the settings window is not of fixed size ${DW}x${DH}"; }
grep -q -E '_NET_WM_ACTION_(MAXIMIZE|RESIZE)' "$E2E_DIR/dialog-props.txt" &&
    { cat "$E2E_DIR/dialog-props.txt" >&2; e2e_fail "the window manager may resize or maximise the settings window"; }
grep -q 'WM_TRANSIENT_FOR:  not found' "$E2E_DIR/dialog-props.txt" ||
    { cat "$E2E_DIR/dialog-props.txt" >&2; e2e_fail "the settings window is owned by another window"; }
type_text 12.50
e2e_screenshot "$E2E_DIR/1-typed.png"
click_control "${okBtn[@]}"
e2e_wait_until 5 no_settings || e2e_fail "設定変更のみ with valid times did not hide the settings window"
e2e_wait_until 3 file_is "$E2E_DIR/expected.ini" ||
    { show_file "$E2E_DIR/expected.ini"; e2e_fail "設定変更のみ did not write the expected Lectern.ini"; }
e2e_log "confirmed 12.50: Lectern.ini as expected"

# 2. A warning time longer than the presentation time (and a new presentation time): rejected with the message.
open_settings "after a confirmation"
click_control "${presenPeriod[@]}"
type_text 3
click_control "${warnBefore[@]}"
type_text 15
click_control "${okBtn[@]}"
e2e_wait_until 5 error_box >/dev/null || e2e_fail "warning 15 > presentation 3 brought no window titled 時間指定エラー"
e2e_log "rejected: 時間指定エラー shown"
e2e_screenshot "$E2E_DIR/2-error.png"
xdotool windowactivate --sync "$(error_box)" key Return 2>/dev/null
e2e_wait_until 5 no_error_box || e2e_fail "Return did not dismiss 時間指定エラー"
sleep "$(e2e_scaled 0.5)"
settings >/dev/null || e2e_fail "the settings window did not stay open after the rejection"
expect_file "$E2E_DIR/expected.ini" "a rejected confirmation changed Lectern.ini"

# 3. Cancel hides the window; confirming straight after it must write the confirmed times again.
click_control "${clBtn[@]}"
e2e_wait_until 5 no_settings || e2e_fail "Cancel did not hide the settings window"
expect_file "$E2E_DIR/expected.ini" "Cancel changed Lectern.ini"
rm "$app/Lectern.ini"
open_settings "after Cancel"
# Escape and Return in a field press none of the buttons.
click_control "${presenPeriod[@]}"
xdotool key Escape
xdotool key Return
sleep "$(e2e_scaled 0.8)"
settings >/dev/null || e2e_fail "Escape or Return in a field closed the settings window"
no_error_box || e2e_fail "Escape or Return in a field pressed 設定変更のみ"
[ -e "$app/Lectern.ini" ] && e2e_fail "Escape or Return in a field wrote Lectern.ini"
click_control "${okBtn[@]}"
if error_box >/dev/null || ! e2e_wait_until 5 no_settings; then
    e2e_fail "after Cancel the confirmed times were not back: confirming them again failed"
fi
e2e_wait_until 3 file_is "$E2E_DIR/expected.ini" ||
    { show_file "$E2E_DIR/expected.ini"; e2e_fail "after Cancel, confirming wrote other times than the confirmed ones"; }
e2e_log "Cancel brought back 12.5, 5, 2"

# 4. Closing the settings window through its frame acts as Cancel.
open_settings "before closing through the frame"
click_control "${presenPeriod[@]}"
type_text 4
wmctrl -i -c "$dialog"
e2e_wait_until 5 no_settings || e2e_fail "closing through the frame did not hide the settings window"
rm "$app/Lectern.ini"
open_settings "after closing through the frame"
click_control "${okBtn[@]}"
e2e_wait_until 5 no_settings || e2e_fail "confirming after a close through the frame failed"
e2e_wait_until 3 file_is "$E2E_DIR/expected.ini" ||
    { show_file "$E2E_DIR/expected.ini"; e2e_fail "a close through the frame did not act as Cancel"; }
e2e_log "closing through the frame acted as Cancel"

# 5. The sound check: a sound is heard; a missing file and a text file are refused with a box saying why.
open_settings "for the sound check"
loud() { od -An -v -td2 -w2 "$E2E_DIR/audio.raw" | awk '{ x = $1 < 0 ? -$1 : $1 } x > 300 { found = 1; exit } END { exit !found }'; }
click_control "${wavefile[@]}"
type_text "$app/check.wav"
click_control "${playBtn[@]}"
e2e_wait_until 5 loud || e2e_fail "試聴 of a WAV file sounded nothing"
check_box() { e2e_app_window 試聴; }
no_check_box() { ! check_box >/dev/null; }
no_check_box || e2e_fail "a playable file brought a box titled 試聴"
for refused in "gone.wav:no such file" "notes.wav:no sound that can be read"; do
    click_control "${wavefile[@]}"
    type_text "$app/${refused%%:*}"
    click_control "${playBtn[@]}"
    e2e_wait_until 5 check_box >/dev/null || e2e_fail "試聴 of ${refused%%:*} brought no box titled 試聴"
    grep -q "sound file refused: .*${refused%%:*}: ${refused#*:}" "$E2E_APP_LOG" ||
        e2e_fail "試聴 of ${refused%%:*} was not refused as '${refused#*:}'"
    xdotool windowactivate --sync "$(check_box)" key Return 2>/dev/null
    e2e_wait_until 5 no_check_box || e2e_fail "Return did not dismiss the box titled 試聴"
done
e2e_log "試聴: a WAV file sounded, a missing file and a text file were refused with a box"

# 6. Closing the main window ends the program; nothing more is written.
open_settings "before the end"
click_control "${presenPeriod[@]}"
type_text 9
e2e_close_main_expect_exit
expect_file "$E2E_DIR/expected.ini" "closing the program with an unconfirmed edit changed Lectern.ini"

# 7. SIGTERM over each box and picker of the window; a folder in the file's place fails the save, even for root.
Command1=(6360 1080 255 255) t1f=(5160 1920 615 735)
click_named() { local -n control=$1; click_control "${control[@]}"; }
cp "$app/Lectern.ini" "$E2E_DIR/before.ini"
for spec in "時間指定エラー okBtn presenPeriod 0" "試聴 playBtn wavefile gone.wav" "予鈴WAVEファイルの選択 Command1" \
    "色を選択 t1f" "設定の保存エラー okBtn"; do
    read -r box button field text <<<"$spec"
    # Without the count the last run left, which the start would offer back.
    e2e_launch_app "${E2E_AUDIO_ENV[@]}" && main=$E2E_MAIN && open_settings "before $box"
    [ -n "$field" ] && click_named "$field" && type_text "$text"
    [ "$box" = 設定の保存エラー ] && mv "$app/Lectern.ini" "$E2E_DIR/aside.ini" && mkdir "$app/Lectern.ini"
    click_named "$button" && e2e_wait_until 5 e2e_app_window "$box" >/dev/null || e2e_fail "no window titled $box"
    kill -TERM "$E2E_APP_PID" && e2e_wait_until 10 e2e_app_ended && wait "$E2E_APP_PID" || e2e_fail "$box: status $?"
done
rmdir "$app/Lectern.ini" && mv "$E2E_DIR/aside.ini" "$app/Lectern.ini"
expect_file "$E2E_DIR/before.ini" "SIGTERM over a box changed Lectern.ini"
echo "PASS: focus, apply, rejection, Cancel, Escape/Return inert, frame close as Cancel, clean exit, SIGTERM over boxes"
