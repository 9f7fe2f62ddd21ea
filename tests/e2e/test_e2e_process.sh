#!/usr/bin/env bash
# The life of the real program as a process, on a private X server, one row a case:
#   - a second start from the same folder ends at once with status 0 and brings the first, minimised, back to
#     the front; --control-url asked of it while it serves no browser view ends with status 1 and one line;
#   - SIGTERM, SIGINT and SIGHUP (logging out, Ctrl+C, closing the terminal) close it in order: status 0, the
#     settings file untouched, nothing on stderr;
#   - a copy killed outright leaves its lock behind, and the next start is not kept from running by it;
#   - without XDG_RUNTIME_DIR (and without /run/user/UID, which would come first), a lock folder in TMPDIR made by
#     another user is said in one line on stderr and in a box, and the program runs on;
#   - with no Japanese font it says so in one line on stderr and still runs;
#   - at a scale factor of 2 on a 1024-pixel screen the window at creation stays within the screen.
#
# Usage: test_e2e_process.sh PATH-TO-LECTERN. E2E_SLOWDOWN and E2E_KEEP_DIR as for test_e2e_count.sh.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=../../scripts/e2e_lib.sh
source "$here/../../scripts/e2e_lib.sh"

e2e_test_begin lectern-e2e-process "${1:?usage: $0 PATH-TO-LECTERN}"
app=$E2E_APP_DIR
e2e_write_ini "$app" '7,3,1,""' '"開始から",16776960,0' '"発表残り",65535,0' '"質疑残り",65280,0' '"超過",65535,208' \
    '#TRUE#,#FALSE#,#FALSE#'
cp "$app/Lectern.ini" "$E2E_DIR/before.ini"
e2e_start_x 1024x768

map_state() { xwininfo -id "$1" 2>/dev/null | awk '/Map State/ { print $3 }'; }
is_viewable() { [ "$(map_state "$1")" = IsViewable ]; }
is_hidden() { ! is_viewable "$1"; }
is_active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }
status_of_app() {
    e2e_wait_until 10 e2e_app_ended || e2e_fail "$1: the program did not end"
    wait "$E2E_APP_PID"
}

# Second start.
e2e_launch_app SDL_AUDIODRIVER=dummy
first=$E2E_APP_PID
xdotool windowminimize "$E2E_MAIN"
e2e_wait_until 5 is_hidden "$E2E_MAIN" || e2e_fail "the main window was not minimised"
touch -d '1 minute ago' "$XDG_RUNTIME_DIR"/lectern-*.lock
(cd "$app" && exec env -u QT_QPA_PLATFORM SDL_AUDIODRIVER=dummy timeout 20 ./lectern) >"$E2E_DIR/second.log" 2>&1
status=$?
[ "$status" = 0 ] || e2e_fail "the second start ended with status $status: $(cat "$E2E_DIR/second.log")"
[ -s "$E2E_DIR/second.log" ] && e2e_fail "the second start printed: $(cat "$E2E_DIR/second.log")"
e2e_wait_until 5 is_viewable "$E2E_MAIN" || e2e_fail "the first window did not come back"
e2e_wait_until 5 is_active "$E2E_MAIN" || e2e_fail "the first window did not come to the front"
kill -0 "$first" || e2e_fail "the first copy ended"
e2e_log "second start: status 0, the first copy came to the front"
(cd "$app" && exec env LC_ALL=en_US.UTF-8 timeout 10 ./lectern --control-url) >"$E2E_DIR/url.out" 2>&1
[ "$?" = 1 ] && grep -qx 'lectern: the running copy of Lectern is not serving the browser view' "$E2E_DIR/url.out" ||
    e2e_fail "--control-url of a copy serving nothing: $(cat "$E2E_DIR/url.out")"

# Signals.
for signal in TERM INT HUP; do
    [ "$signal" = TERM ] || e2e_launch_app SDL_AUDIODRIVER=dummy
    kill -"$signal" "$E2E_APP_PID"
    status_of_app "SIG$signal"
    status=$?
    [ "$status" = 0 ] || e2e_fail "SIG$signal: the program ended with status $status"
    [ -s "$E2E_APP_LOG" ] && e2e_fail "SIG$signal: the program printed: $(cat "$E2E_APP_LOG")"
    cmp -s "$app/Lectern.ini" "$E2E_DIR/before.ini" || e2e_fail "SIG$signal: the settings file changed"
    e2e_log "SIG$signal: closed in order, status 0"
done

# A lock left by a killed copy.
e2e_launch_app SDL_AUDIODRIVER=dummy
kill -KILL "$E2E_APP_PID"
status_of_app "SIGKILL"
# Its process number now taken by another program called lectern: the lock, 5 s old, is still taken over at once.
cp "$(command -v sleep)" "$E2E_DIR/lectern"
"$E2E_DIR/lectern" 60 &
e2e_track $! && sed -i "1s/.*/$!/" "$XDG_RUNTIME_DIR"/lectern-*.lock &&
    touch -d '5 seconds ago' "$XDG_RUNTIME_DIR"/lectern-*.lock
e2e_launch_app SDL_AUDIODRIVER=dummy
e2e_log "the start after a killed copy runs"
e2e_close_main_expect_exit


# No runtime folder: a lock folder another user made in TMPDIR is said, and the program runs on alone once the box is
# answered; then the user's own is made 0700. Not where /run/user/UID is, which comes before TMPDIR.
own=$E2E_DIR/tmp/lectern-$(id -u)
mkdir -m 1777 "$E2E_DIR/tmp" && mkdir -m 777 "$own" && chown nobody "$own" 2>/dev/null
if [ ! -d "/run/user/$(id -u)" ]; then
    e2e_launch_app SDL_AUDIODRIVER=dummy XDG_RUNTIME_DIR= TMPDIR="$E2E_DIR/tmp"
    box=$E2E_MAIN
    xprop -id "$box" _NET_WM_WINDOW_TYPE | grep -q _DIALOG || e2e_fail "no box said that the folder was planted"
    [ "$(grep -c "^lectern: $own" "$E2E_APP_LOG")" = 1 ] || e2e_fail "a planted folder was not said in one line"
    xdotool windowactivate --sync "$box" key Return 2>/dev/null
    main_shown() { E2E_MAIN=$(e2e_app_window Lectern "$box"); }
    e2e_wait_until 10 main_shown || e2e_fail "the main window did not come after the box"
    e2e_close_main_expect_exit
fi
rmdir "$own" && e2e_launch_app SDL_AUDIODRIVER=dummy XDG_RUNTIME_DIR= TMPDIR="$E2E_DIR/tmp"
[ -d "/run/user/$(id -u)" ] || [ "$(stat -c %a "$own")" = 700 ] || e2e_fail "the lock folder in TMPDIR is not 0700"
e2e_close_main_expect_exit

# No Japanese font: the only faces are the Latin ones of DejaVu.
cat >"$E2E_DIR/fonts.conf" <<CONF
<?xml version="1.0"?>
<fontconfig><dir>/usr/share/fonts/truetype/dejavu</dir><cachedir>$E2E_DIR/font-cache</cachedir></fontconfig>
CONF
e2e_launch_app SDL_AUDIODRIVER=dummy FONTCONFIG_FILE="$E2E_DIR/fonts.conf"
sleep "$(e2e_scaled 0.5)"
[ "$(wc -l <"$E2E_APP_LOG")" = 1 ] && grep -q 'no Japanese font' "$E2E_APP_LOG" ||
    e2e_fail "without a Japanese font the program printed: $(cat "$E2E_APP_LOG")"
e2e_close_main_expect_exit
e2e_log "no Japanese font: one line on stderr"

# Twice the scale on a small screen.
e2e_launch_app SDL_AUDIODRIVER=dummy QT_SCALE_FACTOR=2
read -r width _ < <(e2e_window_size "$E2E_MAIN")
[ "$width" -le 1024 ] || e2e_fail "at scale 2 the window is $width pixels wide on a 1024-pixel screen"
e2e_close_main_expect_exit
e2e_log "scale 2: the window is $width pixels wide"
echo "PASS"
