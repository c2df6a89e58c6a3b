#!/bin/sh
# Installs the build into a temporary DESTDIR and checks what arrived: the programs, the
# desktop entry and AppStream metadata (validated by their own tools), the icons at their
# sizes, the manual page, and the web engine module in the folder the program looks in.
#   check_install.sh BUILD_DIR [MODULE_DIR_RELATIVE_TO_BIN]
set -eu
build=$1
module_reldir=${2:-}
dest=$(mktemp -d "${TMPDIR:-/tmp}/korvel-install.XXXXXX")
trap 'rm -rf "$dest"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR=$dest cmake --install "$build" --prefix /usr >/dev/null
p=$dest/usr
for f in bin/korvel bin/korvel-cli; do
    [ -x "$p/$f" ] || fail "$f not installed as a program"
done
for m in korvel korvel-cli; do
    [ -s "$p/share/man/man1/$m.1.gz" ] || fail "no manual page for $m"
done
if [ -n "$module_reldir" ]; then
    module=$p/bin/$module_reldir/korvel-webengine.so
    [ -f "$module" ] || fail "the web engine module is not at $module"
    if ldd "$p/bin/korvel" | grep -q WebEngine; then fail "korvel links Qt WebEngine itself"; fi
    ldd "$module" | grep -q libQt6WebEngineWidgets || fail "the module does not bring Qt WebEngine"
fi

desktop=$p/share/applications/org.example.korvel.desktop
metainfo=$p/share/metainfo/org.example.korvel.metainfo.xml
[ -f "$desktop" ] || fail "no desktop entry"
[ -f "$metainfo" ] || fail "no AppStream metadata"
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $metainfo"
grep -q '<launchable type="desktop-id">org.example.korvel.desktop</launchable>' "$metainfo" ||
    fail "the metadata does not launch the installed desktop entry"
grep -q '<screenshot type="default">' "$metainfo" || fail "no screenshot in the metadata"
if grep -q '@[A-Z_]*@' "$metainfo"; then fail "a placeholder left in $metainfo"; fi
icon=$(sed -n 's/^Icon=//p' "$desktop")
exe=$(sed -n 's/^Exec=//p' "$desktop" | cut -d' ' -f1)
[ -x "$p/bin/$exe" ] || fail "the desktop entry runs $exe, which is not installed"

# PNG width and height are the big-endian words at bytes 16 and 20.
png_size() {
    od -An -tu1 -j16 -N8 "$1" |
        awk '{ print ($1*16777216 + $2*65536 + $3*256 + $4) "x" ($5*16777216 + $6*65536 + $7*256 + $8) }'
}
for size in 48 128 256; do
    png=$p/share/icons/hicolor/${size}x${size}/apps/$icon.png
    [ -f "$png" ] || fail "no ${size} px icon"
    [ "$(png_size "$png")" = "${size}x${size}" ] || fail "$png is $(png_size "$png")"
done
grep -q '<svg' "$p/share/icons/hicolor/scalable/apps/$icon.svg" || fail "no scalable icon"

# The installed command line program finds its timetable inside itself.
"$p/bin/korvel-cli" load >/dev/null || fail "the installed korvel-cli does not load"
echo "installed and valid: $(cd "$p" && find . -type f | wc -l) files"
