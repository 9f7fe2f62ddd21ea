#!/usr/bin/env bash
# The program's answers without any display: --version and --help print and end with status 0, and a start
# with no display to open ends with status 1 and one line on stderr instead of a core dump; a command for a
# running copy when none runs, or with a bad value, ends with status 1 and one line on stderr, starting nothing.
# The lines are in English here, and in Japanese where a row says so (the rule of --help).
# Usage: test_command_line.sh PATH-TO-LECTERN EXPECTED-VERSION
set -uo pipefail
lectern=$1
version=$2
checks=0
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
# expect MESSAGE COMMAND...: one check, failed with MESSAGE when the command fails.
expect() {
    local message=$1
    shift
    checks=$((checks + 1))
    "$@" || fail "$message"
}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
headless() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u LC_MESSAGES -u LANG LC_ALL=en_US.UTF-8 "$@"; }

headless "$lectern" --version >"$out/stdout" 2>"$out/stderr"
status=$?
expect "--version ended with status $status" [ "$status" = 0 ]
expect "--version printed '$(cat "$out/stdout")'" [ "$(cat "$out/stdout")" = "Lectern $version" ]

headless "$lectern" --help >"$out/stdout" 2>"$out/stderr"
status=$?
expect "--help ended with status $status" [ "$status" = 0 ]
expect "--help does not list --version" grep -q -- '--version' "$out/stdout"
expect "--help does not list --adjust" grep -q -- '--adjust=' "$out/stdout"
# The help's language follows the first of LC_ALL, LC_MESSAGES, LANG that is set: Japanese unless it names another.
while read -r first locale; do
    # shellcheck disable=SC2086 # the locale variables are words of their own
    headless env -u LC_ALL -u LC_MESSAGES -u LANG $locale "$lectern" --help >"$out/stdout" 2>/dev/null
    expect "--help with '$locale' began '$(head -n 1 "$out/stdout")'" grep -q "^$first lectern " "$out/stdout"
done <<'EOF'
使い方:
使い方: LANG=C.UTF-8
Usage: LC_ALL=en_US.UTF-8 LANG=ja_JP.UTF-8
使い方: LC_ALL= LC_MESSAGES=ja_JP.UTF-8 LANG=en_GB.UTF-8
Usage: LANG=de_DE.UTF-8
EOF

for display in "" ":97"; do
    if [ -z "$display" ]; then
        headless "$lectern" >"$out/stdout" 2>"$out/stderr"
    else
        headless env DISPLAY="$display" "$lectern" >"$out/stdout" 2>"$out/stderr"
    fi
    status=$?
    expect "start without a display (DISPLAY='$display') ended with status $status" [ "$status" = 1 ]
    expect "start without a display printed: $(cat "$out/stderr")" [ "$(wc -l <"$out/stderr")" = 1 ]
    expect "unclear message: $(cat "$out/stderr")" grep -q '^lectern: cannot open a display: ' "$out/stderr"
done

failed_saying() { [ "$status" = 1 ] && [ "$(wc -l <"$out/stderr")" = 1 ] && grep -q "^lectern: $1" "$out/stderr"; }
while read -r locale message arguments; do
    # shellcheck disable=SC2086 # the arguments are words of their own
    headless env LC_ALL="$locale" XDG_RUNTIME_DIR="$out" "$lectern" $arguments >"$out/stdout" 2>"$out/stderr"
    status=$?
    expect "'$arguments' ended with status $status and said: $(cat "$out/stderr")" failed_saying "$message"
done <<'EOF'
en_US.UTF-8 no.copy --restart --adjust -30
en_US.UTF-8 --adjust.takes --adjust=12abc
en_US.UTF-8 --adjust.takes --skip --adjust=86400.5
en_US.UTF-8 no.copy --bell
en_US.UTF-8 no.copy --control-url
ja_JP.UTF-8 設定ファイル.*で動いている.Lectern.はありません --pause
ja_JP.UTF-8 ディスプレイを開けません:.DISPLAY.も
EOF

# Output to a pipe whose reader is gone (`lectern --help | head -0`) fails; the program ends as it should all the same.
mkfifo "$out/gone" && "$lectern" --help 3<>"$out/gone" >"$out/gone" 3<&-
expect "--help to a pipe no one reads ended with status $?" [ "$?" = 0 ]

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" = 0 ]
