#!/bin/sh
# A clean start of the window prints nothing: the program runs for a few seconds on a
# private X server (long enough for the embedded browser to start and show the start page)
# and standard error must stay empty. As a control, the same start with the web engine's
# report turned back on must print it, so that the engine did start within the time.
#   quiet_start.sh KORVEL_EXECUTABLE
set -u
exe=$1
runtime=$(mktemp -d "${TMPDIR:-/tmp}/korvel-quiet.XXXXXX")
trap 'rm -rf "$runtime"' EXIT
chmod 700 "$runtime"

# Xvfb has no GPU: Chromium's own GPU process would complain about that on its own
# (not through Qt's logging), as it would on any desktop without graphics acceleration.
run() {  # run RULES: standard error of one start
    env -u QTWEBENGINE_DISABLE_SANDBOX -u QT_QPA_PLATFORM -u KORVEL_TEXT_BROWSER \
        -u QT_LOGGING_RULES ${1:+QT_LOGGING_RULES=$1} \
        QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu XDG_RUNTIME_DIR="$runtime" \
        xvfb-run -a timeout -s TERM 10 "$exe" 2>&1 >/dev/null
}

err=$(run "")
if [ -n "$err" ]; then
    echo "FAIL: a clean start printed on standard error:" >&2
    echo "$err" >&2
    exit 1
fi
control=$(run "qt.webenginecontext=true")
case "$control" in
    *qt.webenginecontext*) echo "clean start: nothing printed" ;;
    *) echo "FAIL: the web engine did not report its start in the control run: $control" >&2
       exit 1 ;;
esac
