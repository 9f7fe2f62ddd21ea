#!/usr/bin/env bash
# Checks by hand (not part of the suite) that Lectern in a Wayland session still learns that it was minimised, so
# that its caption counts: starts a headless compositor with XWayland, starts the program there as a desktop would
# (WAYLAND_DISPLAY and DISPLAY set, QT_QPA_PLATFORM not), minimises its window through XWayland and waits for the
# caption to show the count as a minimised window does ("00:03/Lectern": minutes and seconds since the start)
# instead of "Lectern".
#
# Two compositors, each a case of its own:
#   mutter  (GNOME's, which users run): the case that decides the exit status. mutter 43 takes the first free X
#           display from :0 and needs a /tmp/.X11-unix it may write, so the script runs in mount and network
#           namespaces of its own (unshare) with a private /tmp: no X server of the machine's, nor of another test,
#           is in the way, whether by its socket file or by its abstract socket.
#   weston  (the reference compositor, 10 in Debian 12): reported only. Its X window manager does not mark a
#           window minimised (WM_STATE stays Normal), so the program cannot know; the case says so.
# Installs mutter, weston, xwayland, xdotool, x11-utils and dbus when they are missing.
#
# Usage: scripts/check_wayland.sh [PATH-TO-LECTERN]   (default: build/src/app/lectern). Exit status 0 when the
# caption counts under mutter; 1 when it does not; 2 when mutter never told the window that it was minimised. The
# kept work folder (under $TMPDIR, else /var/tmp) holds each compositor's log.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
program=$(realpath -- "${1:-$here/../build/src/app/lectern}" 2>/dev/null)
[ -x "$program" ] || { echo "not an executable: ${1:-$here/../build/src/app/lectern}" >&2; exit 1; }

if [ -z "${LECTERN_WAYLAND_NAMESPACE:-}" ]; then
    missing=()
    for p in mutter weston xwayland xdotool x11-utils dbus; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        sudo=()
        [ "$(id -u)" -ne 0 ] && sudo=(sudo)
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" ||
            exit 1
    fi
    # The work folder must outlive the private /tmp.
    if [ -z "${TMPDIR:-}" ] || [ "${TMPDIR%/}" = /tmp ]; then export TMPDIR=/var/tmp; fi
    user=()
    [ "$(id -u)" -ne 0 ] && user=(--user --map-root-user)
    # The program goes in as an open descriptor: its path may lie in the /tmp the namespace hides.
    exec 3<"$program"
    exec unshare "${user[@]}" --mount --propagation private --net env LECTERN_WAYLAND_NAMESPACE=1 "$0" "$program"
fi

# In the namespace: a /tmp of our own, with the folder of X sockets as X servers expect it.
mount -t tmpfs lectern-wayland-tmp /tmp || { echo "cannot mount a private /tmp" >&2; exit 1; }
mkdir -m 1777 /tmp/.X11-unix

# shellcheck source-path=SCRIPTDIR source=e2e_lib.sh
source "$here/e2e_lib.sh"
e2e_begin lectern-wayland
e2e_watchdog 120
trap 'e2e_fail "the check ran out of time"' TERM
{ cp /dev/fd/3 "$E2E_DIR/lectern" && chmod +x "$E2E_DIR/lectern"; } || e2e_fail "cannot copy the program"
exec 3<&-
program=$E2E_DIR/lectern

# shellcheck disable=SC2317 # called through e2e_wait_until
caption() { xdotool getwindowname "$main" 2>/dev/null; }
# shellcheck disable=SC2317 # called through e2e_wait_until
counting() { caption | grep -q '^[0-9][0-9]:[0-9][0-9]/Lectern$'; }
wm_state() { xprop -id "$main" WM_STATE 2>/dev/null | sed -n 's/.*window state: //p'; }
net_wm_state() { xprop -id "$main" _NET_WM_STATE 2>/dev/null | sed 's/^_NET_WM_STATE(ATOM)//'; }

# Starts the program on the compositor of case $1 (WAYLAND_DISPLAY, DISPLAY and XAUTHORITY set), minimises it and
# judges the caption. Returns 0 when it counts, 1 when it does not, 2 when the window was never marked minimised.
check_case() {
    local name=$1 first
    mkdir "$E2E_DIR/$name"
    cp "$program" "$E2E_DIR/$name/lectern"
    E2E_APP_LOG=$E2E_DIR/$name.app.log
    (cd "$E2E_DIR/$name" && exec env -u QT_QPA_PLATFORM SDL_AUDIODRIVER=dummy ./lectern) >"$E2E_APP_LOG" 2>&1 &
    E2E_APP_PID=$!
    e2e_track "$E2E_APP_PID"
    e2e_wait_until 30 e2e_app_shown_or_ended
    if ! main=$(e2e_app_window Lectern); then
        kill -0 "$E2E_APP_PID" 2>/dev/null &&
            echo "$name: found no X window titled Lectern: the program may be showing itself through Wayland" >&2
        echo "$name: no window titled Lectern through XWayland" >&2
        return 1
    fi
    e2e_log "$name: main window $main through XWayland, caption: $(caption)"
    # A moment for the window manager to take the window, as a user's click would come after it.
    sleep 1
    xdotool windowminimize "$main"
    if e2e_wait_until 5 counting; then
        first=$(caption)
        sleep 2
        e2e_log "$name: minimised (WM_STATE $(wm_state)): caption '$first', two seconds later '$(caption)'"
        if [ "$first" = "$(caption)" ]; then
            echo "$name: the caption shows a count that does not advance" >&2
            return 1
        fi
        echo "PASS ($name): the minimised window's caption shows the count"
        return 0
    fi
    e2e_log "$name: after minimising: caption '$(caption)', WM_STATE $(wm_state), _NET_WM_STATE$(net_wm_state)"
    if [ "$(wm_state)" = Normal ]; then
        echo "$name: the compositor took the request to minimise but left WM_STATE Normal: the program was not told" >&2
        return 2
    fi
    echo "$name: the window was minimised (WM_STATE $(wm_state)) but its caption does not show the count" >&2
    return 1
}

# Ends the program and the compositor of the case, with all it started (its session bus, XWayland: a process
# group of their own), before the next case starts and at exit.
groups=()
end_case() {
    local i
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
        kill -TERM "${E2E_PIDS[i]}" 2>/dev/null
        wait "${E2E_PIDS[i]}" 2>/dev/null
    done
    E2E_PIDS=()
    for i in "${groups[@]}"; do
        kill -TERM -- "-$i" 2>/dev/null
        for _ in $(seq 30); do
            kill -0 -- "-$i" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL -- "-$i" 2>/dev/null
    done
    groups=()
}
trap 'end_case; e2e_cleanup' EXIT

# mutter: it names its X display in its log (":0" here), its X authority is a file of its own in the runtime folder.
socket=lectern-mutter-$$
setsid dbus-run-session -- mutter --wayland --headless --virtual-monitor 1280x800 --wayland-display "$socket" \
    >"$E2E_DIR/mutter.log" 2>&1 &
groups+=($!)
mutter_display() { sed -n 's/.*Using public X11 display \(:[0-9][0-9]*\).*/\1/p' "$E2E_DIR/mutter.log" | head -1; }
# shellcheck disable=SC2317 # called through e2e_wait_until
mutter_ready() {
    [ -S "$XDG_RUNTIME_DIR/$socket" ] && [ -n "$(mutter_display)" ] &&
        compgen -G "$XDG_RUNTIME_DIR/.mutter-Xwaylandauth.*" >/dev/null
}
if e2e_wait_until 30 mutter_ready; then
    export WAYLAND_DISPLAY=$socket DISPLAY
    DISPLAY=$(mutter_display)
    XAUTHORITY=$(compgen -G "$XDG_RUNTIME_DIR/.mutter-Xwaylandauth.*" | head -1)
    export XAUTHORITY
    e2e_wait_until 20 xdpyinfo >/dev/null 2>&1 || echo "mutter: XWayland on :0 does not answer" >&2
    e2e_log "mutter on $WAYLAND_DISPLAY, XWayland on $DISPLAY"
    check_case mutter
    status=$?
else
    tail -20 "$E2E_DIR/mutter.log" >&2
    echo "mutter: did not start with XWayland" >&2
    status=1
fi
end_case
unset XAUTHORITY

# weston, reported only: it names the X display it reserved for XWayland, which starts at the first X client.
socket=lectern-weston-$$
setsid weston --backend=headless-backend.so --xwayland --socket="$socket" --idle-time=0 \
    --log="$E2E_DIR/weston.log" --logger-scopes=log,xwm-wm-x11 >/dev/null 2>&1 &
groups+=($!)
x_display() { sed -n 's/.*xserver listening on display \(:[0-9][0-9]*\).*/\1/p' "$E2E_DIR/weston.log" | head -1; }
# shellcheck disable=SC2016 # expanded by eval at each try
if e2e_wait_until 20 eval '[ -S "$XDG_RUNTIME_DIR/$socket" ] && [ -n "$(x_display)" ]'; then
    export WAYLAND_DISPLAY=$socket
    DISPLAY=$(x_display)
    e2e_log "weston on $WAYLAND_DISPLAY, XWayland on $DISPLAY"
    check_case weston
    case $? in
    0) ;;
    2) echo "weston: cannot check here: its window manager leaves a minimised window marked Normal" ;;
    *) echo "weston: the caption does not count (reported only)" ;;
    esac
else
    echo "weston: did not start with XWayland (reported only)"
fi
end_case

[ "$status" = 0 ] || E2E_KEEP=1
exit "$status"
