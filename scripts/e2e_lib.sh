# shellcheck shell=bash
# Helpers shared by the end-to-end tests (tests/e2e) and the whole-process benchmark (bench/process_figures.sh).
# Source it, then call e2e_begin once; everything started through it is ended again at exit, by process id.
#
# Conventions: every helper that waits takes its limit in seconds and scales it by E2E_SLOWDOWN (set it to 3 or
# so for a sanitizer build, which starts and paints several times slower); failures go through e2e_fail, which
# prints what the screen and the program looked like and keeps the work folder for a post-mortem.

E2E_PIDS=()
E2E_DIR=
E2E_KEEP=0
E2E_T0=$(date +%s.%N)
: "${E2E_SLOWDOWN:=1}"

e2e_now() { date +%s.%N; }

# Seconds since e2e_begin, with a millisecond fraction.
e2e_elapsed() { awk -v a="$E2E_T0" -v b="$(e2e_now)" 'BEGIN { printf "%.3f", b - a }'; }

e2e_log() { printf '[%7s] %s\n' "$(e2e_elapsed)" "$*" >&2; }

# Scales a limit in seconds by E2E_SLOWDOWN.
e2e_scaled() { awk -v s="$1" -v k="$E2E_SLOWDOWN" 'BEGIN { printf "%.2f", s * k }'; }

# Remembers a process to end at exit (last started, first ended).
e2e_track() { E2E_PIDS+=("$1"); }

e2e_cleanup() {
    local i pid
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
        pid=${E2E_PIDS[i]}
        kill -TERM "$pid" 2>/dev/null || continue
        for _ in $(seq 30); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    E2E_PIDS=()
    if [ -n "$E2E_DIR" ] && [ "$E2E_KEEP" = 0 ] && [ -z "${E2E_KEEP_DIR:-}" ]; then
        rm -rf "$E2E_DIR"
    elif [ -n "$E2E_DIR" ]; then
        echo "e2e: work folder kept: $E2E_DIR" >&2
    fi
}

# Creates the work folder ($E2E_DIR) with a private XDG_RUNTIME_DIR in it, and installs the clean-up.
# $1 names the folder.
e2e_begin() {
    E2E_DIR=$(mktemp -d "${TMPDIR:-/tmp}/${1:-lectern-e2e}.XXXXXX")
    # A runtime folder of the run's own: the program's single-instance lock never meets another run's copy.
    export XDG_RUNTIME_DIR=$E2E_DIR/runtime
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    # No session bus unless a test starts one (e2e_start_a11y_bus). Without an address, libdbus (which SDL loads
    # when it starts its sound output, on the interface thread) would fork a helper to look for one, and a fork
    # of a many-threaded process under AddressSanitizer can deadlock in the child, which held up the first bell
    # for good. A desktop session always has its address.
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/no-session-bus
    E2E_T0=$(e2e_now)
    trap e2e_cleanup EXIT
    trap 'exit 130' INT TERM
}

# Every window of the process, visible or not, one id a line.
e2e_windows_of() { xdotool search --pid "$1" 2>/dev/null || true; }

# Lists the process's windows with title, map state and geometry (for diagnostics).
e2e_describe_windows() {
    local w
    for w in $(e2e_windows_of "$1"); do
        printf '  window %s title=%q %s %s\n' "$w" "$(xdotool getwindowname "$w" 2>/dev/null)" \
            "$(xwininfo -id "$w" 2>/dev/null | awk '/Map State/ { print $3 }')" \
            "$(xwininfo -id "$w" 2>/dev/null | awk '/-geometry/ { print $2 }')"
    done
}

# Prints the first viewable window of process $1 whose title is exactly $2. xdotool's --name takes a regular
# expression and silently matches nothing when it cannot compile one (as with some Japanese titles), so the titles
# are compared here. $3 (optional) is a window id to leave out. An empty $1 takes any process's windows (Wine's
# windows do not carry the program's process id).
e2e_window_titled() {
    local w by=(--pid "$1")
    [ -n "$1" ] || by=(--name .)
    for w in $(xdotool search --onlyvisible "${by[@]}" 2>/dev/null); do
        [ "$w" = "${3:-}" ] && continue
        if [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$2" ]; then
            echo "$w"
            return 0
        fi
    done
    return 1
}

# Ends this script with SIGTERM after $1 seconds (scaled), so that a hang inside CTest's limit still ends with
# diagnostics (a TERM trap) and with every process ended. The sleep is ended with the watchdog, and neither holds
# the script's output open.
e2e_watchdog() {
    (
        trap 'kill "$sleeper" 2>/dev/null; exit 0' TERM
        sleep "$(e2e_scaled "$1")" &
        sleeper=$!
        wait "$sleeper" && kill -TERM $$
    ) >/dev/null 2>&1 &
    e2e_track $!
}

# Runs the command until it succeeds or $1 seconds (scaled) have passed; polls every 50 ms.
e2e_wait_until() {
    local limit deadline
    limit=$(e2e_scaled "$1")
    shift
    deadline=$(awk -v t="$(e2e_now)" -v l="$limit" 'BEGIN { printf "%.3f", t + l }')
    until "$@"; do
        if awk -v t="$(e2e_now)" -v d="$deadline" 'BEGIN { exit !(t > d) }'; then
            return 1
        fi
        sleep 0.05
    done
}

# Starts Xvfb on a display it picks itself (-displayfd, so tests running side by side never collide) and
# openbox on it; exports DISPLAY and sets E2E_XVFB_PID. $1: screen size, default 1024x768.
e2e_start_x() {
    local fdfile="$E2E_DIR/displayfd" n
    : >"$fdfile"
    Xvfb -displayfd 3 -screen 0 "${1:-1024x768}x24" -dpi 96 -nolisten tcp -noreset 3>"$fdfile" \
        >"$E2E_DIR/xvfb.log" 2>&1 &
    E2E_XVFB_PID=$!
    e2e_track "$E2E_XVFB_PID"
    if ! e2e_wait_until 20 grep -q '^[0-9][0-9]*$' "$fdfile"; then
        cat "$E2E_DIR/xvfb.log" >&2
        e2e_fail "Xvfb did not start"
    fi
    n=$(head -1 "$fdfile")
    export DISPLAY=":$n"
    openbox --sm-disable >"$E2E_DIR/openbox.log" 2>&1 &
    e2e_track $!
    if ! e2e_wait_until 20 e2e_wm_ready; then
        cat "$E2E_DIR/openbox.log" >&2
        e2e_fail "openbox did not take the display $DISPLAY"
    fi
    e2e_log "X server on $DISPLAY with openbox"
}

e2e_wm_ready() { wmctrl -m 2>/dev/null | grep -q '^Name: Openbox'; }

# A whole-screen shot, for diagnostics and the documentation.
e2e_screenshot() { import -window root "$1" 2>/dev/null; }

# A shot of one window's inner area.
e2e_window_shot() { import -window "$1" "$2" 2>/dev/null; }

# Width and height of a window's inner area: prints "W H".
e2e_window_size() {
    xwininfo -id "$1" 2>/dev/null | awk '/^  Width:/ { w = $2 } /^  Height:/ { h = $2 } END { print w, h }'
}

# Colours of a region of a PNG, most frequent first: "count RRGGBB" lines. $2..$5: x y w h.
e2e_region_colours() {
    convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -format %c histogram:info:- 2>/dev/null |
        sed -n 's/^ *\([0-9][0-9]*\):.*#\([0-9A-Fa-f]\{6\}\).*/\1 \2/p' | sort -rn
}

# Writes a settings file in the program's format: CR LF lines, CP932 text. Arguments: the folder, then the six
# lines as the program writes them, in UTF-8 (quotes included).
e2e_write_ini() {
    local dir=$1 line
    shift
    : >"$dir/Lectern.ini"
    for line in "$@"; do
        printf '%s\r\n' "$line" | iconv -f UTF-8 -t CP932 >>"$dir/Lectern.ini" || e2e_fail "iconv CP932 failed"
    done
}

# A session bus and an accessibility bus of the test's own, with assistive technology announced on it, so the
# program (started after this) shows its widgets on the bus for pyatspi to read.
e2e_start_a11y_bus() {
    local bus_file
    bus_file=$E2E_DIR/session-bus
    : >"$bus_file"
    dbus-daemon --session --nofork --print-address=3 3>"$bus_file" >"$E2E_DIR/dbus.log" 2>&1 &
    e2e_track $!
    e2e_wait_until 10 grep -q '^unix:' "$bus_file" ||
        e2e_fail "the session bus did not start: $(cat "$E2E_DIR/dbus.log")"
    DBUS_SESSION_BUS_ADDRESS=$(head -1 "$bus_file")
    export DBUS_SESSION_BUS_ADDRESS

    # The launcher starts the accessibility bus; the registry on it is started by that bus when first asked for.
    /usr/libexec/at-spi-bus-launcher --launch-immediately >"$E2E_DIR/at-spi.log" 2>&1 &
    e2e_track $!
    a11y_bus_owned() {
        dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q 'boolean true'
    }
    e2e_wait_until 10 a11y_bus_owned || e2e_fail "the accessibility bus did not start: $(cat "$E2E_DIR/at-spi.log")"
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Set \
        string:org.a11y.Status string:IsEnabled variant:boolean:true >/dev/null ||
        e2e_fail "could not announce assistive technology on the accessibility bus"
    e2e_log "session bus and accessibility bus up, assistive technology announced"
}

# Gathers what SDL's disk driver plays into $E2E_DIR/audio.raw. The driver truncates its file at every opening of
# the output, and the output is opened anew for each run of bells: a named pipe, held open for reading and writing
# by one cat for the whole test, collects them all. Start the program with the variables in $E2E_AUDIO_ENV.
e2e_collect_audio() {
    mkfifo "$E2E_DIR/audio.fifo"
    : >"$E2E_DIR/audio.raw"
    cat 0<>"$E2E_DIR/audio.fifo" >>"$E2E_DIR/audio.raw" &
    E2E_AUDIO_DRAIN=$!
    e2e_track "$E2E_AUDIO_DRAIN"
    # shellcheck disable=SC2034 # read by the scripts that source this file
    E2E_AUDIO_ENV=(SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$E2E_DIR/audio.fifo")
}

# The common start of an end-to-end test: $1 names the work folder, $2 is the program under test. Arms an 80 s
# watchdog and copies the program into a folder of its own, $E2E_APP_DIR, where it finds its settings file, with
# the browser view's module that the build puts beside it.
e2e_test_begin() {
    [ -x "$2" ] || { echo "not an executable: $2" >&2; exit 1; }
    e2e_begin "$1"
    e2e_watchdog 80
    trap 'e2e_fail "the test ran out of time"' TERM
    echo "work folder: $E2E_DIR" >&2
    E2E_APP_DIR=$E2E_DIR/app
    mkdir -p "$E2E_APP_DIR"
    e2e_copy_program "$2" "$E2E_APP_DIR"
}

# Copies the program $1 into folder $2 as lectern, with the modules found beside it.
e2e_copy_program() {
    cp "$1" "$2/lectern"
    local module=${1%/*}/liblectern_web_view.so
    [ ! -f "$module" ] || cp "$module" "$2/"
}

# The viewable window of the program titled $1, leaving out the window $2 if given.
e2e_app_window() { e2e_window_titled "$E2E_APP_PID" "$@"; }

e2e_app_shown_or_ended() { e2e_app_window Lectern >/dev/null || ! kill -0 "$E2E_APP_PID" 2>/dev/null; }

# Starts the copy in $E2E_APP_DIR on the private X server, the arguments (VAR=VALUE) added to its environment and
# the array E2E_APP_ARGS (if set) to its command line, and waits for its main window. Sets E2E_APP_PID, E2E_APP_LOG
# and E2E_MAIN (the main window's id). A count an earlier start left in the folder would be offered back at start;
# it is removed unless E2E_KEEP_COUNT=1.
e2e_launch_app() {
    E2E_APP_LOG=$E2E_DIR/app.log
    [ "${E2E_KEEP_COUNT:-0}" = 1 ] || rm -f "$E2E_APP_DIR/Lectern.count"
    (cd "$E2E_APP_DIR" && exec env -u QT_QPA_PLATFORM LANG=C.UTF-8 LC_ALL=C.UTF-8 "$@" ./lectern \
        ${E2E_APP_ARGS[@]+"${E2E_APP_ARGS[@]}"}) \
        >"$E2E_APP_LOG" 2>&1 &
    E2E_APP_PID=$!
    e2e_track "$E2E_APP_PID"
    if ! e2e_wait_until 20 e2e_app_shown_or_ended || ! E2E_MAIN=$(e2e_app_window Lectern); then
        e2e_fail "no window titled Lectern appeared"
    fi
}

# A start after a copy was killed in a talk asks, beside its main window, whether to take the count up: answers with
# the key $1 (Return: Yes, Escape: No). Sets E2E_MAIN to the main window and E2E_ANSWERED_FROM to the moment
# before the key.
e2e_answer_resume() {
    local box=''
    e2e_resume_asked() {
        local w
        box='' E2E_MAIN=''
        for w in $(xdotool search --onlyvisible --pid "$E2E_APP_PID" 2>/dev/null); do
            [ "$(xdotool getwindowname "$w" 2>/dev/null)" = Lectern ] || continue
            if xprop -id "$w" _NET_WM_WINDOW_TYPE | grep -q _DIALOG; then box=$w; else E2E_MAIN=$w; fi
        done
        [ -n "$box" ] && [ -n "$E2E_MAIN" ]
    }
    e2e_resume_answered() { ! xwininfo -id "$box" 2>/dev/null | grep -q IsViewable; }
    e2e_wait_until 10 e2e_resume_asked || e2e_fail "no question whether to take up the last count"
    E2E_ANSWERED_FROM=$(e2e_elapsed)
    xdotool windowactivate --sync "$box" key "$1" 2>/dev/null
    e2e_wait_until 5 e2e_resume_answered || e2e_fail "$1 did not answer whether to take up the last count"
}

# Gone, or a zombie waiting to be reaped.
e2e_app_ended() { [ ! -e "/proc/$E2E_APP_PID" ] || grep -q '^[^)]*) Z' "/proc/$E2E_APP_PID/stat" 2>/dev/null; }

# Closes the main window through the window manager: the program must end by itself, with status 0.
e2e_close_main_expect_exit() {
    local status
    wmctrl -i -c "$E2E_MAIN"
    e2e_wait_until 10 e2e_app_ended || e2e_fail "the program did not end when its main window was closed"
    wait "$E2E_APP_PID"
    status=$?
    [ "$status" = 0 ] || e2e_fail "the program ended with status $status"
}

# Prints the failure, what the X server shows and the program's output, keeps the work folder, exits 1.
# Callers may set E2E_APP_PID and E2E_APP_LOG to have the program described.
e2e_fail() {
    E2E_KEEP=1
    echo "FAIL: $*" >&2
    if [ -n "${DISPLAY:-}" ] && [ -n "$E2E_DIR" ]; then
        if [ -n "${E2E_APP_PID:-}" ]; then
            echo "windows of the program (pid $E2E_APP_PID):" >&2
            e2e_describe_windows "$E2E_APP_PID" >&2
            # Where each thread of a program that stopped answering stands.
            timeout 30 gdb -p "$E2E_APP_PID" -batch -ex "thread apply all bt" >"$E2E_DIR/stacks.txt" 2>&1 &&
                echo "the program's threads: $E2E_DIR/stacks.txt" >&2
        fi
        echo "all top-level windows:" >&2
        wmctrl -l -p 2>/dev/null | sed 's/^/  /' >&2
        e2e_screenshot "$E2E_DIR/failure.png" && echo "screen at failure: $E2E_DIR/failure.png" >&2
    fi
    if [ -n "${E2E_APP_LOG:-}" ] && [ -s "$E2E_APP_LOG" ]; then
        echo "program output (last 40 lines of $E2E_APP_LOG):" >&2
        tail -n 40 "$E2E_APP_LOG" >&2
    fi
    exit 1
}
