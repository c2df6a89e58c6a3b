#!/bin/sh
# check-includes on a small made-up checkout under the real rules: every include against the
# rules is named with its file and line, the allowed ones are not, and a checkout without
# rules is refused rather than passed.
#   check_includes_test.sh CHECK_INCLUDES ARCHITECTURE_MD
set -eu
check="$1"
rules="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/docs" "$work/src/data" "$work/src/app" "$work/src/query" "$work/src/ui" \
    "$work/src/nowhere" "$work/tools/timetable" "$work/cli"
cp "$rules" "$work/docs/ARCHITECTURE.md"
touch "$work/src/data/a.h" "$work/src/app/x.h" "$work/tools/timetable/c.h"
printf '#include "data/a.h"\n#include <vector>\n#include "app/x.h"\n#include <QWidget>\n' \
    >"$work/src/query/q.cpp"
printf '#include <QWidget>\n#include "app/x.h"\n' >"$work/src/ui/w.cpp"
# A tool's own folder shadows src/ of the same name.
printf '#include "timetable/c.h"\n#include "data/a.h"\n' >"$work/tools/timetable/b.cpp"
printf '#include "../src/data/a.h"\n' >"$work/cli/c.cpp"
printf '#include "data/a.h"\n' >"$work/src/nowhere/n.cpp"

status=0
python3 "$check" "$work" >"$work/out" || status=$?
cat >"$work/expected" <<'END'
src/nowhere/n.cpp: in no module of docs/ARCHITECTURE.md
src/query/q.cpp:3: #include "app/x.h": query may not use app
src/query/q.cpp:4: #include <QWidget>: Qt in query, which is Qt-free
cli/c.cpp:1: #include "../src/data/a.h": a path out of the folder; include it by its module's path
END
if [ "$status" -ne 1 ] || ! diff -u "$work/expected" "$work/out"; then
    echo "check-includes: exit $status, or not the expected lines" >&2
    exit 1
fi

# Without the rules nothing passes.
rm "$work/docs/ARCHITECTURE.md"
status=0
python3 "$check" "$work" >/dev/null 2>&1 || status=$?
if [ "$status" -ne 2 ]; then
    echo "check-includes without rules: exit $status, expected 2" >&2
    exit 1
fi
echo "include check: ok"
