#!/bin/sh
# The main window on a 1600 x 1000 screen scaled by 2 (800 x 500 in the program's pixels,
# less than the 985 x 681 its layout is drawn for): under a window manager its whole frame,
# title bar included, lies on the screen. The screen is left as a picture for a look.
#   window_fit.sh KORVEL_EXECUTABLE PICTURE_FOLDER
set -u
exe=$1
pictures=$2
for tool in openbox xdotool xwininfo xvfb-run; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit 77; }
done
runtime=$(mktemp -d "${TMPDIR:-/tmp}/korvel-fit.XXXXXX")
trap 'rm -rf "$runtime"' EXIT
chmod 700 "$runtime"
mkdir -p "$pictures"

env -u QT_QPA_PLATFORM -u QT_LOGGING_RULES KORVEL_TEXT_BROWSER=1 QTWEBENGINE_DISABLE_SANDBOX=1 \
    QT_SCALE_FACTOR=2 XDG_RUNTIME_DIR="$runtime" KORVEL_EXE="$exe" \
    PICTURE="$pictures/main_window_2x_screen.png" \
    timeout 90 xvfb-run -a -s "-screen 0 1600x1000x24" sh -c '
        openbox >/dev/null 2>&1 &
        wm=$!
        sleep 1
        "$KORVEL_EXE" >/dev/null 2>&1 &
        pid=$!
        wid=""
        for i in $(seq 80); do
            wid=$(xdotool search --onlyvisible --class korvel 2>/dev/null | head -1)
            [ -n "$wid" ] && break
            sleep 0.25
        done
        sleep 1.5
        # The frame is the ancestor of the window that is a child of the root window.
        frame=$wid
        while [ -n "$frame" ]; do
            parent=$(xwininfo -children -id "$frame" | sed -n "s/.*Parent window id: \([0-9a-fx]*\).*/\1/p")
            root=$(xwininfo -children -id "$frame" | sed -n "s/.*Root window id: \([0-9a-fx]*\).*/\1/p")
            [ -z "$parent" ] || [ "$parent" = "$root" ] && break
            frame=$parent
        done
        [ -n "$wid" ] && xwininfo -id "$frame"
        command -v import >/dev/null 2>&1 && import -window root "$PICTURE"
        kill "$pid" "$wm"' >"$runtime/frame" 2>"$runtime/err"

x=$(sed -n 's/.*Absolute upper-left X: *\(-\{0,1\}[0-9]*\).*/\1/p' "$runtime/frame")
y=$(sed -n 's/.*Absolute upper-left Y: *\(-\{0,1\}[0-9]*\).*/\1/p' "$runtime/frame")
w=$(sed -n 's/.*Width: *\([0-9]*\).*/\1/p' "$runtime/frame")
h=$(sed -n 's/.*Height: *\([0-9]*\).*/\1/p' "$runtime/frame")
if [ -z "$x" ] || [ -z "$w" ]; then
    echo "FAIL: the window did not appear"
    cat "$runtime/frame" "$runtime/err"
    exit 1
fi
echo "frame at $x,$y size ${w}x$h on 1600x1000"
if [ "$x" -lt 0 ] || [ "$y" -lt 0 ] || [ $((x + w)) -gt 1600 ] || [ $((y + h)) -gt 1000 ]; then
    echo "FAIL: the window frame leaves the screen"
    exit 1
fi
if [ "$w" -lt 1200 ] || [ "$h" -lt 700 ]; then
    echo "FAIL: the window uses little of the screen"
    exit 1
fi
