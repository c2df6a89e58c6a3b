#!/bin/sh
# The check the build runs on the timetable's source folder: the repository's data passes;
# a damaged file, a missing file and a garbled checksum line each stop it, naming the file.
#   check_sources_test.sh SOURCE_DIR
set -eu
src=$1
script=$src/tools/timetable/check_sources.cmake
work=$(mktemp -d "${TMPDIR:-/tmp}/korvel-sources.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# expect_refusal DIR TEXT: the check fails and its message contains TEXT.
expect_refusal() {
    if cmake -DDIR="$1" -P "$script" >"$work/out" 2>&1; then fail "accepted $1 ($2)"; fi
    grep -qF "$2" "$work/out" || { cat "$work/out"; fail "message does not name '$2'"; }
}

cmake -DDIR="$src/data" -P "$script" || fail "the repository's data is refused"

cp -r "$src/data" "$work/damaged"
printf 'G1,1,北京南,-99:00,08:00,1,0\n' >>"$work/damaged/timetable-2019/stops.csv"
expect_refusal "$work/damaged" "$work/damaged/timetable-2019/stops.csv is damaged"

cp -r "$src/data" "$work/missing"
rm "$work/missing/stations/station_name-2024.txt"
expect_refusal "$work/missing" "$work/missing/stations/station_name-2024.txt is missing"

cp -r "$src/data" "$work/garbled"
echo "not a checksum line" >>"$work/garbled/SHA256SUMS"
expect_refusal "$work/garbled" "$work/garbled/SHA256SUMS"
echo "source checks: ok"
