#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine as CTest's emulator for the Windows build:
#
#   wine_run.sh --deps PREFIX --wineprefix DIR PROGRAM [ARGS...]   run PROGRAM, with its status
#   wine_run.sh --deps PREFIX --wineprefix DIR --start | --stop     start or end the Wine server around a test run
#
# PREFIX is where scripts/windows/build_deps.sh put the libraries (their DLLs and Qt's plug-ins); DIR the Wine
# prefix, made on first use, unless WINEPREFIX is set. The program finds its DLLs through WINEPATH, with the MinGW
# runtime's. Wine hands a program the variables QT_X only as WINEQT_X, so each QT_ variable is passed on that way.
# Qt's offscreen platform is not built for Windows; the widget tests run on the real Windows platform instead, in a
# private X server (Xvfb with openbox, which Wine's windows need to be activated and exposed promptly) started with
# the Wine server. Qt logs to stderr, where CTest reads it, rather than to the debugger.
#
# Without a running Wine server each program waits about 2.5 s at its end for Wine's background processes; one
# started first, with its output closed so that CTest does not wait on it, makes a test program take 0.2 s.
set -euo pipefail

deps=
default_prefix=
while [ $# -gt 0 ]; do
    case "$1" in
        --deps) deps=$2; shift 2 ;;
        --wineprefix) default_prefix=$2; shift 2 ;;
        *) break ;;
    esac
done
[ $# -gt 0 ] || { echo "usage: $0 --deps PREFIX --wineprefix DIR (PROGRAM [ARGS...] | --start | --stop)" >&2; exit 2; }
[ -d "$deps/bin" ] || { echo "wine_run: no Windows libraries in '$deps' (run scripts/windows/build_deps.sh)" >&2; exit 2; }
command -v wine >/dev/null || { echo "wine_run: Wine is not installed (scripts/setup.sh windows)" >&2; exit 2; }

export WINEPREFIX=${WINEPREFIX:-$default_prefix}
export WINEDEBUG=${WINEDEBUG:--all}
# No offer to install Mono or Gecko into a fresh prefix: nothing here needs them.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
mkdir -p "$WINEPREFIX"

display_file=$WINEPREFIX/lectern-display
start_display() {
    local fd_file=$WINEPREFIX/lectern-displayfd
    : >"$fd_file"
    Xvfb -displayfd 3 -screen 0 1920x1080x24 -dpi 96 -nolisten tcp -noreset 3>"$fd_file" </dev/null >/dev/null 2>&1 &
    local xvfb=$!
    for _ in $(seq 100); do
        [ -s "$fd_file" ] && break
        sleep 0.1
    done
    [ -s "$fd_file" ] || { echo "wine_run: Xvfb did not start" >&2; return 1; }
    DISPLAY=:$(head -n1 "$fd_file")
    export DISPLAY
    openbox --sm-disable </dev/null >/dev/null 2>&1 &
    echo "$DISPLAY $xvfb $!" >"$display_file"
}
stop_display() {
    [ -f "$display_file" ] || return 0
    local xvfb wm
    read -r _ xvfb wm <"$display_file"
    kill "$wm" "$xvfb" 2>/dev/null || true
    rm -f "$display_file"
}

case "$1" in
    --start)
        # A run cut short leaves its server up for a while, and a second one would not start beside it.
        wineserver -k </dev/null >/dev/null 2>&1 || true
        wineserver -w </dev/null >/dev/null 2>&1 || true
        stop_display
        start_display
        wineserver -p30 </dev/null >/dev/null 2>&1
        wine cmd /c exit </dev/null >/dev/null 2>&1
        exit 0
        ;;
    --stop)
        wineserver -k </dev/null >/dev/null 2>&1 || true
        stop_display
        exit 0
        ;;
esac
if [ -f "$display_file" ]; then
    read -r DISPLAY _ <"$display_file"
    export DISPLAY
fi

runtime=()
for dir in /usr/lib/gcc/x86_64-w64-mingw32/*-posix /usr/x86_64-w64-mingw32/lib; do
    [ -d "$dir" ] && runtime+=("$dir")
done
winepath=$deps/bin
for dir in "${runtime[@]}"; do
    winepath+=";$dir"
done
export WINEPATH=$winepath

for name in $(compgen -e); do
    if [[ $name == QT_* ]]; then
        export "WINE$name=${!name}"
    fi
done
if [ "${WINEQT_QPA_PLATFORM:-}" = offscreen ] && [ ! -f "$deps/plugins/platforms/qoffscreen.dll" ]; then
    if [ -n "${DISPLAY:-}" ]; then
        WINEQT_QPA_PLATFORM=windows
    else
        WINEQT_QPA_PLATFORM=minimal:enable_fonts
    fi
fi
# Z: is the root of the Unix file system in a Wine prefix.
export WINEQT_PLUGIN_PATH=${WINEQT_PLUGIN_PATH:-Z:$deps/plugins}
export WINEQT_FORCE_STDERR_LOGGING=1

exec wine "$@"
