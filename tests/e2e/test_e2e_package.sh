#!/usr/bin/env bash
# The packages as a user gets them, made with CPack from a finished build:
#   - the Debian package passes lintian without errors, and its launcher entry and AppStream file validate;
#     its English and Japanese manual pages name this version and render without a warning; it depends on the
#     sound libraries the program loads when first used;
#   - the program unpacked from it, run by an ordinary user, keeps a confirmed setting in
#     $XDG_CONFIG_HOME/Lectern/Lectern.ini, byte for byte the program's format, and writes nothing beside itself;
#     its window class is the one the launcher entry names; W finds the browser view's module;
#   - the portable archive unpacked into the user's own folder and started through a symbolic link reads the
#     Lectern.ini beside the real program, writes the confirmed setting back there and finds the module beside it.
# The program runs as nobody: root may write anywhere, so only an ordinary user shows where the file goes.
#
# Usage: test_e2e_package.sh BUILD-FOLDER VERSION APP-ID. E2E_KEEP_DIR=1 keeps the work folder.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=../../scripts/e2e_lib.sh
source "$here/../../scripts/e2e_lib.sh"

build=$(cd "${1:?usage: $0 BUILD-FOLDER VERSION APP-ID}" && pwd)
version=${2:?}
app_id=${3:?}
e2e_begin lectern-e2e-package
e2e_watchdog 80
trap 'e2e_fail "the test ran out of time"' TERM
echo "work folder: $E2E_DIR" >&2
# The unprivileged user must reach its own folders inside the work folder.
chmod 755 "$E2E_DIR"
as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)

cpack --config "$build/CPackConfig.cmake" -B "$E2E_DIR/out" >"$E2E_DIR/cpack.log" 2>&1 ||
    { tail -n 20 "$E2E_DIR/cpack.log" >&2; e2e_fail "cpack failed"; }
deb=$E2E_DIR/out/lectern_${version}_amd64.deb
tgz=$E2E_DIR/out/lectern-${version}-Linux.tar.gz
if [ ! -f "$deb" ] || [ ! -f "$tgz" ]; then
    ls "$E2E_DIR/out" >&2
    e2e_fail "cpack made other files than $deb and $tgz"
fi
e2e_log "packages made"

root=$E2E_DIR/root
dpkg-deb -x "$deb" "$root" || e2e_fail "dpkg-deb could not unpack the package"
desktop-file-validate "$root/usr/share/applications/$app_id.desktop" ||
    e2e_fail "the launcher entry does not validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml" ||
    e2e_fail "the AppStream file does not validate"
lintian --color never "$deb" 2>&1 | grep -v '^running with root privileges' | tee "$E2E_DIR/lintian.txt" >&2
grep -q '^E:' "$E2E_DIR/lintian.txt" && e2e_fail "lintian found errors in the package"
for page in man1/lectern.1.gz ja/man1/lectern.1.gz; do
    zgrep -q "^\.TH LECTERN 1 .* \"Lectern $version\"" "$root/usr/share/man/$page" || e2e_fail "no $page for $version"
done
grep -q 'manpage' "$E2E_DIR/lintian.txt" && e2e_fail "lintian found faults in a manual page"
e2e_log "validators and lintian passed"
# The sound libraries are loaded on first use: the program does not name them, so the package must.
objdump -p "$root/usr/bin/lectern" | grep -E 'NEEDED.*(SDL|sndfile)' && e2e_fail "the program links a sound library"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libsdl2-2.0-0 libsndfile1; do
    [[ ", $depends," == *", $needed"[\ ,]* ]] || e2e_fail "the package does not depend on $needed: $depends"
done

e2e_start_x 1024x768

# Folders the user owns: a home, a configuration folder (empty), a runtime folder.
home=$E2E_DIR/home
config=$home/config
mkdir -p "$config" "$home/runtime"
chmod 700 "$home/runtime"
chown -R nobody:nogroup "$home"

# Starts program $1 as the user with the private home and waits for its main window.
launch_as_user() {
    E2E_APP_LOG=$E2E_DIR/app.log
    "${as_user[@]}" env -u QT_QPA_PLATFORM HOME="$home" XDG_CONFIG_HOME="$config" XDG_RUNTIME_DIR="$home/runtime" \
        LANG=C.UTF-8 LC_ALL=C.UTF-8 SDL_AUDIODRIVER=dummy "$1" >"$E2E_APP_LOG" 2>&1 &
    E2E_APP_PID=$!
    e2e_track "$E2E_APP_PID"
    if ! e2e_wait_until 20 e2e_app_shown_or_ended || ! E2E_MAIN=$(e2e_app_window Lectern); then
        e2e_fail "no window titled Lectern appeared for $1"
    fi
}

# Opens the settings window with a right press, types $1 into the presentation field, which has the focus, and
# presses 設定変更のみ (its place in the window's design, in twips, scaled to the window's size).
confirm_presentation_time() {
    local dialog w h
    read -r w h < <(e2e_window_size "$E2E_MAIN")
    xdotool mousemove --window "$E2E_MAIN" $((w / 2)) $((h / 2)) click 3
    e2e_wait_until 5 e2e_app_window 設定 >/dev/null || e2e_fail "a right press opened no window titled 設定"
    dialog=$(e2e_app_window 設定)
    read -r w h < <(e2e_window_size "$dialog")
    xdotool windowactivate --sync "$dialog" 2>/dev/null
    sleep 0.3
    xdotool key ctrl+a
    xdotool type --delay 30 "$1"
    sleep 0.2
    xdotool mousemove --window "$dialog" $(((3360 + 1215 / 2) * w / 6780)) $(((4080 + 495 / 2) * h / 4710)) click 1
    e2e_wait_until 5 no_settings || e2e_fail "設定変更のみ did not hide the settings window"
}
no_settings() { ! e2e_app_window 設定 >/dev/null; }

# W starts the browser view, whose module the program finds where the package put it; W again stops it.
browser_view_opens() {
    xdotool windowactivate --sync "$E2E_MAIN" key w 2>/dev/null
    e2e_wait_until 10 e2e_app_window "Lectern - ブラウザ表示" >/dev/null ||
        { cat "$E2E_APP_LOG" >&2; e2e_fail "W opened no browser view for $1"; }
    xdotool windowactivate --sync "$E2E_MAIN" key w 2>/dev/null
    e2e_wait_until 5 no_browser_view || e2e_fail "W again left the browser view open for $1"
}
no_browser_view() { ! e2e_app_window "Lectern - ブラウザ表示" >/dev/null; }

expect_file() {
    e2e_wait_until 3 cmp -s "$1" "$2" && return 0
    echo "$1 (CP932 shown as UTF-8, CR as \\r):" >&2
    [ -f "$1" ] && iconv -f CP932 -t UTF-8 "$1" | sed 's/\r$/\\r/; s/^/  /' >&2
    echo "expected:" >&2
    iconv -f CP932 -t UTF-8 "$2" | sed 's/\r$/\\r/; s/^/  /' >&2
    e2e_fail "$3"
}

# 1. The Debian package's program: the folder beside it is not the user's, so the settings go to the user's own.
mkdir "$E2E_DIR/expected"
e2e_write_ini "$E2E_DIR/expected" '12.5,5,2,""' '"講演の開始から",16776960,0' '"発表時間終了まで",65535,0' \
    '"質疑応答終了まで",65280,0' '"講演時間の超過は",65535,208' '#TRUE#,#FALSE#,#FALSE#'
touch "$E2E_DIR/unpacked"
launch_as_user "$root/usr/bin/lectern"
xprop -id "$E2E_MAIN" WM_CLASS | grep -q '"Lectern"$' ||
    { xprop -id "$E2E_MAIN" WM_CLASS >&2; e2e_fail "the window class is not Lectern, as StartupWMClass says"; }
confirm_presentation_time 12.50
expect_file "$config/Lectern/Lectern.ini" "$E2E_DIR/expected/Lectern.ini" \
    "the installed program did not keep the setting in \$XDG_CONFIG_HOME/Lectern/Lectern.ini"
browser_view_opens "the package's program"
e2e_close_main_expect_exit
written=$(find "$root" -newer "$E2E_DIR/unpacked")
[ -z "$written" ] || e2e_fail "the installed program wrote into its own tree: $written"
e2e_log "package: setting kept in \$XDG_CONFIG_HOME, nothing written beside the program"

# 2. The portable archive in the user's folder, started through a link elsewhere: the file beside the real program
# is read (its headings and colours survive the confirmation) and written back in place.
portable=$home/portable
mkdir -p "$portable" "$home/links"
tar -xzf "$tgz" -C "$portable" || e2e_fail "the portable archive did not unpack"
bin=$portable/lectern-${version}-Linux/bin
rest=('"開始から",16777215,8388608' '"発表の残り",65535,32768' '"質疑の残り",65280,128' '"超過",255,65535'
    '#FALSE#,#FALSE#,#TRUE#')
e2e_write_ini "$bin" '20,5,2,""' "${rest[@]}"
e2e_write_ini "$E2E_DIR/expected" '12.5,5,2,""' "${rest[@]}"
ln -s "$bin/lectern" "$home/links/lectern"
chown -R nobody:nogroup "$home"
rm -rf "${config:?}/Lectern"
launch_as_user "$home/links/lectern"
browser_view_opens "the portable program started through a link"
confirm_presentation_time 12.50
expect_file "$bin/Lectern.ini" "$E2E_DIR/expected/Lectern.ini" \
    "the portable program did not read and write the Lectern.ini beside the real program"
e2e_close_main_expect_exit
[ -e "$config/Lectern" ] && e2e_fail "the portable program wrote into \$XDG_CONFIG_HOME"
[ -e "$home/links/Lectern.ini" ] && e2e_fail "the portable program wrote beside the link, not the real program"
echo "PASS: lintian without errors, launcher entry and AppStream valid, per-user settings installed, beside the program portable"
