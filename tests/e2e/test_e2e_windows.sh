#!/usr/bin/env bash
# The Windows packages under Wine on a private X server (Xvfb + openbox), as a chair gets them:
#   - the portable zip unpacked into the user's folder, with a CP932 Lectern.ini beside Lectern.exe: the window
#     shows the rows in the file's colours, a talk of 6 s (warning 3 s before its end) and 3 s runs through its four
#     phases with one, two and three bells as the colours change (SDL's disk driver); minimised, the caption counts;
#     S and 設定変更のみ write the file back byte for byte; `Lectern.exe --pause` reaches the running copy, and a
#     second start ends with status 0, leaving the first alone; closing the window ends the program with status 0;
#   - the installer, silent (/S), installs into the Wine prefix without administrator rights; the installed program
#     starts and keeps its settings in %APPDATA%\Lectern; the uninstaller (/S) removes the program, its Start-menu
#     entry and its Apps & features entry, and leaves the settings.
# Run by root (as in CI), Wine and the program run as nobody, in a Wine prefix of the test's own.
#
# Usage: test_e2e_windows.sh ZIP SETUP-EXE. E2E_SLOWDOWN and E2E_KEEP_DIR=1 as for the other end-to-end tests.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=../../scripts/e2e_lib.sh
source "$here/../../scripts/e2e_lib.sh"

zip=${1:?usage: $0 ZIP SETUP-EXE}
setup=${2:?usage: $0 ZIP SETUP-EXE}
e2e_begin lectern-e2e-windows
e2e_watchdog 400
trap 'e2e_fail "the test ran out of time"' TERM
echo "work folder: $E2E_DIR" >&2
chmod 755 "$E2E_DIR"

home=$E2E_DIR/home
mkdir -p "$home"
as_user=()
if [ "$(id -u)" = 0 ]; then
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    chown nobody:nogroup "$home"
    # The packages as a user downloads them: copies of the user's to read, wherever the build tree lies (a clone in
    # root's own or a private temporary folder is closed to others).
    mkdir -p "$E2E_DIR/downloads"
    cp "$zip" "$setup" "$E2E_DIR/downloads/" || e2e_fail "no $zip or $setup (make windows makes them)"
    zip=$E2E_DIR/downloads/$(basename "$zip")
    setup=$E2E_DIR/downloads/$(basename "$setup")
    chmod -R a+rX "$E2E_DIR/downloads"
fi
# Wine as the user, in the test's own prefix; Wine's own messages and its offers to install Mono or Gecko left out.
user() {
    "${as_user[@]}" env -u XDG_RUNTIME_DIR -u QT_QPA_PLATFORM HOME="$home" WINEPREFIX="$home/wine" WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml=" "$@"
}
# The X server first: Wine's desktop process, started with the prefix, keeps the display it was given.
e2e_start_x 1024x768
user mkdir -p "$home/wine"
# One Wine server for the whole test, its output closed so nothing waits on it; ended at exit.
user wineserver -p </dev/null >/dev/null 2>&1
trap 'user wineserver -k </dev/null >/dev/null 2>&1; e2e_cleanup' EXIT
user wineboot -i >"$E2E_DIR/wineboot.log" 2>&1 || e2e_fail "wineboot failed: $(tail -5 "$E2E_DIR/wineboot.log")"
e2e_log "Wine prefix ready"

usb=$home/usb
user unzip -q "$zip" -d "$usb" || e2e_fail "could not unpack $zip (make windows makes it)"
app=$(echo "$usb"/Lectern-*)
[ -f "$app/Lectern.exe" ] || e2e_fail "no Lectern-*/Lectern.exe in $zip"

# A bell that can be counted: 0.15 s of tone, then 0.3 s of true silence.
sox -n -r 22050 -c 1 -b 16 -e signed-integer "$E2E_DIR/bell.wav" synth 0.15 sine 1000 vol 0.8 pad 0 0.3 ||
    e2e_fail "sox could not make the bell"
user cp "$E2E_DIR/bell.wav" "$app/bell.wav"
# The lower row's background in each phase (0x00BBGGRR in the file, RRGGBB on the screen).
declare -A phase_of=([000080]=1 [800080]=2 [008000]=3 [D00000]=4)
e2e_write_ini "$E2E_DIR" "0.1,0.05,0.05,\"Z:${app//\//\\}\\bell.wav\"" '"第一講演の開始から",16776960,8388608' \
    '"発表終了まで",65535,8388736' '"質疑終了まで",65280,32768' '"超過時間",16777215,208' '#TRUE#,#FALSE#,#FALSE#'
user cp "$E2E_DIR/Lectern.ini" "$app/Lectern.ini"

e2e_collect_audio
chmod 666 "$E2E_DIR/audio.fifo"

now() { e2e_elapsed; }
# The first viewable window titled exactly $1, of any process.
titled() { e2e_window_titled "" "$1"; }
title_is() { [ "$(xdotool getwindowname "$main" 2>/dev/null)" = "$1" ]; }
lower_phase() {
    local bg
    e2e_window_shot "$main" "$E2E_DIR/shot.png" || return 1
    bg=$(e2e_region_colours "$E2E_DIR/shot.png" 6 $((H / 2 + 4)) 20 10 | awk 'NR == 1 { print $2 }')
    echo "${phase_of[${bg:-none}]:-?}"
}
# Starts the Lectern.exe $1 as the user, the rest of the arguments added to its environment, and waits for its
# main window: sets pid and main, and what e2e_close_main_expect_exit closes.
launch() {
    local exe=$1
    shift
    (cd "${exe%/*}" && user "$@" wine "$exe") >>"$E2E_DIR/app.log" 2>&1 &
    pid=$!
    E2E_APP_PID=$pid E2E_APP_LOG=$E2E_DIR/app.log
    e2e_track "$pid"
    e2e_wait_until 60 titled Lectern >/dev/null || e2e_fail "no window titled Lectern appeared"
    main=$(titled Lectern) E2E_MAIN=$(titled Lectern)
}
# Opens the settings window with S and confirms it unchanged with 設定変更のみ, found by its place in the design.
confirm_settings() {
    local dialog w h
    # A window Wine has just mapped may take a moment to accept the focus openbox gives it.
    active() { xdotool windowactivate "$main" 2>/dev/null && [ "$(xdotool getactivewindow 2>/dev/null)" = "$main" ]; }
    e2e_wait_until 10 active || e2e_fail "the main window did not take the focus"
    sleep 0.5
    xdotool key s
    e2e_wait_until 10 titled 設定 >/dev/null || e2e_fail "S opened no window titled 設定"
    dialog=$(titled 設定)
    read -r w h < <(e2e_window_size "$dialog")
    xdotool mousemove --window "$dialog" $(((3360 + 1215 / 2) * w / 6780)) $(((4080 + 495 / 2) * h / 4710)) click 1
    no_settings() { ! titled 設定 >/dev/null; }
    e2e_wait_until 10 no_settings || e2e_fail "設定変更のみ did not close the settings window"
}
# --- the portable zip -----------------------------------------------------------------------------------------
t_launch=$(now)
launch "$app/Lectern.exe" SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$E2E_DIR/audio.fifo"
t_map=$(now)
read -r W H < <(e2e_window_size "$main")
e2e_log "main window $main, ${W}x${H}, shown $(awk -v a="$t_launch" -v b="$t_map" 'BEGIN { print b - a }') s after start"
e2e_screenshot "$E2E_DIR/main.png"

# The lower row's phase and the sound's bytes, bracketed in time, until the overtime has had its three bells.
timeline=$E2E_DIR/timeline.txt
: >"$timeline"
deadline=$(awk -v t="$t_map" -v s="$(e2e_scaled 25)" 'BEGIN { print t + s }')
seen4=
while :; do
    ta=$(now) bytes=$(stat -c %s "$E2E_DIR/audio.raw") ph=$(lower_phase) tb=$(now)
    echo "$ta $tb $bytes $ph" >>"$timeline"
    [ "$ph" = 4 ] && [ -z "$seen4" ] && seen4=$ta
    [ -n "$seen4" ] && awk -v a="$seen4" -v b="$ta" 'BEGIN { exit !(b - a > 2.5) }' && break
    awk -v t="$ta" -v d="$deadline" 'BEGIN { exit !(t > d) }' && break
done
show_timeline() { echo "timeline (ta tb audio-bytes phase):" >&2 && sed 's/^/  /' "$timeline" >&2; }
sequence=$(awk '{ print $4 }' "$timeline" | uniq | tr '\n' ' ')
[ "$sequence" = "1 2 3 4 " ] || { show_timeline; e2e_fail "the lower row's colours ran '$sequence', not '1 2 3 4'"; }
# Bursts of tone, each bell's first sample; its phase is the one shown as its bytes arrived, or on the next
# screenshot when the rows were still being repainted for the tick that rang it.
od -An -v -td2 -w2 "$E2E_DIR/audio.raw" | awk '
    { x = $1 < 0 ? -$1 : $1; i = NR - 1; if (x > 300) { if (i - last > 200 || !on) print i; on = 1; last = i } }' \
    >"$E2E_DIR/bells.txt"
per_phase=$(awk 'NR == FNR { b[NR] = $3; p[NR] = $4; n = NR; next }
    { for (i = 1; i <= n && b[i] <= $1 * 2; i++); k = i < n && p[i + 1] > p[i] ? p[i + 1] : p[i]; c[i <= n ? k : "x"]++ }
    END { printf "%d %d %d %d", c[1], c[2], c[3], c[4] }' "$timeline" "$E2E_DIR/bells.txt")
[ "$per_phase" = "0 1 2 3" ] || { show_timeline; e2e_fail "bells by phase 1..4 were '$per_phase', not '0 1 2 3'"; }
# The changes come 3 s apart, give or take a tick and the screenshots' spacing.
changes=$(awk 'NR > 1 && $4 != p { printf "%s ", $2 } { p = $4 }' "$timeline")
awk -v c="$changes" -v d="$(e2e_scaled 0.6)" 'BEGIN { n = split(c, t, " ");
    for (i = 2; i <= n; i++) if (t[i] - t[i - 1] < 3 - d || t[i] - t[i - 1] > 3 + d) exit 1 }' ||
    { show_timeline; e2e_fail "the colours changed at $changes s, not 3 s apart"; }
e2e_log "phases 1-2-3-4 at 3 s steps, bells 1+2+3"

# Minimised, the caption counts: MM:SS/Lectern, a second later another.
caption_count() {
    [[ $(xdotool getwindowname "$main" 2>/dev/null) =~ ^([0-9]{2}:[0-9]{2})/Lectern$ ]] && echo "${BASH_REMATCH[1]}"
}
xdotool windowminimize "$main"
e2e_wait_until 5 caption_count >/dev/null || e2e_fail "minimised, the caption does not show the count"
first=$(caption_count)
counted_on() { [ "$(caption_count)" != "$first" ]; }
e2e_wait_until 3 counted_on || e2e_fail "minimised, the caption stayed at $first"
xdotool windowactivate --sync "$main" 2>/dev/null
e2e_wait_until 5 title_is Lectern || e2e_fail "shown again, the caption is not Lectern"
e2e_log "minimised caption counted from $first"

# `Lectern.exe --pause` from another start reaches this copy, and again goes on; a plain second start ends at once.
remote() { (cd "$app" && user timeout 30 wine "$app/Lectern.exe" "$@") >>"$E2E_DIR/remote.log" 2>&1; }
for title in "Lectern（一時停止）" Lectern; do
    remote --pause || e2e_fail "Lectern.exe --pause ended with status $?: $(cat "$E2E_DIR/remote.log")"
    e2e_wait_until 5 title_is "$title" || e2e_fail "Lectern.exe --pause did not bring the caption $title"
done
remote || e2e_fail "a second start ended with status $?: $(cat "$E2E_DIR/remote.log")"
kill -0 "$pid" || e2e_fail "the first copy ended at the second start"
[ "$(titled Lectern)" = "$main" ] || e2e_fail "the second start left a window of its own"
e2e_log "--pause reached the running copy; a second start ended with status 0"

# The file the program reads is the one it writes: moved away, S and 設定変更のみ write it again, byte for byte.
user mv "$app/Lectern.ini" "$app/Lectern.ini.read"
confirm_settings
written() { [ -f "$app/Lectern.ini" ]; }
e2e_wait_until 5 written || e2e_fail "設定変更のみ wrote no Lectern.ini beside Lectern.exe"
cmp "$app/Lectern.ini" "$E2E_DIR/Lectern.ini" ||
    e2e_fail "Lectern.ini written back differs: $(od -c "$app/Lectern.ini" | head -20)"
e2e_log "設定変更のみ wrote Lectern.ini back byte for byte"
e2e_close_main_expect_exit

# --- the installer ----------------------------------------------------------------------------------------------
user wine "$setup" /S >"$E2E_DIR/setup.log" 2>&1 || e2e_fail "the silent installer ended with status $?"
installed=$(echo "$home"/wine/drive_c/users/*/AppData/Local/Programs/Lectern)
profile=${installed%/AppData/Local/Programs/Lectern}
menu_entry="$profile/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Lectern 講演タイマー.lnk"
[ -f "$installed/Lectern.exe" ] || e2e_fail "the installer put no Lectern.exe in $installed"
[ -f "$menu_entry" ] || e2e_fail "the installer made no Start-menu entry named Lectern 講演タイマー"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Lectern'
user wine reg query "$uninstall_key" >/dev/null 2>&1 || e2e_fail "no uninstaller listed under $uninstall_key"
launch "$installed/Lectern.exe" SDL_AUDIODRIVER=dummy
confirm_settings
own=$profile/AppData/Roaming/Lectern/Lectern.ini
e2e_wait_until 5 test -f "$own" || e2e_fail "the installed program kept no settings in %APPDATA%\\Lectern"
[ -f "$installed/Lectern.ini" ] && e2e_fail "the installed program wrote its settings beside itself"
e2e_close_main_expect_exit
e2e_log "installed program started and kept its settings in %APPDATA%\\Lectern"

user wine "$installed/Uninstall.exe" /S >"$E2E_DIR/uninstall.log" 2>&1 || e2e_fail "the uninstaller ended with status $?"
# The uninstaller runs on from a copy of itself, so the folder goes a little later.
e2e_wait_until 30 test ! -e "$installed" || e2e_fail "the uninstaller left $installed: $(ls "$installed")"
[ -e "$menu_entry" ] && e2e_fail "the uninstaller left the Start-menu entry"
user wine reg query "$uninstall_key" >/dev/null 2>&1 && e2e_fail "the uninstaller left $uninstall_key"
[ -f "$own" ] || e2e_fail "the uninstaller removed the user's settings"
echo "PASS: the zip's program (rows, bells, caption, --pause, second start, settings written back), installer"
