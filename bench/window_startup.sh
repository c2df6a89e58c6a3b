#!/usr/bin/env bash
# How soon the desktop window is usable: from process start to the main window shown on
# screen, and to the query buttons enabled (every table they need loaded), under Xvfb.
#
#   bench/window_startup.sh [path/to/korvel] [runs]
#
# Uses the program's opt-in start-up trace (KORVEL_TRACE_STARTUP=quit: timestamps on
# standard error, and the program ends once the buttons are enabled). Prints every run and
# the medians in milliseconds. Targets at 1x: shown < 300 ms, enabled < 150 ms after shown.
set -euo pipefail

bin=${1:-build/bin/korvel}
runs=${2:-7}
[ -x "$bin" ] || { echo "no program at $bin (build the korvel target)" >&2; exit 1; }
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing (Debian package xvfb)" >&2; exit 1; }

runtime=$(mktemp -d)
chmod 700 "$runtime"
trap 'rm -rf "$runtime"' EXIT

export KORVEL_BIN=$bin KORVEL_RUNS=$runs XDG_RUNTIME_DIR=$runtime
export QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu"

# One X server for all runs, so that its own start-up is not counted.
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    for i in $(seq 1 "$KORVEL_RUNS"); do
        start=$(date +%s.%N)
        trace=$(KORVEL_TRACE_STARTUP=quit timeout 60 "$KORVEL_BIN" 2>&1 >/dev/null | grep "^korvel-trace" || true)
        echo "run $i start $start $(echo "$trace" | tr "\n" " ")"
    done
' | awk '
    {
        start = $4 * 1000; main = shown = enabled = ""
        for (i = 5; i < NF; i++) {
            if ($i == "main") main = $(i + 1)
            if ($i == "window-shown") shown = $(i + 1)
            if ($i == "buttons-enabled") enabled = $(i + 1)
        }
        if (shown == "" || enabled == "") { print "run " $2 ": no complete trace"; next }
        n++
        m[n] = main - start; s[n] = shown - start; e[n] = enabled - start; d[n] = enabled - shown
        printf "run %d: main %.1f ms, window shown %.1f ms, buttons enabled %.1f ms (%+.1f ms after shown)\n", $2, m[n], s[n], e[n], d[n]
    }
    function median(a, k,   i, j, t, b) {
        for (i = 1; i <= k; i++) b[i] = a[i]
        for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++) if (b[j] < b[i]) { t = b[i]; b[i] = b[j]; b[j] = t }
        return k % 2 ? b[(k + 1) / 2] : (b[k / 2] + b[k / 2 + 1]) / 2
    }
    END {
        if (n == 0) { print "no run completed"; exit 1 }
        printf "median of %d runs: main %.1f ms, window shown %.1f ms, buttons enabled %.1f ms, enabled %+.1f ms after shown\n", n, median(m, n), median(s, n), median(e, n), median(d, n)
    }'
