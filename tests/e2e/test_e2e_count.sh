#!/usr/bin/env bash
# The real program on a private X server, driven and watched as a user would: a talk of 6 s presentation (warning
# 3 s before its end) and 3 s discussion runs through its four phases while the lower row's colours are read from
# screenshots and the bells are counted in the sound that SDL's disk driver writes; then the mouse commands:
# a left press alone does nothing, its release asks to restart (Escape keeps the count, Return restarts it), a
# right press opens the settings window, and closing the main window ends the program cleanly.
#
# Usage: test_e2e_count.sh PATH-TO-LECTERN. E2E_SLOWDOWN (default 1) stretches the waits for slow builds;
# E2E_KEEP_DIR=1 keeps the work folder (screenshots, timeline, sound) even on success.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=../../scripts/e2e_lib.sh
source "$here/../../scripts/e2e_lib.sh"

e2e_test_begin lectern-e2e-count "${1:?usage: $0 PATH-TO-LECTERN}"
app=$E2E_APP_DIR

# A bell that can be counted: 0.15 s of tone, then 0.3 s of true silence, so back-to-back bells stay apart.
sox -n -r 22050 -c 1 -b 16 -e signed-integer "$app/bell.wav" synth 0.15 sine 1000 vol 0.8 pad 0 0.3 ||
    e2e_fail "sox could not make the bell"

# Colour values are 0x00BBGGRR. Each phase gets a background of its own, so a swap of red and blue, a missing
# recolouring or a pair applied to the wrong phase all show.
declare -A bg fg
bg[1]=000080 fg[1]=00FFFF # navy, cyan text
bg[2]=800080 fg[2]=FFFF00 # purple, yellow
bg[3]=008000 fg[3]=00FF00 # green, lime
bg[4]=D00000 fg[4]=FFFFFF # dark red, white
bgr() { printf '%d' "0x${1:4:2}${1:2:2}${1:0:2}"; }
e2e_write_ini "$app" "0.1,0.05,0.05,\"$app/bell.wav\"" \
    "\"講演の開始から\",$(bgr "${fg[1]}"),$(bgr "${bg[1]}")" \
    "\"発表時間終了まで\",$(bgr "${fg[2]}"),$(bgr "${bg[2]}")" \
    "\"質疑応答終了まで\",$(bgr "${fg[3]}"),$(bgr "${bg[3]}")" \
    "\"講演時間の超過は\",$(bgr "${fg[4]}"),$(bgr "${bg[4]}")" \
    '#TRUE#,#FALSE#,#FALSE#'
cp "$app/Lectern.ini" "$E2E_DIR/Lectern.ini.at-start"

e2e_collect_audio

e2e_start_x 1024x768

t_launch=$(e2e_elapsed)
e2e_launch_app "${E2E_AUDIO_ENV[@]}"
main=$E2E_MAIN
t_map=$(e2e_elapsed)
read -r W H < <(e2e_window_size "$main")
e2e_log "main window $main, ${W}x${H}, shown $(awk -v a="$t_launch" -v b="$t_map" 'BEGIN { print b - a }') s after exec"
[ "$W" -gt 100 ] && [ "$H" -gt 40 ] || e2e_fail "main window too small to read: ${W}x${H}"
# The rows fill the window, one above the other, each inside a border of a pixel or two.
half=$((H / 2))
upper=(6 4 $((W - 12)) $((half - 8)))
lower=(6 $((half + 4)) $((W - 12)) $((H - half - 8)))

# Background (most frequent colour) and text colour (next most frequent) of a row: "BG FG".
# A row of one colour only (its text missing) reads as "BG -".
row_colours() { e2e_region_colours "$1" "${@:2}" | awk 'NR <= 2 { c[NR] = $2 } END { print (1 in c ? c[1] : "-"), (2 in c ? c[2] : "-") }'; }
phase_of() {
    local k
    for k in 1 2 3 4; do
        if [ "$1" = "${bg[$k]}" ] && [ "$2" = "${fg[$k]}" ]; then
            echo "$k"
            return
        fi
    done
    echo "?"
}
# One observation: "ta tb audio-bytes upper-bg upper-fg lower-bg lower-fg lower-phase", ta and tb bracketing the
# screenshot, so a colour seen was on screen at some moment between them.
observe() {
    local ta tb bytes u l
    ta=$(e2e_elapsed)
    e2e_window_shot "$main" "$E2E_DIR/shot.png" || return 1
    tb=$(e2e_elapsed)
    bytes=$(stat -c %s "$E2E_DIR/audio.raw")
    u=$(row_colours "$E2E_DIR/shot.png" "${upper[@]}")
    l=$(row_colours "$E2E_DIR/shot.png" "${lower[@]}")
    # shellcheck disable=SC2086
    echo "$ta $tb $bytes $u $l $(phase_of $l)"
}
# The lower row's phase right now.
lower_phase() { observe | awk '{ print $8 }'; }

# Watch the count until the overtime has lasted long enough for its three bells (plus the output's linger).
timeline=$E2E_DIR/timeline.txt
: >"$timeline"
seen4=
deadline=$(awk -v t="$t_map" -v s="$(e2e_scaled 25)" 'BEGIN { print t + s }')
while :; do
    line=$(observe) || e2e_fail "screenshot of the main window failed"
    echo "$line" >>"$timeline"
    read -r ta _ _ _ _ _ _ ph <<<"$line"
    if [ "$ph" != "?" ] && [ ! -e "$E2E_DIR/phase$ph.png" ]; then
        cp "$E2E_DIR/shot.png" "$E2E_DIR/phase$ph.png"
    fi
    [ "$ph" = 4 ] && [ -z "$seen4" ] && seen4=$ta
    if [ -n "$seen4" ] && awk -v a="$seen4" -v b="$ta" 'BEGIN { exit !(b - a > 2.5) }'; then
        break
    fi
    awk -v t="$ta" -v d="$deadline" 'BEGIN { exit !(t > d) }' && break
done

show_timeline() {
    echo "timeline (ta tb audio-bytes upper-bg upper-fg lower-bg lower-fg lower-phase), also in $timeline:" >&2
    sed 's/^/  /' "$timeline" >&2
}

# The upper row keeps pair 1 for the whole count.
bad_upper=$(awk -v b="${bg[1]}" -v f="${fg[1]}" '$4 "" != b "" || $5 "" != f ""' "$timeline")
if [ -n "$bad_upper" ]; then
    show_timeline
    e2e_fail "the upper row left colour pair 1 (${fg[1]} on ${bg[1]}):"$'\n'"$bad_upper"
fi
# The lower row shows pair 1, 2, 3, 4 in this order, with no other colours between.
sequence=$(awk '{ print $8 }' "$timeline" | uniq | tr '\n' ' ')
if [ "$sequence" != "1 2 3 4 " ]; then
    show_timeline
    e2e_fail "the lower row's colour pairs ran '$sequence', expected '1 2 3 4'"
fi

# Each change lies between the last observation of the old pair (lo) and the first of the new one (hi).
declare -A lo hi
for k in 2 3 4; do
    lo[$k]=$(awk -v k="$k" '$8 == k - 1 { t = $1 } END { print t }' "$timeline")
    hi[$k]=$(awk -v k="$k" '$8 == k { print $2; exit }' "$timeline")
done
e2e_log "colour changes within: 2 [${lo[2]}, ${hi[2]}]  3 [${lo[3]}, ${hi[3]}]  4 [${lo[4]}, ${hi[4]}]"
# The warning begins at the rewrite that shows 00分03秒 left (2.5 s after the start), the discussion at 5.5 s,
# the overtime at 8.5 s: 3 s apart, give or take one tick. The count started before the window was shown.
# A late tick may move a change by a little; a slow build's ticks come later still.
check_gap() { # name, earliest and latest possible gap, expected gap
    awk -v a="$2" -v b="$3" -v e="$4" -v d="$(e2e_scaled 0.25)" 'BEGIN { exit !(a <= e + d && b >= e - d) }' ||
        { show_timeline; e2e_fail "$1: between $2 and $3 s, expected $4 s"; }
}
check_gap "start to warning colours" "$(awk -v a="$t_map" -v b="${lo[2]}" 'BEGIN { print b - a }')" \
    "$(awk -v a="$t_launch" -v b="${hi[2]}" 'BEGIN { print b - a }')" 2.5
check_gap "warning to discussion colours" "$(awk -v a="${hi[2]}" -v b="${lo[3]}" 'BEGIN { print b - a }')" \
    "$(awk -v a="${lo[2]}" -v b="${hi[3]}" 'BEGIN { print b - a }')" 3.0
check_gap "discussion to overtime colours" "$(awk -v a="${hi[3]}" -v b="${lo[4]}" 'BEGIN { print b - a }')" \
    "$(awk -v a="${lo[3]}" -v b="${hi[4]}" 'BEGIN { print b - a }')" 3.0
cp "$E2E_DIR/shot.png" "$E2E_DIR/before-restart.png"
t_restart_asked=$(e2e_elapsed)

# --- mouse commands -----------------------------------------------------------------------------------------
prompt() { e2e_app_window Lectern "$main"; }
no_prompt() { ! prompt >/dev/null; }
cx=$((W / 2))
cy=$((H / 2))

xdotool mousemove --window "$main" "$cx" "$cy" mousedown 1
sleep "$(e2e_scaled 0.7)"
prompt >/dev/null && e2e_fail "a left press alone opened a window; the prompt belongs to the release"
xdotool mouseup 1
e2e_wait_until 5 prompt >/dev/null || e2e_fail "releasing the left button opened no prompt titled Lectern"
e2e_log "left release: prompt $(prompt) open"
xdotool windowactivate --sync "$(prompt)" key Escape 2>/dev/null
e2e_wait_until 5 no_prompt || e2e_fail "Escape did not close the prompt"
# Cancelled: the count goes on in overtime.
sleep "$(e2e_scaled 1.2)"
[ "$(lower_phase)" = 4 ] || e2e_fail "Escape in the prompt changed the count (lower row no longer in pair 4)"

xdotool mousemove --window "$main" "$cx" "$cy" click 1
e2e_wait_until 5 prompt >/dev/null || e2e_fail "the second left click opened no prompt"
xdotool windowactivate --sync "$(prompt)" key Return 2>/dev/null
e2e_wait_until 5 no_prompt || e2e_fail "Return did not close the prompt"
restarted() { [ "$(lower_phase)" = 1 ]; }
e2e_wait_until 2 restarted || e2e_fail "Return (OK) in the prompt did not restart the count (lower row not back in pair 1)"
e2e_log "Return: the count restarted"
observe >"$E2E_DIR/after-restart.txt"
cp "$E2E_DIR/shot.png" "$E2E_DIR/after-restart.png"

settings() { e2e_app_window 設定; }
settings >/dev/null && e2e_fail "a window titled 設定 was shown before any right press"
xdotool mousemove --window "$main" "$cx" "$cy" click 3
e2e_wait_until 5 settings >/dev/null || e2e_fail "a right press opened no window titled 設定"
dialog=$(settings)
e2e_log "right press: settings window $dialog"
e2e_screenshot "$E2E_DIR/with-settings.png"
# A second right press brings the same window forward; there is never a second one.
xdotool windowmove "$dialog" 0 420
sleep 0.3
xdotool mousemove --window "$main" "$cx" "$cy" click 3
sleep "$(e2e_scaled 0.7)"
count=0
for w in $(xdotool search --onlyvisible --pid "$E2E_APP_PID"); do
    [ "$(xdotool getwindowname "$w")" = 設定 ] && count=$((count + 1))
done
[ "$count" = 1 ] || e2e_fail "after a second right press $count windows titled 設定 are shown"

# Closing the main window ends the program, settings window and all, and saves nothing.
e2e_close_main_expect_exit
cmp -s "$app/Lectern.ini" "$E2E_DIR/Lectern.ini.at-start" || e2e_fail "Lectern.ini changed though nothing was confirmed"
e2e_log "main window closed: the program ended with status 0"

# --- bells ------------------------------------------------------------------------------------------------
sleep 0.3
kill "$E2E_AUDIO_DRAIN"
wait "$E2E_AUDIO_DRAIN" 2>/dev/null
# Bursts of sound in the collected output: "first-sample length" per bell, samples being 16-bit values.
od -An -v -td2 -w2 "$E2E_DIR/audio.raw" | awk '
    { x = $1 < 0 ? -$1 : $1; i = NR - 1
      if (x > 300) { if (!on || i - last > 200) { if (on) print start, last - start + 1; start = i; on = 1 } last = i } }
    END { if (on) print start, last - start + 1 }' >"$E2E_DIR/bells.txt"
# When each bell was first seen: the first observation whose byte count covers its start.
awk 'NR == FNR { t[NR] = $2; b[NR] = $3; n = NR; next }
     { at = "after"; for (i = 1; i <= n; i++) if (b[i] > $1 * 2) { at = t[i]; break } print $1, $2, at }' \
    "$timeline" "$E2E_DIR/bells.txt" >"$E2E_DIR/bells-timed.txt"
show_bells() {
    echo "bells (first sample, length in samples, first seen at), from $E2E_DIR/audio.raw:" >&2
    sed 's/^/  /' "$E2E_DIR/bells-timed.txt" >&2
}
total=$(wc -l <"$E2E_DIR/bells.txt")
# Bells that sounded before the restart, by the phase whose colours were showing (with 0.3 s of slack for the
# screenshot that saw them change).
per_phase=$(awk -v l2="${lo[2]}" -v l3="${lo[3]}" -v l4="${lo[4]}" -v end="$t_restart_asked" '
    $3 == "after" { next }
    { p = ($3 < l2 - 0.3) ? 1 : ($3 < l3 - 0.3) ? 2 : ($3 < l4 - 0.3) ? 3 : ($3 < end) ? 4 : 5; c[p]++ }
    END { printf "%d %d %d %d", c[1], c[2], c[3], c[4] }' "$E2E_DIR/bells-timed.txt")
e2e_log "bells: $total in all; by phase 1..4: $per_phase"
if [ "$per_phase" != "0 1 2 3" ]; then
    show_timeline
    show_bells
    e2e_fail "bells by phase were '$per_phase', expected '0 1 2 3' (none, then one, two, three)"
fi
# Every bell is played whole: all bursts as long as the tone in the file, within a hundredth.
short=$(awk 'NR == 1 { n = $2 } $2 < 0.99 * n || $2 > 1.01 * n' "$E2E_DIR/bells.txt")
if [ -n "$short" ]; then
    show_bells
    e2e_fail "some bells were not played whole"
fi
# The first bell of each phase sounds on the tick of its change of colours: its sound has reached the pipe by the
# observation after the one that first showed the new colours (sound and screen are read one after the other).
late=$(awk -v s="$E2E_SLOWDOWN" '
    NR == FNR { ph[NR] = $8; tb[NR] = $2; n = NR; next }
    $3 != "after" { bell[++m] = $3 }
    END {
        first[2] = 1; first[3] = 2; first[4] = 4
        for (k = 2; k <= 4; k++) {
            for (j = 1; j <= n && ph[j] != k; j++);
            limit = (j < n ? tb[j + 1] : tb[n]) + 0.2 * s
            if (bell[first[k]] > limit) print "phase " k ": first bell seen at " bell[first[k]] " s, limit " limit " s"
        } }' "$timeline" "$E2E_DIR/bells-timed.txt")
if [ -n "$late" ]; then
    show_timeline
    show_bells
    e2e_fail "bells came late: $late"
fi
echo "PASS: colour pairs 1-2-3-4 at 3 s steps, bells 1+2+3, prompt Escape/Return, settings window, clean exit"
