#!/usr/bin/env bash
# Starts the real program with a start-up password set and answers its question as a
# person does, on an X server of its own: a wrong password keeps the question open and
# the main window hidden, the right one in other capitals opens the main window, Esc
# ends the program without it.
# Usage: startup_password_test.sh PATH_TO_VELLUMARK   (run under xvfb-run)
set -euo pipefail
program=$1
scratch=$(mktemp -d)
trap 'kill "${pid:-}" 2>/dev/null || true; rm -rf "$scratch"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# A home of its own, with the password "Open" left as plain text by an older version.
start() {
    local home=$scratch/$1
    mkdir -p "$home/config/Vellumark" "$home/run"
    chmod 700 "$home/run"
    printf '%s\n' '[Software\Microsoft\Windows\CurrentVersion\explorer\sysexplor\Quillon]' \
        'NeedPWD=dword:00000001' 'PWD=Open' >"$home/config/Vellumark/registry.ini"
    XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_RUNTIME_DIR=$home/run \
        "$program" &
    pid=$!
    question=$(timeout 30 xdotool search --sync --onlyvisible --name '^Password Dialog$' | head -1)
    [ -n "$question" ] || fail "no password question"
    xdotool windowfocus --sync "$question"
}

mainWindowShown() {
    xdotool search --onlyvisible --name '^Vellumark ' >/dev/null
}

answer() {
    xdotool key --clearmodifiers ctrl+a BackSpace
    xdotool type --delay 10 "$1"
    xdotool key Return
    sleep 0.5
}

start wrong-then-right
mainWindowShown && fail "the main window is shown before the password"
answer wrong
kill -0 "$pid" 2>/dev/null || fail "a wrong password ended the program"
xdotool search --onlyvisible --name '^Password Dialog$' >/dev/null || fail "a wrong password closed the question"
mainWindowShown && fail "a wrong password showed the main window"
answer oPEN
timeout 30 xdotool search --sync --onlyvisible --name '^Vellumark ' >/dev/null ||
    fail "the right password did not show the main window"
kill "$pid"
wait "$pid" 2>/dev/null || true

start escape
xdotool key Escape
for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "Esc did not end the program"
wait "$pid" || fail "Esc ended the program with status $?"
pid=
echo "PASS"
