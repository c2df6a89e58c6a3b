#!/bin/sh
# The main window on small, strongly scaled screens under a window manager:
#  - 1600 x 1000 scaled by 2 (800 x 500 in the program's pixels, less than the 985 x 681 its
#    layout is drawn for): its whole frame, title bar included, lies on the screen, and the
#    window uses most of it;
#  - 1366 x 768 scaled by 2 (683 x 384): the frame lies on the screen, and the window itself
#    does not scroll: its status bar reaches the bottom edge (no scroll bar under it) and its
#    top bar the right edge (no scroll bar beside it); only the grid inside may scroll.
# The screens are left as pictures for a look.
#   window_fit.sh KORVEL_EXECUTABLE PICTURE_FOLDER
set -u
exe=$1
pictures=$2
for tool in openbox xdotool xwininfo xvfb-run import convert; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit 77; }
done
runtime=$(mktemp -d "${TMPDIR:-/tmp}/korvel-fit.XXXXXX")
trap 'rm -rf "$runtime"' EXIT
chmod 700 "$runtime"
mkdir -p "$pictures"

# show SCREEN NAME: starts the program on a screen of that size, scaled by 2, under openbox;
# leaves the frame's xwininfo in $runtime/NAME.frame and the window's own picture (without
# the frame) in $runtime/NAME.png.
show() {
    env -u QT_QPA_PLATFORM -u QT_LOGGING_RULES KORVEL_TEXT_BROWSER=1 QTWEBENGINE_DISABLE_SANDBOX=1 \
        QT_SCALE_FACTOR=2 XDG_RUNTIME_DIR="$runtime" KORVEL_EXE="$exe" \
        PICTURE="$pictures/main_window_2x_$1.png" CLIENT="$runtime/$2.png" \
        timeout 90 xvfb-run -a -s "-screen 0 ${1}x24" sh -c '
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
            if [ -n "$wid" ]; then
                xwininfo -id "$frame"
                import -window "$wid" "$CLIENT"
            fi
            import -window root "$PICTURE"
            kill "$pid" "$wm"' >"$runtime/$2.frame" 2>"$runtime/$2.err"
}

# frame_fits NAME WIDTH HEIGHT: the frame lies on the screen; sets w and h (its size).
frame_fits() {
    x=$(sed -n 's/.*Absolute upper-left X: *\(-\{0,1\}[0-9]*\).*/\1/p' "$runtime/$1.frame")
    y=$(sed -n 's/.*Absolute upper-left Y: *\(-\{0,1\}[0-9]*\).*/\1/p' "$runtime/$1.frame")
    w=$(sed -n 's/.*Width: *\([0-9]*\).*/\1/p' "$runtime/$1.frame")
    h=$(sed -n 's/.*Height: *\([0-9]*\).*/\1/p' "$runtime/$1.frame")
    if [ -z "$x" ] || [ -z "$w" ]; then
        echo "FAIL: the window did not appear on $2x$3"
        cat "$runtime/$1.frame" "$runtime/$1.err"
        exit 1
    fi
    echo "frame at $x,$y size ${w}x$h on $2x$3"
    if [ "$x" -lt 0 ] || [ "$y" -lt 0 ] || [ $((x + w)) -gt "$2" ] || [ $((y + h)) -gt "$3" ]; then
        echo "FAIL: the window frame leaves the screen"
        exit 1
    fi
}

# pixel PICTURE X Y: "R,G,B" of one pixel.
pixel() {
    convert "$1" -format "%[fx:int(255*p{$2,$3}.r+.5)],%[fx:int(255*p{$2,$3}.g+.5)],%[fx:int(255*p{$2,$3}.b+.5)]" info:
}

show 1600x1000 large
frame_fits large 1600 1000
if [ "$w" -lt 1200 ] || [ "$h" -lt 700 ]; then
    echo "FAIL: the window uses little of the screen"
    exit 1
fi

show 1366x768 small
frame_fits small 1366 768
client="$runtime/small.png"
cw=$(convert "$client" -format '%w' info:)
ch=$(convert "$client" -format '%h' info:)
# The status bar's background between its first two panels (150 px in, scaled by 2), on the
# window's last row; the top bar's green line at its top, in the window's last column.
bottom=$(pixel "$client" 301 $((ch - 1)))
right=$(pixel "$client" $((cw - 2)) 1)
echo "window ${cw}x$ch: bottom edge $bottom, top right $right"
if [ "$bottom" != "227,239,243" ]; then
    echo "FAIL: the window's bottom edge is not its status bar (the whole window scrolls)"
    exit 1
fi
if [ "$right" != "0,128,0" ]; then
    echo "FAIL: the window's right edge is not its top bar (the whole window scrolls)"
    exit 1
fi
