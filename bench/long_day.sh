#!/usr/bin/env bash
# A long day of the real program on a private X server (Xvfb with openbox), to show that it neither grows nor
# leaks with use. Talks of a few seconds run one after another with their bells (SDL's dummy driver, so the bells
# go through the output without a sound card), and the program is used as a speaker would use it:
#   every 20 s  the count is restarted through the prompt (left click, Return): the lower row must be in the
#               overtime colours before and back in the first pair after;
#   every 60 s  the settings window is opened (right press), the presentation time switched between two values
#               and 設定変更のみ pressed: Lectern.ini must then hold exactly the bytes of the new settings;
#   every 10 s  VmRSS (/proc/PID/status) and the open descriptors (/proc/PID/fd) are sampled, one line a sample.
# At the end the day is judged: RSS grew by less than 1024 kB from the sample at minute 2 to the last one, no
# sample after minute 2 holds more descriptors than the one at minute 2, the program said nothing on stderr, every
# restart and every change of settings did what it should, and the program was still running and ended with
# status 0 when its main window was closed.
#
# --lose-display instead takes the X server away under the running program (SIGKILL to Xvfb), three times: with
# the count running, with the settings window open, and while a bell plays. Each time the program runs with
# `ulimit -c unlimited` in a folder of its own, and what it did is reported: how it ended (status or signal),
# what it wrote on stderr, and whether a core file appeared. It passes when the program ended by itself within
# 10 s, not by a signal, and left no core.
#
# Usage: bench/long_day.sh [--minutes N] [--lose-display] [PATH-TO-LECTERN]
#   --minutes N     length of the day, at least 3 (default 30)
#   --lose-display  the display-loss cases instead of the day
# The program defaults to build/src/app/lectern. E2E_KEEP_DIR=1 keeps the work folder. Exit status 0 when
# everything judged holds, 1 when something does not (or the program could not be driven).
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source-path=SCRIPTDIR source=../scripts/e2e_lib.sh
source "$root/scripts/e2e_lib.sh"

minutes=30
lose_display=0
lectern=$root/build/src/app/lectern
usage() { echo "usage: $0 [--minutes N] [--lose-display] [PATH-TO-LECTERN]" >&2; exit 1; }
while [ $# -gt 0 ]; do
    case $1 in
    --minutes) [ $# -ge 2 ] || usage; minutes=$2; shift 2 ;;
    --lose-display) lose_display=1; shift ;;
    -*) usage ;;
    *) lectern=$1; shift ;;
    esac
done
if ! [[ $minutes =~ ^[0-9]+$ ]] || [ "$minutes" -lt 3 ]; then
    echo "--minutes takes a whole number of at least 3" >&2
    exit 1
fi
[ -x "$lectern" ] || { echo "not an executable: $lectern (build the target lectern first)" >&2; exit 1; }

e2e_begin lectern-long-day
echo "work folder: $E2E_DIR" >&2
# The lock that keeps one running copy per settings file lives in the runtime folder: a private one.
runtime=$E2E_DIR/runtime
mkdir -m 0700 "$runtime"

# Colour values are 0x00BBGGRR. Each phase has a background of its own, so the lower row tells the phase.
declare -A bg fg
bg[1]=000080 fg[1]=00FFFF
bg[2]=800080 fg[2]=FFFF00
bg[3]=008000 fg[3]=00FF00
bg[4]=D00000 fg[4]=FFFFFF
bgr() { printf '%d' "0x${1:4:2}${1:2:2}${1:0:2}"; }
rows=()
headings=(講演の開始から 発表時間終了まで 質疑応答終了まで 講演時間の超過は)
for k in 1 2 3 4; do
    rows+=("\"${headings[k - 1]}\",$(bgr "${fg[$k]}"),$(bgr "${bg[$k]}")")
done
rows+=('#TRUE#,#FALSE#,#FALSE#')

# A program folder with a copy of the program, a bell of $2 seconds and a settings file: presentation $3 minutes,
# discussion 0.1, warning 0.05. $1 is the folder.
make_app_folder() {
    mkdir -p "$1"
    cp "$lectern" "$1/lectern"
    sox -n -r 22050 -c 1 -b 16 -e signed-integer "$1/bell.wav" synth "$2" sine 880 vol 0.5 ||
        e2e_fail "sox could not make the bell"
    e2e_write_ini "$1" "$3,0.1,0.05,\"$1/bell.wav\"" "${rows[@]}"
}

# Starts the program in folder $1 as a child of this shell, stdout and stderr apart; $2 = cores lets it write a
# core file of any size. Sets E2E_APP_PID, E2E_APP_LOG (its stderr), E2E_MAIN, MW and MH.
start_app() {
    E2E_APP_LOG=$1/stderr.txt
    (
        cd "$1" || exit 1
        if [ "${2:-}" = cores ]; then ulimit -c unlimited || exit 1; fi
        exec env -u QT_QPA_PLATFORM LANG=C.UTF-8 LC_ALL=C.UTF-8 XDG_RUNTIME_DIR="$runtime" SDL_AUDIODRIVER=dummy \
            ./lectern
    ) >"$1/stdout.txt" 2>"$E2E_APP_LOG" &
    E2E_APP_PID=$!
    e2e_track "$E2E_APP_PID"
    if ! e2e_wait_until 20 e2e_app_shown_or_ended || ! E2E_MAIN=$(e2e_app_window Lectern); then
        e2e_fail "no window titled Lectern appeared"
    fi
    read -r MW MH < <(e2e_window_size "$E2E_MAIN")
}

settings() { e2e_app_window 設定; }
no_settings() { ! settings >/dev/null; }
prompt() { e2e_app_window Lectern "$E2E_MAIN"; }
no_prompt() { ! prompt >/dev/null; }

# Opens the settings window with a right press; sets dialog, DW and DH.
open_settings() {
    xdotool mousemove --window "$E2E_MAIN" $((MW / 2)) $((MH / 2)) click 3
    e2e_wait_until 5 settings >/dev/null || return 1
    dialog=$(settings)
    read -r DW DH < <(e2e_window_size "$dialog")
    xdotool windowactivate --sync "$dialog" 2>/dev/null
    sleep 0.3
}

# Clicks the centre of a control of the settings window given by its design place in twips (left top width
# height), scaled to the window's size.
click_control() {
    local x y
    x=$(awk -v l="$1" -v w="$3" -v W="$DW" 'BEGIN { printf "%d", (l + w / 2) * W / 6780 }')
    y=$(awk -v t="$2" -v h="$4" -v H="$DH" 'BEGIN { printf "%d", (t + h / 2) * H / 4710 }')
    xdotool mousemove --window "$dialog" "$x" "$y" click 1
    sleep 0.2
}
presenPeriod=(2040 2400 495 270)
okBtn=(3360 4080 1215 495)

# ---------------------------------------------------------------------------------------------------------------
# The display goes away.
if [ "$lose_display" = 1 ]; then
    e2e_watchdog 180
    trap 'e2e_fail "the run ran out of time"' TERM
    core_pattern=$(cat /proc/sys/kernel/core_pattern 2>/dev/null)
    echo "kernel.core_pattern: $core_pattern"
    case $core_pattern in
    '|'*) echo "note: cores go to a helper program, not to the working folder; only the status tells" ;;
    esac
    failed=0
    # How the program started last ended: sets status and how.
    reap_app() {
        local t_from=$1 took
        if e2e_wait_until 10 e2e_app_ended; then
            wait "$E2E_APP_PID"
            status=$?
            took=$(awk -v a="$t_from" -v b="$(e2e_now)" 'BEGIN { printf "%.2f", b - a }')
            if [ "$status" -gt 128 ]; then
                how="killed by SIG$(kill -l $((status - 128))) (status $status) after $took s"
            else
                how="ended with status $status after $took s"
            fi
        else
            status=running
            how="still running 10 s later"
        fi
    }
    cores_in() { find "$1" -maxdepth 1 -name 'core*' -type f -printf '%f (%s bytes) ' 2>/dev/null; }
    show_stderr() {
        if [ -s "$E2E_APP_LOG" ]; then
            echo "   stderr:"
            sed 's/^/     /' "$E2E_APP_LOG"
        else
            echo "   stderr: (empty)"
        fi
    }

    # First make sure that a crash would show: the same start, ended with SIGABRT, must leave a core file.
    dir=$E2E_DIR/calibration
    make_app_folder "$dir" 0.3 0.15
    e2e_start_x 1024x768
    start_app "$dir" cores
    t_kill=$(e2e_now)
    kill -ABRT "$E2E_APP_PID"
    reap_app "$t_kill"
    cores=$(cores_in "$dir")
    echo "== calibration, SIGABRT sent to the program: $how; core file: ${cores:-none}"
    if [ "$status" != 134 ] || [ -z "$cores" ]; then
        echo "   a crash would leave no core file here: the cases below cannot tell a crash by its core"
        failed=1
    fi
    rm -f "$dir"/core*
    kill -KILL "$E2E_XVFB_PID"
    wait "$E2E_XVFB_PID" 2>/dev/null

    for case_name in counting settings-open bell-playing; do
        dir=$E2E_DIR/$case_name
        # A 4 s bell, so that one still sounds when the warning's bell has rung (6 s after the start).
        make_app_folder "$dir" 4 0.15
        e2e_start_x 1024x768
        start_app "$dir" cores
        case $case_name in
        counting) sleep 3 ;;
        settings-open) open_settings || e2e_fail "a right press opened no window titled 設定" ;;
        bell-playing)
            # The warning starts 6 s after the start; the output thread of SDL is there while the bell sounds.
            sleep 7
            ;;
        esac
        threads=$(awk '/^Threads:/ { print $2 }' "/proc/$E2E_APP_PID/status")
        e2e_log "$case_name: killing Xvfb ($E2E_XVFB_PID) under the program ($E2E_APP_PID, $threads threads)"
        t_kill=$(e2e_now)
        kill -KILL "$E2E_XVFB_PID"
        wait "$E2E_XVFB_PID" 2>/dev/null
        reap_app "$t_kill"
        [ "$status" = running ] || [ "$status" -gt 128 ] && failed=1
        cores=$(cores_in "$dir")
        [ -n "$cores" ] && failed=1
        echo "== display lost, $case_name ($threads threads): $how; core file: ${cores:-none}"
        show_stderr
    done

    # The program that lost its display ended without unwinding: its lock must not keep the next start out.
    echo "   left in the runtime folder: $(find "$runtime" -mindepth 1 -printf '%f ' | tr -s ' ')"
    dir=$E2E_DIR/bell-playing
    e2e_start_x 1024x768
    start_app "$dir"
    wmctrl -i -c "$E2E_MAIN"
    reap_app "$(e2e_now)"
    [ "$status" = 0 ] || failed=1
    echo "== started again with the same settings file: a window titled Lectern was shown; on closing it $how"
    show_stderr
    if [ "$failed" = 0 ]; then
        echo "verdict: PASS (the program ends by itself, without a signal or a core, when its display goes away)"
        exit 0
    fi
    E2E_KEEP=1
    echo "verdict: FAIL"
    exit 1
fi

# ---------------------------------------------------------------------------------------------------------------
# The day.
e2e_watchdog $((minutes * 60 + 180))
trap 'e2e_fail "the day ran out of time"' TERM
app=$E2E_DIR/app
# Presentation 0.15 or 0.1 minutes (9 or 6 s), discussion 6 s, warning 3 s: a talk is in overtime after 15 s at
# the latest, so each restart (20 s apart) finds it there, and its warning, discussion and overtime have rung.
make_app_folder "$app" 0.3 0.15
values=(0.1 0.15)
for v in "${values[@]}"; do
    e2e_write_ini "$E2E_DIR" "$v,0.1,0.05,\"$app/bell.wav\"" "${rows[@]}"
    mv "$E2E_DIR/Lectern.ini" "$E2E_DIR/expected-$v.ini"
done
cmp -s "$app/Lectern.ini" "$E2E_DIR/expected-0.15.ini" || e2e_fail "the two writings of the settings file differ"

e2e_start_x 1024x768
start_app "$app"
pid=$E2E_APP_PID
t0=$(e2e_now)
e2e_log "main window $E2E_MAIN, ${MW}x${MH}; a day of $minutes minutes begins"

# The lower row's background, from a shot of the main window (most frequent colour of the row's inside).
lower_bg() {
    local half=$((MH / 2))
    e2e_window_shot "$E2E_MAIN" "$E2E_DIR/shot.png" || return 1
    e2e_region_colours "$E2E_DIR/shot.png" 6 $((half + 4)) $((MW - 12)) $((MH - half - 8)) | awk 'NR == 1 { print $2 }'
}
lower_in_phase() { [ "$(lower_bg)" = "${bg[$1]}" ]; }

restarts=0
applies=0
tried_restarts=0
tried_applies=0
failures=0
failure_log=$E2E_DIR/failures.txt
: >"$failure_log"
failed_op() {
    failures=$((failures + 1))
    printf '[%s s] %s\n' "$(awk -v a="$t0" -v b="$(e2e_now)" 'BEGIN { printf "%.1f", b - a }')" "$*" |
        tee -a "$failure_log" >&2
    e2e_screenshot "$E2E_DIR/failure-$failures.png"
}

restart_count() {
    local seen
    seen=$(lower_bg)
    [ "$seen" = "${bg[4]}" ] || { failed_op "restart: before it the lower row was $seen, not overtime ${bg[4]}"; }
    xdotool mousemove --window "$E2E_MAIN" $((MW / 2)) $((MH / 2)) click 1
    if ! e2e_wait_until 5 prompt >/dev/null; then
        failed_op "restart: a left click opened no prompt"
        return
    fi
    xdotool windowactivate --sync "$(prompt)" key Return 2>/dev/null
    if ! e2e_wait_until 5 no_prompt; then
        failed_op "restart: Return did not close the prompt"
        xdotool windowactivate --sync "$(prompt)" key Escape 2>/dev/null
        return
    fi
    if ! e2e_wait_until 3 lower_in_phase 1; then
        failed_op "restart: the lower row did not come back to the first pair (${bg[1]}), it is $(lower_bg)"
        return
    fi
    restarts=$((restarts + 1))
}

file_is() { cmp -s "$app/Lectern.ini" "$1"; }

# Switches the presentation time to the other value and confirms with 設定変更のみ.
apply_settings() {
    local value=${values[applies % 2]} expected
    expected=$E2E_DIR/expected-$value.ini
    if ! open_settings; then
        failed_op "apply: a right press opened no window titled 設定"
        return
    fi
    click_control "${presenPeriod[@]}"
    xdotool key ctrl+a
    xdotool type --delay 30 "$value"
    sleep 0.2
    click_control "${okBtn[@]}"
    if ! e2e_wait_until 5 no_settings; then
        failed_op "apply: 設定変更のみ did not hide the settings window (presentation $value)"
        wmctrl -i -c "$dialog"
        return
    fi
    if ! e2e_wait_until 3 file_is "$expected"; then
        failed_op "apply: Lectern.ini is not the expected file for presentation $value"
        cp "$app/Lectern.ini" "$E2E_DIR/unexpected-$failures.ini"
        return
    fi
    applies=$((applies + 1))
}

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null; }
fd_count() { find "/proc/$pid/fd" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l; }
fd_list() {
    local f
    for f in "/proc/$pid/fd"/*; do printf '%s -> %s\n' "${f##*/}" "$(readlink "$f")"; done
}

samples=$E2E_DIR/samples.txt
: >"$samples"
base_tick=12
last_tick=$((minutes * 6))
printf '%9s %9s %5s %9s %8s\n' elapsed-s RSS-kB fds restarts applies
for ((tick = 0; tick <= last_tick; tick++)); do
    # Every 10 s from the first window, whatever the work in between took.
    wait_s=$(awk -v t0="$t0" -v k="$tick" -v now="$(e2e_now)" 'BEGIN { w = t0 + 10 * k - now; printf "%.3f", (w > 0 ? w : 0) }')
    sleep "$wait_s"
    if e2e_app_ended; then
        failed_op "the program ended by itself"
        break
    fi
    elapsed=$(awk -v a="$t0" -v b="$(e2e_now)" 'BEGIN { printf "%.1f", b - a }')
    line=$(printf '%9s %9s %5s %9s %8s' "$elapsed" "$(rss_kb)" "$(fd_count)" "$restarts" "$applies")
    echo "$line"
    echo "$tick $line" >>"$samples"
    [ "$tick" = "$base_tick" ] && fd_list >"$E2E_DIR/fds-at-2min.txt"
    [ "$tick" = "$last_tick" ] && break
    if [ $((tick % 2)) = 0 ] && [ "$tick" -gt 0 ]; then
        tried_restarts=$((tried_restarts + 1))
        restart_count
    fi
    # The settings change halfway between two restarts, while a talk runs.
    if [ $((tick % 6)) = 3 ]; then
        tried_applies=$((tried_applies + 1))
        apply_settings
    fi
done
fd_list >"$E2E_DIR/fds-at-end.txt" 2>/dev/null

# --- the end of the day -------------------------------------------------------------------------------------------
running=no
e2e_app_ended || running=yes
exit_status=none
if [ "$running" = yes ]; then
    wmctrl -i -c "$E2E_MAIN"
    if e2e_wait_until 10 e2e_app_ended; then
        wait "$pid"
        exit_status=$?
    else
        exit_status="still running 10 s after its window was closed"
    fi
fi

base=$(awk -v k="$base_tick" '$1 == k' "$samples")
last=$(tail -n 1 "$samples")
if [ -z "$base" ]; then
    E2E_KEEP=1
    echo "verdict: FAIL (the program ended before minute 2; see $E2E_DIR)"
    exit 1
fi
read -r _ base_t base_rss base_fds _ <<<"$base"
read -r _ last_t last_rss last_fds _ <<<"$last"
max_rss=$(awk -v k="$base_tick" '$1 >= k && $3 > m { m = $3 } END { print m + 0 }' "$samples")
max_fds=$(awk -v k="$base_tick" '$1 >= k && $4 > m { m = $4 } END { print m + 0 }' "$samples")
n_samples=$(wc -l <"$samples")
growth=$((last_rss - base_rss))
stderr_lines=$(wc -l <"$E2E_APP_LOG")
stderr_bytes=$(wc -c <"$E2E_APP_LOG")

# ok or FAILED after the status of the test just made.
verdict() { if [ "$1" = 0 ]; then echo ok; else echo FAILED; fi; }
[ "$growth" -lt 1024 ]
v_rss=$(verdict $?)
[ "$max_fds" -le "$base_fds" ]
v_fds=$(verdict $?)
[ "$stderr_bytes" = 0 ]
v_err=$(verdict $?)
[ "$failures" = 0 ] && [ "$tried_restarts" -gt 0 ] && [ "$restarts" = "$tried_restarts" ] &&
    [ "$tried_applies" -gt 0 ] && [ "$applies" = "$tried_applies" ]
v_ops=$(verdict $?)
[ "$running" = yes ] && [ "$exit_status" = 0 ]
v_end=$(verdict $?)

echo
echo "A long day of Lectern, $(date -u +%Y-%m-%dT%H:%MZ): $minutes minutes, $n_samples samples, $lectern"
printf '  %-62s %s\n' "RSS: ${base_rss} kB at ${base_t} s, ${last_rss} kB at ${last_t} s, growth ${growth} kB (max ${max_rss}), < 1024" "$v_rss"
printf '  %-62s %s\n' "descriptors: ${base_fds} at ${base_t} s, at most ${max_fds} after, ${last_fds} at the end" "$v_fds"
printf '  %-62s %s\n' "stderr of the program: ${stderr_lines} lines, ${stderr_bytes} bytes" "$v_err"
printf '  %-62s %s\n' "restarts ${restarts}/${tried_restarts}, settings applied ${applies}/${tried_applies}, ${failures} failures" "$v_ops"
printf '  %-62s %s\n' "running at the end: ${running}; status when its window was closed: ${exit_status}" "$v_end"
if [ "$v_fds" != ok ]; then
    echo "  descriptors at minute 2 and at the end:"
    diff "$E2E_DIR/fds-at-2min.txt" "$E2E_DIR/fds-at-end.txt" | sed 's/^/    /'
fi
if [ "$v_err" != ok ]; then
    echo "  stderr (first 20 lines):"
    head -n 20 "$E2E_APP_LOG" | sed 's/^/    /'
fi
[ -s "$failure_log" ] && { echo "  failures:"; sed 's/^/    /' "$failure_log"; }

case "$v_rss$v_fds$v_err$v_ops$v_end" in
*FAILED*)
    E2E_KEEP=1
    echo "verdict: FAIL"
    exit 1
    ;;
esac
echo "verdict: PASS"
