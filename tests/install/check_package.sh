#!/bin/sh
# Builds the Debian package of the build folder (cpack -G DEB) into a temporary folder and
# runs lintian on it: no error and no warning may remain. Exits 77 (skipped) without lintian.
#   check_package.sh BUILD_DIR
set -eu
build=$1
command -v lintian >/dev/null 2>&1 || { echo "lintian is not installed"; exit 77; }
out=$(mktemp -d "${TMPDIR:-/tmp}/korvel-deb.XXXXXX")
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.log" 2>&1 ||
    { cat "$out/cpack.log"; fail "cpack -G DEB failed"; }
deb=$(ls "$out"/korvel_*.deb)
contents=$(dpkg-deb --contents "$deb")
for f in usr/share/doc/korvel/copyright usr/share/doc/korvel/changelog.gz \
         usr/share/man/man1/korvel-cli.1.gz; do
    echo "$contents" | grep -q " ./$f\$" || fail "$f is not in the package"
done
if dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -qE '(postinst|postrm)$'; then
    fail "the package has maintainer scripts; it installs nothing that needs one"
fi

# lintian exits non-zero on errors only; the tags it prints are the verdict.
report=$(lintian --no-tag-display-limit "$deb" 2>&1 || true)
echo "$report"
if echo "$report" | grep -qE '^[EW]: '; then fail "lintian reports errors or warnings"; fi
echo "lintian: no error, no warning"
