#!/usr/bin/env bash
# Whole-process figures of Lectern beside a bare Qt program (bench/bare_qt), measured in the same run on one
# private X server (Xvfb with openbox):
#   CPU       % of one core over the measuring span while the count runs, from /proc/PID/stat utime+stime and
#             from the scheduler's nanosecond run time of every thread (/proc/PID/task/*/schedstat). At about
#             0.15 % of a core a minute holds only some 9 clock ticks of 10 ms, so utime+stime moves in steps of
#             a tenth and the target is judged on the nanosecond figure (on ticks where schedstat is missing).
#   wake-ups  voluntary context switches of all threads (/proc/PID/task/*/status) per second: each is a sleep,
#             ended by a wake-up. The involuntary ones (a running thread preempted by another process) follow the
#             load of the machine rather than the program: shown beside them, unjudged.
#   RSS       VmRSS after the warm-up and at the end of the span
#   flips     how long after its instant each second the count shows was written to the rows, as Lectern traces
#             it under the logging category lectern.flip during the span (median and worst)
#   start-up  exec to the first window the X server maps (bench/map_wait, from the server's event; median of
#             21 starts, the programs taking turns, so a busy moment of the machine falls on both)
#   dialog    the settings dialog's first opening: from the S key sent to a freshly shown Lectern (xdotool, whose
#             own start is counted too) to the dialog's window mapped; median of several starts
# The yardstick draws its rows in the face Lectern picks (traced under lectern.font in the first, unmeasured
# start) and both programs must be linked alike: full RELRO, every symbol bound at load.
# Lectern runs from a copy in a temporary folder with a settings file of long periods, so no bell rings while it
# is measured. Both programs run side by side during the span, so a busy machine weighs on both alike.
#
# With --full-screen WxH the X server's screen has that size and a second copy of Lectern (from a folder of its
# own, with its own settings file) runs full screen on it during the same span; its CPU is set against the copy
# at its size at creation, with a target of at most twice.
#
# Usage: bench/process_figures.sh [--lectern PATH] [--bare PATH] [--seconds 60] [--warmup 10] [--starts 21]
#                                 [--dialogs 7] [--full-screen WxH]
# Exit status 0 when every figure meets its target, 1 when one does not, 2 on a failure to measure.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source-path=SCRIPTDIR source=../scripts/e2e_lib.sh
source "$root/scripts/e2e_lib.sh"

lectern=
bare=
seconds=60
warmup=10
starts=21
dialogs=7
full=
while [ $# -gt 0 ]; do
    case $1 in
    --lectern) lectern=$2; shift 2 ;;
    --bare) bare=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --warmup) warmup=$2; shift 2 ;;
    --starts) starts=$2; shift 2 ;;
    --dialogs) dialogs=$2; shift 2 ;;
    --full-screen) full=$2; shift 2 ;;
    *)
        echo "usage: $0 [--lectern PATH] [--bare PATH] [--seconds N] [--warmup N] [--starts N] [--dialogs N]" \
            "[--full-screen WxH]" >&2
        exit 2
        ;;
    esac
done

# The newest build of a target among the build folders, unless given.
newest() {
    local f best=
    for f in "$root"/build*/"$1"; do
        [ -x "$f" ] || continue
        if [ -z "$best" ] || [ "$f" -nt "$best" ]; then best=$f; fi
    done
    echo "$best"
}
[ -n "$lectern" ] || lectern=$(newest src/app/lectern)
[ -n "$bare" ] || bare=$(newest bench/bare_qt/bare_qt)
map_wait=$(newest bench/map_wait/map_wait)
for f in "$lectern" "$bare" "$map_wait"; do
    if [ ! -x "$f" ]; then
        echo "no executable '$f': build the targets lectern, bare_qt and map_wait first" >&2
        exit 2
    fi
done
if nm -C "$lectern" 2>/dev/null | grep -q __asan_init; then
    echo "warning: $lectern is a sanitizer build; its figures say little" >&2
fi
# Linked alike, or the yardstick's start weighs a different loader's work: full RELRO, bound at load.
for f in "$lectern" "$bare"; do
    if ! readelf -lW "$f" | grep -q GNU_RELRO || ! readelf -dW "$f" | grep -Eq '\(BIND_NOW\)|\(FLAGS_1\).*NOW'; then
        echo "$f is not linked with full RELRO and bound at load (-z relro -z now)" >&2
        exit 2
    fi
done

e2e_begin lectern-figures
e2e_start_x "${full:-1024x768}"

# Lectern's folders: a copy of the program and a settings file whose periods outlast the measurement.
programs=(lectern bare)
[ -n "$full" ] && programs+=(full)
mkdir -p "$E2E_DIR/bare"
cp "$bare" "$E2E_DIR/bare/bare_qt"
for p in lectern full; do
    mkdir -p "$E2E_DIR/$p"
    cp "$lectern" "$E2E_DIR/$p/lectern"
    e2e_write_ini "$E2E_DIR/$p" '600,300,2,""' '"講演の開始から",16776960,0' '"発表時間終了まで",65535,0' \
        '"質疑応答終了まで",65280,0' '"講演時間の超過は",65535,208' '#TRUE#,#FALSE#,#FALSE#'
done
export LANG=C.UTF-8 LC_ALL=C.UTF-8 SDL_AUDIODRIVER=dummy
unset QT_QPA_PLATFORM

# Starts program $1 (lectern or bare) in its folder as a child of this shell (so that it can be reaped at
# once); its pid goes to $launched. Every start of Lectern is a first start: the count a stopped copy left behind
# is removed, else the next one opens with the question whether to resume it, and is measured with that box up.
launched=
launch() {
    local run=(./lectern)
    [ "$1" = bare ] && run=(./bare_qt ${family:+"$family"})
    rm -f "$E2E_DIR/$1/Lectern.count"
    (cd "$E2E_DIR/$1" && exec env ${rules:+QT_LOGGING_RULES="$rules"} "${run[@]}") >>"$E2E_DIR/$1.log" 2>&1 &
    launched=$!
}

stop() {
    kill -TERM "$1" 2>/dev/null
    for _ in $(seq 50); do
        kill -0 "$1" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$1" 2>/dev/null
    wait "$1" 2>/dev/null
}

visible() { [ -n "$(xdotool search --onlyvisible --pid "$1" 2>/dev/null)" ]; }

# Seconds from exec to the first window mapped, appended to file $2. The yardstick is given the rows' face.
startup_once() {
    rm -f "$E2E_DIR/$1/Lectern.count"
    if [ "$1" = bare ]; then
        (cd "$E2E_DIR/$1" && exec "$map_wait" ./bare_qt ${family:+"$family"}) 2>>"$E2E_DIR/$1.log" >>"$2"
    else
        (cd "$E2E_DIR/$1" && exec env ${rules:+QT_LOGGING_RULES="$rules"} "$map_wait" ./lectern) \
            2>>"$E2E_DIR/$1.log" >>"$2"
    fi
}

minimum() { sort -n | head -1; }
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

family=
rules=lectern.font.debug=true
e2e_log "start-up: one unmeasured start each, then $starts each in turn"
startup_once lectern /dev/null || { echo "lectern showed no window; see $E2E_DIR/lectern.log" >&2; E2E_KEEP=1; exit 2; }
family=$(sed -n 's/^lectern\.font: rows in //p' "$E2E_DIR/lectern.log" | tail -1)
[ -n "$family" ] || { echo "lectern did not say which face its rows have" >&2; E2E_KEEP=1; exit 2; }
rules=
startup_once bare /dev/null || { echo "bare_qt showed no window" >&2; E2E_KEEP=1; exit 2; }
: >"$E2E_DIR/startup.lectern"
: >"$E2E_DIR/startup.bare"
for _ in $(seq "$starts"); do
    for p in lectern bare; do
        startup_once "$p" "$E2E_DIR/startup.$p" || { echo "$p: no window" >&2; exit 2; }
    done
done
start_lectern=$(median <"$E2E_DIR/startup.lectern")
start_bare=$(median <"$E2E_DIR/startup.bare")
min_lectern=$(minimum <"$E2E_DIR/startup.lectern")
min_bare=$(minimum <"$E2E_DIR/startup.bare")

# The settings dialog's first opening, each on a fresh copy once its window is up and has settled.
e2e_log "settings dialog: first opening, $dialogs starts"
: >"$E2E_DIR/dialog"
for _ in $(seq "$dialogs"); do
    launch lectern
    e2e_wait_until 30 visible "$launched" || { echo "lectern showed no window" >&2; E2E_KEEP=1; exit 2; }
    sleep 1
    xdotool windowactivate --sync "$(xdotool search --onlyvisible --pid "$launched" | head -1)" 2>/dev/null
    "$map_wait" --request xdotool key s >>"$E2E_DIR/dialog" 2>>"$E2E_DIR/lectern.log" ||
        { echo "no settings dialog after S" >&2; E2E_KEEP=1; exit 2; }
    stop "$launched"
done
dialog_median=$(median <"$E2E_DIR/dialog")

clk_tck=$(getconf CLK_TCK)

# utime+stime of the whole process, in clock ticks.
cpu_ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"; }
# Run time of all threads in nanoseconds, from the scheduler.
run_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%.0f\n", s }'; }
# Context switches of all threads: voluntary ones, then involuntary ones.
switches() {
    cat /proc/"$1"/task/*/status 2>/dev/null |
        awk '/^voluntary_ctxt_switches:/ { v += $2 } /^nonvoluntary_ctxt_switches:/ { n += $2 }
             END { printf "%.0f %.0f\n", v, n }'
}
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
threads() { awk '/^Threads:/ { print $2 }' "/proc/$1/status"; }

e2e_log "steady state: ${programs[*]} side by side, ${warmup} s warm-up, ${seconds} s measured"
declare -A pid
# The steady state traces each second shown; the starts above ran without it.
rules=lectern.flip.debug=true
for p in "${programs[@]}"; do
    launch "$p"
    pid[$p]=$launched
    e2e_track "${pid[$p]}"
    if ! e2e_wait_until 30 visible "${pid[$p]}"; then
        echo "$p showed no window" >&2
        E2E_KEEP=1
        exit 2
    fi
done
# Side by side, not overlapping, so each paints what it would paint alone.
xdotool windowmove "$(xdotool search --onlyvisible --pid "${pid[lectern]}" | head -1)" 0 0
xdotool windowmove "$(xdotool search --onlyvisible --pid "${pid[bare]}" | head -1)" 0 300
if [ -n "$full" ]; then
    wmctrl -i -r "$(xdotool search --onlyvisible --pid "${pid[full]}" | head -1)" -b add,fullscreen
    # shellcheck disable=SC2317 # called through e2e_wait_until
    full_size() { [ "$(e2e_window_size "$(xdotool search --onlyvisible --pid "${pid[full]}" | head -1)")" = "${full/x/ }" ]; }
    e2e_wait_until 10 full_size || { echo "the full-screen copy did not fill the screen" >&2; E2E_KEEP=1; exit 2; }
fi
sleep "$warmup"

declare -A c0 n0 s0 r0 t0 c1 n1 s1 r1 t1 th i0 i1
for p in "${programs[@]}"; do
    c0[$p]=$(cpu_ticks "${pid[$p]}")
    n0[$p]=$(run_ns "${pid[$p]}")
    read -r "s0[$p]" "i0[$p]" < <(switches "${pid[$p]}")
    r0[$p]=$(rss_kb "${pid[$p]}")
done
w0=$(e2e_now)
flip0=$(wc -l <"$E2E_DIR/lectern.log")
sleep "$seconds"
w1=$(e2e_now)
flip1=$(wc -l <"$E2E_DIR/lectern.log")
for p in "${programs[@]}"; do
    if ! kill -0 "${pid[$p]}" 2>/dev/null; then
        echo "$p ended during the measurement; see $E2E_DIR/$p.log" >&2
        E2E_KEEP=1
        exit 2
    fi
    c1[$p]=$(cpu_ticks "${pid[$p]}")
    n1[$p]=$(run_ns "${pid[$p]}")
    read -r "s1[$p]" "i1[$p]" < <(switches "${pid[$p]}")
    r1[$p]=$(rss_kb "${pid[$p]}")
    th[$p]=$(threads "${pid[$p]}")
done
e2e_screenshot "$E2E_DIR/screen.png"

span=$(awk -v a="$w0" -v b="$w1" 'BEGIN { printf "%.3f", b - a }')
declare -A cpu cpu_ns wake preempt rss rss_warm
for p in "${programs[@]}"; do
    cpu[$p]=$(awk -v a="${c0[$p]}" -v b="${c1[$p]}" -v hz="$clk_tck" -v s="$span" \
        'BEGIN { printf "%.3f", (b - a) / hz / s * 100 }')
    cpu_ns[$p]=$(awk -v a="${n0[$p]}" -v b="${n1[$p]}" -v s="$span" 'BEGIN { printf "%.3f", (b - a) / 1e9 / s * 100 }')
    wake[$p]=$(awk -v a="${s0[$p]}" -v b="${s1[$p]}" -v s="$span" 'BEGIN { printf "%.2f", (b - a) / s }')
    preempt[$p]=$(awk -v a="${i0[$p]}" -v b="${i1[$p]}" -v s="$span" 'BEGIN { printf "%.2f", (b - a) / s }')
    rss[$p]=$(awk -v k="${r1[$p]}" 'BEGIN { printf "%.1f", k / 1024 }')
    rss_warm[$p]=$(awk -v k="${r0[$p]}" 'BEGIN { printf "%.1f", k / 1024 }')
done

verdict() { if awk "BEGIN { exit !($1) }"; then echo ok; else echo MISSED; fi; }
cpu_ratio=$(awk -v a="${cpu_ns[lectern]}" -v b="${cpu_ns[bare]}" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
cpu_ratio_ticks=$(awk -v a="${cpu[lectern]}" -v b="${cpu[bare]}" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
rss_diff=$(awk -v a="${rss[lectern]}" -v b="${rss[bare]}" 'BEGIN { printf "%+.1f", a - b }')
start_ratio=$(awk -v a="$start_lectern" -v b="$start_bare" 'BEGIN { printf "%.2f", a / b }')
if awk -v a="${cpu_ns[bare]}" 'BEGIN { exit !(a > 0) }'; then
    judged=ns
    v_cpu=$(verdict "$cpu_ratio <= 1.2")
else
    judged=ticks
    v_cpu=$(verdict "$cpu_ratio_ticks <= 1.2")
fi
v_cpu_ticks=$([ $judged = ticks ] && echo "$v_cpu")
v_cpu_ns=$([ $judged = ns ] && echo "$v_cpu")
min_ratio=$(awk -v a="$min_lectern" -v b="$min_bare" 'BEGIN { printf "%.2f", a / b }')
v_wake=$(verdict "${wake[lectern]} <= 1.2")
v_rss=$(verdict "$rss_diff <= 3")
v_start=$(verdict "$start_ratio <= 1.15")
v_dialog=$(verdict "$dialog_median < 0.1")
# Milliseconds late of each second shown in the span; a build without the trace has none.
sed -n "$((flip0 + 1)),${flip1}p" "$E2E_DIR/lectern.log" |
    sed -n 's/^lectern\.flip: second [0-9]* shown \(-\{0,1\}[0-9.]*\) ms after its instant$/\1/p' >"$E2E_DIR/flips"
flips=$(wc -l <"$E2E_DIR/flips")
if [ "$flips" -gt 0 ]; then
    flip_median=$(median <"$E2E_DIR/flips")
    flip_worst=$(sort -n "$E2E_DIR/flips" | tail -1)
    v_flip=$(verdict "$flip_worst <= 5")
else
    flip_median=n/a
    flip_worst=n/a
    v_flip=
fi

echo
echo "Whole-process figures, $(date -u +%Y-%m-%dT%H:%MZ), $(nproc) cores, span ${span} s after ${warmup} s warm-up"
echo "  lectern: $lectern"
echo "  bare_qt: $bare (rows in $family)"
printf '%-34s %12s %12s %14s %12s %s\n' figure lectern bare_qt "lectern/bare" target verdict
printf '%-34s %12s %12s %14s %12s %s\n' "CPU % of a core (utime+stime)" "${cpu[lectern]}" "${cpu[bare]}" \
    "${cpu_ratio_ticks}x" "<= 1.2x" "$v_cpu_ticks"
printf '%-34s %12s %12s %14s %12s %s\n' "CPU % of a core (scheduler ns)" "${cpu_ns[lectern]}" "${cpu_ns[bare]}" \
    "${cpu_ratio}x" "<= 1.2x" "$v_cpu_ns"
printf '%-34s %12s %12s %14s %12s %s\n' "wake-ups per second, all threads" "${wake[lectern]}" "${wake[bare]}" "" \
    "<= 1.2" "$v_wake"
printf '%-34s %12s %12s\n' "preemptions per second (load)" "${preempt[lectern]}" "${preempt[bare]}"
printf '%-34s %12s %12s %14s %12s %s\n' "RSS MB at end of span" "${rss[lectern]}" "${rss[bare]}" "${rss_diff} MB" \
    "<= +3 MB" "$v_rss"
printf '%-34s %12s %12s\n' "RSS MB after warm-up" "${rss_warm[lectern]}" "${rss_warm[bare]}"
printf '%-34s %12s %12s\n' "threads" "${th[lectern]}" "${th[bare]}"
printf '%-34s %12s %12s %14s %12s %s\n' "start-up to window s (median of $starts)" "$start_lectern" "$start_bare" \
    "${start_ratio}x" "<= 1.15x" "$v_start"
printf '%-34s %12s %12s %14s %12s %s\n' "second shown ms late, median ($flips)" "$flip_median" "" "" "" ""
printf '%-34s %12s %12s %14s %12s %s\n' "second shown ms late, worst" "$flip_worst" "" "" "<= 5" "$v_flip"
printf '%-34s %12s %12s %14s\n' "start-up to window s (fastest)" "$min_lectern" "$min_bare" "${min_ratio}x"
printf '%-34s %12s %12s %14s %12s %s\n' "settings dialog opened s (med. $dialogs)" "$dialog_median" "" "" "< 0.1" \
    "$v_dialog"
echo "  start-up samples lectern: $(tr '\n' ' ' <"$E2E_DIR/startup.lectern")"
echo "  start-up samples bare_qt: $(tr '\n' ' ' <"$E2E_DIR/startup.bare")"
echo "  settings dialog samples:  $(tr '\n' ' ' <"$E2E_DIR/dialog")"
echo "  start-up medians: lectern $start_lectern s, bare_qt $start_bare s (${start_ratio}x)"
v_full=
if [ -n "$full" ]; then
    full_ratio=$(awk -v a="${cpu_ns[full]}" -v b="${cpu_ns[lectern]}" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
    v_full=$(verdict "$full_ratio <= 2")
    printf '%-34s %12s %12s %14s %12s %s\n' figure "full screen" "at creation" "full/creation" target verdict
    printf '%-34s %12s %12s %14s %12s %s\n' "CPU % of a core (scheduler ns)" "${cpu_ns[full]}" "${cpu_ns[lectern]}" \
        "${full_ratio}x" "<= 2x" "$v_full"
    printf '%-34s %12s %12s\n' "RSS MB at end of span" "${rss[full]}" "${rss[lectern]}"
    echo "  full screen: $full"
fi

case "$v_cpu$v_wake$v_rss$v_start$v_dialog$v_flip$v_full" in
*MISSED*) exit 1 ;;
*) exit 0 ;;
esac
