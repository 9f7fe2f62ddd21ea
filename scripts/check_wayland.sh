#!/usr/bin/env bash
# Checks by hand (not part of the suite) that Lectern in a Wayland session still learns that it was minimised:
# starts a headless weston with XWayland, starts the program there as a desktop would (WAYLAND_DISPLAY and DISPLAY
# set, QT_QPA_PLATFORM not), minimises its window through XWayland and waits for the caption to show the count
# as a minimised window does ("00:03/Lectern": minutes and seconds since the start) instead of "Lectern".
# Installs weston, xwayland and xdotool if they are missing.
#
# Usage: scripts/check_wayland.sh [PATH-TO-LECTERN]   (default: build/src/app/lectern). Exit status 0 when the
# caption counts; 1 when it does not; 2 when the compositor never told the window that it was minimised (its
# WM_STATE stayed Normal), so that the program could not know. weston.log in the kept work folder has the X window
# manager's side.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
program=${1:-$here/../build/src/app/lectern}
[ -x "$program" ] || { echo "not an executable: $program" >&2; exit 1; }
# shellcheck source-path=SCRIPTDIR source=e2e_lib.sh
source "$here/e2e_lib.sh"

missing=()
for p in weston xwayland xdotool; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" ||
        exit 1
fi

e2e_begin lectern-wayland
e2e_watchdog 60
trap 'e2e_fail "the check ran out of time"' TERM
socket=lectern-$$
weston --backend=headless-backend.so --xwayland --socket="$socket" --idle-time=0 --log="$E2E_DIR/weston.log" \
    --logger-scopes=log,xwm-wm-x11 \
    >/dev/null 2>&1 &
e2e_track $!
# weston names the X display it has reserved for XWayland, which starts at the first X client.
x_display() { sed -n 's/.*xserver listening on display \(:[0-9][0-9]*\).*/\1/p' "$E2E_DIR/weston.log" | head -1; }
e2e_wait_until 20 eval '[ -S "$XDG_RUNTIME_DIR/$socket" ] && [ -n "$(x_display)" ]' ||
    { cat "$E2E_DIR/weston.log" >&2; e2e_fail "weston did not start with XWayland"; }
export WAYLAND_DISPLAY=$socket DISPLAY
DISPLAY=$(x_display)
e2e_log "weston on $WAYLAND_DISPLAY, XWayland on $DISPLAY"

mkdir "$E2E_DIR/app"
cp "$program" "$E2E_DIR/app/lectern"
E2E_APP_LOG=$E2E_DIR/app.log
(cd "$E2E_DIR/app" && exec env -u QT_QPA_PLATFORM SDL_AUDIODRIVER=dummy ./lectern) >"$E2E_APP_LOG" 2>&1 &
E2E_APP_PID=$!
e2e_track "$E2E_APP_PID"
e2e_wait_until 30 e2e_app_shown_or_ended
if ! main=$(e2e_app_window Lectern); then
    if kill -0 "$E2E_APP_PID" 2>/dev/null; then
        echo "found no X window titled Lectern: the program may be showing itself through Wayland itself" >&2
    fi
    e2e_fail "no window titled Lectern through XWayland"
fi
e2e_log "main window $main through XWayland, caption: $(xdotool getwindowname "$main")"

# A moment for the window manager to take the window, as a user's click would come after it.
sleep 1
xdotool windowminimize "$main"
caption() { xdotool getwindowname "$main" 2>/dev/null; }
counting() { caption | grep -q '^[0-9][0-9]:[0-9][0-9]/Lectern$'; }
wm_state() { xprop -id "$main" WM_STATE 2>/dev/null | sed -n 's/.*window state: //p'; }
net_wm_state() { xprop -id "$main" _NET_WM_STATE 2>/dev/null | sed 's/^_NET_WM_STATE(ATOM)//'; }
if e2e_wait_until 5 counting; then
    first=$(caption)
    sleep 2
    e2e_log "minimised (WM_STATE $(wm_state)): caption '$first', two seconds later '$(caption)'"
    [ "$first" != "$(caption)" ] || e2e_fail "the caption shows a count that does not advance"
    echo "PASS: the minimised window's caption shows the count"
    exit 0
fi
e2e_log "after minimising: caption '$(caption)', WM_STATE $(wm_state), _NET_WM_STATE$(net_wm_state)"
grep -A3 'WM_CHANGE_STATE' "$E2E_DIR/weston.log" | sed 's/^/  weston: /' >&2
if [ "$(wm_state)" = Normal ]; then
    echo "FAIL: the compositor took the request to minimise but left WM_STATE Normal: the program was not told" >&2
    E2E_KEEP=1
    exit 2
fi
e2e_fail "the window was minimised (WM_STATE $(wm_state)) but its caption does not show the count"
