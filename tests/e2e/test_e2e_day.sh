#!/usr/bin/env bash
# A chair's day on the real program: a talk of 45 s presentation (warning 15 s before its end) and 30 s discussion.
# Space for 3 s: the rows stand still, no bell rings, and the count goes on from where it stood (within 0.2 s);
# → three times moves it into the warning with one bell once the presses stop, N into the discussion with two;
# `lectern --pause` from another shell pauses and goes on. Killed in the discussion and started again, Yes takes
# the count up where it would be (the caption, minimised, read within 1 s); killed again, No leaves a fresh count,
# which nobody uses for 11 s and `lectern --restart` ends; that talk, moved on 15 s by `lectern --adjust`, is
# closed, taken up with `--full-screen --serve=PORT`, killed, and taken up again: full screen, the view on PORT
# with the token it had; closing ends it; `lectern --pause` then finds no copy. talks.csv lists the two talks,
# numbered 1 and 2, their times within 1 s of what was seen, their starts before the clicks by their moves.
# Usage: test_e2e_day.sh PATH-TO-LECTERN (E2E_SLOWDOWN as usual).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=../../scripts/e2e_lib.sh
source "$here/../../scripts/e2e_lib.sh"

e2e_test_begin lectern-e2e-day "${1:?usage: $0 PATH-TO-LECTERN}"
app=$E2E_APP_DIR
export TZ=UTC # the list's times of day, read back by date(1)
sox -n -r 22050 -c 1 -b 16 -e signed-integer "$app/bell.wav" synth 0.15 sine 1000 vol 0.8 pad 0 0.3 ||
    e2e_fail "sox could not make the bell"
e2e_write_ini "$app" "0.75,0.5,0.25,\"$app/bell.wav\"" '"講演の開始から",16776960,8388608' \
    '"発表時間終了まで",65535,8388736' '"質疑応答終了まで",65280,32768' '"講演時間の超過は",16777215,208' \
    '#TRUE#,#FALSE#,#FALSE#'
declare -A phase_of=([000080]=1 [800080]=2 [008000]=3 [D00000]=4) # the lower row's background
e2e_collect_audio
e2e_start_x 1024x768

now() { e2e_elapsed; }
calc() { awk "BEGIN { print $1 }"; }
past() { awk -v t="$(now)" -v d="$1" 'BEGIN { exit !(t > d) }'; }
# Whether the interval [$1, $2] comes within $4 of $3.
near() { awk -v a="$1" -v b="$2" -v x="$3" -v d="$4" 'BEGIN { exit !(b >= x - d && a <= x + d) }'; }
title_is() { [ "$(xdotool getwindowname "$main" 2>/dev/null)" = "$1" ]; }
press() { xdotool windowactivate --sync "$main" key --clearmodifiers "$@" 2>/dev/null; }
look() { import -window "$main" rgb:- 2>/dev/null | md5sum | cut -c1-16; }
# Minimised, the caption shows the count, MM:SS/Lectern.
counted() {
    [[ $(xdotool getwindowname "$main" 2>/dev/null) =~ ^([0-9]{2}):([0-9]{2})/Lectern$ ]] &&
        echo $((10#${BASH_REMATCH[1]} * 60 + 10#${BASH_REMATCH[2]}))
}
phase_is() {
    local bg
    e2e_window_shot "$main" "$E2E_DIR/shot.png"
    bg=$(e2e_region_colours "$E2E_DIR/shot.png" 4 $((H / 2 + 4)) 20 10 | awk 'NR == 1 { print $2 }')
    [ "${phase_of[${bg:-none}]:-}" = "$1" ]
}
audio_bytes() { stat -c %s "$E2E_DIR/audio.raw"; }
# Bells sounded after byte $1: bursts of tone more than 200 samples apart.
bells_since() {
    tail -c +"$(($1 + 1))" "$E2E_DIR/audio.raw" | od -An -v -td2 -w2 |
        awk 'BEGIN { last = -1000 } ($1 > 300 || $1 < -300) { if (NR - last > 200) n++; last = NR } END { print n + 0 }'
}
# turn LIMIT READER [BEFORE]: prints "LO HI VALUE" once READER's output changes from BEFORE (else from its first
# output), the change lying between LO and HI.
turn() {
    local deadline lo hi ta v before=${3:-}
    deadline=$(calc "$(now) + $(e2e_scaled "$1")")
    lo=$(now)
    while :; do
        ta=$(now) v=$($2) hi=$(now)
        if [ -n "$v" ]; then
            [ -n "$before" ] && [ "$v" != "$before" ] && break
            before=$v lo=$ta
        fi
        past "$deadline" && return 1
    done
    echo "$lo $hi $v"
}
# After a kill: starts the copy again and answers its question with the key $1.
relaunch() {
    kill -KILL "$E2E_APP_PID" && wait "$E2E_APP_PID" 2>/dev/null
    E2E_KEEP_COUNT=1 e2e_launch_app "${E2E_AUDIO_ENV[@]}"
    e2e_answer_resume "$1"
    main=$E2E_MAIN
}
remote() { (cd "$app" && env -u DISPLAY LC_ALL=en_US.UTF-8 ./lectern "$@") 2>"$E2E_DIR/remote.err"; }

t_launch1=$(now)
e2e_launch_app "${E2E_AUDIO_ENV[@]}"
main=$E2E_MAIN t_map1=$(now)
read -r _ H < <(e2e_window_size "$main")
xdotool windowactivate --sync "$main" 2>/dev/null

# Space just after the rows turn a second (the second turn seen: the first may be a first paint), Space 3 s later.
read -r _ _ look0 < <(turn 3 look) || e2e_fail "the rows did not count"
read -r t1_lo t1_hi look1 < <(turn 3 look "$look0") || e2e_fail "the rows did not count"
p1_a=$(now) && xdotool key space && p1_b=$(now)
e2e_wait_until 2 title_is "Lectern（一時停止）" || e2e_fail "Space did not pause"
bytes=$(audio_bytes)
declare -A looks=()
until past "$(calc "$p1_a + 3")"; do looks[$(look)]=1; done
[ "$(audio_bytes)" = "$bytes" ] || e2e_fail "a bell rang in the pause"
p2_a=$(now) && xdotool key space && p2_b=$(now)
e2e_wait_until 2 title_is Lectern || e2e_fail "the second Space did not go on"
lit() { [ "$(look)" = "$look1" ]; }
e2e_wait_until 0.5 lit || e2e_fail "after the pause the rows did not show what they showed before it"
read -r t2_lo t2_hi _ < <(turn 3 look "$look1") || e2e_fail "the rows did not count after the pause"
# Paused, the rows say 一時停止 where the heading was, lit or dimmed: two looks, never the count's own, never another.
[ -z "${looks[$look1]:-}" ] && [ "${#looks[@]}" -le 2 ] ||
    e2e_fail "the rows changed in the pause, or did not say it: ${#looks[@]} looks"
# From the turn before the pause to the next after it the count ran one second, the pause left out.
near "$(calc "$p1_a - $t1_hi + $t2_lo - $p2_b")" "$(calc "$p1_b - $t1_lo + $t2_hi - $p2_a")" 1 "$(e2e_scaled 0.2)" ||
    e2e_fail "the rows turned at [$t1_lo, $t1_hi] and [$t2_lo, $t2_hi], paused [$p1_a, $p1_b] to [$p2_a, $p2_b]"

# → three times into the warning, N into the discussion: the colours and bells of the phase entered.
# The bells of the arrows wait 1.5 s for more presses.
for step in "2 1 3 Right Right Right" "3 2 1.5 n"; do
    read -r phase bells wait keys <<<"$step"
    bytes=$(audio_bytes)
    # shellcheck disable=SC2086 # the keys are words of their own
    press $keys
    e2e_wait_until 2 phase_is "$phase" || e2e_fail "$keys did not bring the colours of phase $phase"
    sleep "$(e2e_scaled "$wait")"
    [ "$(bells_since "$bytes")" = "$bells" ] || e2e_fail "$keys rang $(bells_since "$bytes") bells, not $bells"
done
q_a=$(now)
for title in "Lectern（一時停止）" Lectern; do
    remote --pause || e2e_fail "lectern --pause ended with status $?: $(cat "$E2E_DIR/remote.err")"
    e2e_wait_until 2 title_is "$title" || e2e_fail "lectern --pause did not bring the caption $title"
done
q_b=$(now)
e2e_log "Space, →, N and lectern --pause done"

xdotool windowminimize "$main"
read -r k_lo k_hi k_count < <(turn 4 counted) || e2e_fail "the minimised caption did not count"
relaunch Return
e2e_wait_until 2 phase_is 3 || e2e_fail "taken up, the count is not in the discussion colours"
xdotool windowminimize "$main"
read -r y_lo y_hi y_count < <(turn 4 counted) || e2e_fail "taken up, the minimised caption did not count"
# The count ran on while no copy ran.
near "$(calc "$y_count - $k_count - ($y_hi - $k_lo)")" "$(calc "$y_count - $k_count - ($y_lo - $k_hi)")" 0 1 ||
    e2e_fail "taken up at $y_count s of count [$y_lo, $y_hi], killed after $k_count s [$k_lo, $k_hi]"
e2e_log "killed at $k_count s of count, taken up at $y_count s"

t_launch3=$(now)
relaunch Escape
t_map3=$E2E_ANSWERED_FROM n_a=$E2E_ANSWERED_FROM n_b=$(now)
phase_is 1 || e2e_fail "after No the count is not a fresh one"
xdotool windowminimize "$main"
read -r _ f_hi f_count < <(turn 4 counted) || e2e_fail "after No the minimised caption did not count"
near "$f_count" "$f_count" 0 "$(calc "$f_hi - $t_launch3 + 1")" || e2e_fail "after No the count stands at $f_count s"

# The fresh count, nobody using it, runs past 10 s: still no talk.
until past "$(calc "$t_map3 + 11")"; do sleep 0.2; done
r_a=$(now)
remote --restart || e2e_fail "lectern --restart ended with status $?: $(cat "$E2E_DIR/remote.err")"
r_b=$(now)
remote --adjust=15 || e2e_fail "lectern --adjust ended with status $?: $(cat "$E2E_DIR/remote.err")"
sleep "$(e2e_scaled 0.5)"
e2e_close_main_expect_exit
list=$app/talks.csv
lines_are() { [ "$(wc -l <"$list")" = "$1" ]; }
lines_are 3 || e2e_fail "closed, the talk is not listed after the first: $(cat "$list")"

# Taken up with the room set up, killed, taken up again: the room comes back; the line of the close is taken back.
port=$((20000 + RANDOM % 20000))
E2E_APP_ARGS=(--full-screen "--serve=$port")
E2E_KEEP_COUNT=1 e2e_launch_app "${E2E_AUDIO_ENV[@]}"
e2e_answer_resume Return
lines_are 2 || e2e_fail "taken up, the talk is still listed: $(cat "$list")"
E2E_APP_ARGS=()
token=$(cat "$app/control-token" 2>/dev/null)
relaunch Return
full_screen() { xprop -id "$main" _NET_WM_STATE 2>/dev/null | grep -q _NET_WM_STATE_FULLSCREEN; }
e2e_wait_until 5 full_screen || e2e_fail "taken up, the main window is not full screen"
serving() { curl -sf -o /dev/null "http://127.0.0.1:$port/api/state"; }
e2e_wait_until 5 serving || e2e_fail "taken up, the browser view does not answer on port $port"
# The phone given the control address before the crash still commands (a move of nothing).
curl -sf -o /dev/null -X POST -H "X-Lectern-Token: $token" --data 0 "http://127.0.0.1:$port/api/adjust" ||
    e2e_fail "taken up, the control token kept before the crash (${token:-none}) does not command"
[[ $(remote --control-url) == http://*:$port/#control=$token ]] ||
    e2e_fail "lectern --control-url did not print the control address: $(cat "$E2E_DIR/remote.err")"
c_a=$(now)
e2e_close_main_expect_exit
c_b=$(now)
remote --pause
status=$?
# A copy started without a display would end with status 1 too, saying so.
if [ "$status" != 1 ] || [ "$(wc -l <"$E2E_DIR/remote.err")" != 1 ] ||
    ! grep -q '^lectern: no copy' "$E2E_DIR/remote.err"; then
    e2e_fail "lectern --pause with no copy running ended with status $status and said: $(cat "$E2E_DIR/remote.err")"
fi

# talk N, then the brackets seen for its start, end, count (used) and pause: each time listed (whole seconds,
# cut or rounded) within 1 s of them, and its number N.
if [ "$(head -c 3 "$list")" != $'\xef\xbb\xbf' ] || ! lines_are 3; then
    e2e_fail "talks.csv is not a BOM, a header and two talks: $(cat "$list")"
fi
check_talk() {
    local day start end
    IFS=, read -r day start end _ < <(sed -n "$(($1 + 1))p" "$list")
    sed -n "$(($1 + 1))p" "$list" | tr -d '\r' | awk -F, -v s="$(date -d "$day $start" +%s)" \
        -v e="$(date -d "$day $end" +%s)" -v z="$E2E_T0" -v n="$1" -v seen="${*:2}" '
        function secs(t, p) { split(t, p, ":"); return p[1] * 3600 + p[2] * 60 + p[3] }
        function check(name, lo, hi, a, b) {
            if (hi < a - 1 || lo > b + 1) printf "%s %s..%s, seen %s..%s; ", name, lo, hi, a, b }
        { split(seen, r, " "); used = secs($4) + secs($5) + secs($6); p = secs($7)
          check("start", s - z, s - z + 1, r[1], r[2]); check("end", e - z, e - z + 1, r[3], r[4])
          check("count", used - 0.5, used + 0.5, r[5], r[6]); check("paused", p - 0.5, p + 0.5, r[7], r[8])
          if ($11 != n) printf "number %s, not %s; ", $11, n }'
}
# The first talk was moved on 30 s by the arrows; the second 15 s.
bad=$(check_talk 1 "$(calc "$t_launch1 - 30")" "$(calc "$t_map1 - 30")" "$n_a" "$n_b" \
    "$(calc "$y_count - 0.5 + $n_a - $y_hi")" "$(calc "$y_count - 0.4 + $n_b - $y_lo")" "$(calc "$p2_a - $p1_b")" \
    "$(calc "$p2_b - $p1_a + $q_b - $q_a")")
bad+=$(check_talk 2 "$(calc "$r_a - 15")" "$(calc "$r_b - 15")" "$c_a" "$c_b" "$(calc "$c_a - $r_b + 15")" \
    "$(calc "$c_b - $r_a + 15")" 0 0)
[ -z "$bad" ] || { cat "$list" >&2; e2e_fail "talks.csv: $bad"; }
echo "PASS"
