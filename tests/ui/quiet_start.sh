#!/bin/sh
# A clean start of the window prints nothing: the program runs for a few seconds on a
# private X server and standard error must stay empty. As a control, the window must have
# appeared within that time, so that the silence is the program's and not a failed start.
# (The web engine starts only with the first live page; engine_quiet_test checks that start.)
#   quiet_start.sh KORVEL_EXECUTABLE
set -u
exe=$1
runtime=$(mktemp -d "${TMPDIR:-/tmp}/korvel-quiet.XXXXXX")
trap 'rm -rf "$runtime"' EXIT
chmod 700 "$runtime"

# Standard error of the program goes to $runtime/err; standard output of this run is the
# list of X windows once the program has had its time.
env -u QTWEBENGINE_DISABLE_SANDBOX -u QT_QPA_PLATFORM -u KORVEL_TEXT_BROWSER -u QT_LOGGING_RULES \
    QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu XDG_RUNTIME_DIR="$runtime" KORVEL_EXE="$exe" \
    ERR="$runtime/err" xvfb-run -a sh -c '
        "$KORVEL_EXE" 2>"$ERR" >/dev/null &
        pid=$!
        sleep 5
        xwininfo -root -tree
        kill "$pid"
        wait "$pid"' >"$runtime/windows" 2>/dev/null

if [ -s "$runtime/err" ]; then
    echo "FAIL: a clean start printed on standard error:" >&2
    cat "$runtime/err" >&2
    exit 1
fi
if ! grep -q '"Korvel' "$runtime/windows"; then
    echo "FAIL: the program's window did not appear; the X windows were:" >&2
    cat "$runtime/windows" >&2
    exit 1
fi
echo "clean start: nothing printed"
