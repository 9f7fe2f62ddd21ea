# shellcheck shell=bash
# What the benchmarks that run the whole program share, on top of scripts/e2e_lib.sh: a private copy of Lectern in a
# work folder of its own, and a short talk whose bells come at known moments.

# bench_begin NAME LIMIT-SECONDS LECTERN: checks that LECTERN is a program, begins the work folder NAME, ends the
# run after LIMIT-SECONDS whatever happens, and copies the program into $app ($E2E_APP_DIR).
bench_begin() {
    local name=$1 limit=$2 lectern=$3
    [ -x "$lectern" ] || { echo "not an executable: $lectern" >&2; exit 2; }
    e2e_begin "$name"
    e2e_watchdog "$limit"
    trap 'e2e_fail "the run took too long"' TERM
    E2E_APP_DIR=$E2E_DIR/app
    app=$E2E_APP_DIR
    mkdir -p "$app"
    e2e_copy_program "$lectern" "$app"
}

# bench_short_talk: settings beside the copy for a talk of 1 + 0.5 minutes with the warning half a minute before the
# presentation's end, so the bells ring at 30 s (one), 60 s (two) and 90 s (three), in a short tone that is easy to
# find in the sound.
bench_short_talk() {
    sox -n -r 22050 -c 1 -b 16 -e signed-integer "$app/bell.wav" synth 0.15 sine 1000 vol 0.8 pad 0 0.3 ||
        e2e_fail "sox could not make the bell"
    e2e_write_ini "$app" "1,0.5,0.5,\"$app/bell.wav\"" '"講演の開始から",16776960,0' '"発表時間終了まで",65535,0' \
        '"質疑応答終了まで",65280,0' '"講演時間の超過は",65535,208' '#TRUE#,#FALSE#,#FALSE#'
}
