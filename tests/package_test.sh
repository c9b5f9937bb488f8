#!/usr/bin/env bash
# Makes the Debian package from the build tree and checks it: the files it holds, lintian,
# the desktop checkers on the files as packed, and the packed vellumark-cli run from a
# scratch root on a library of its own.
# Usage: package_test.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >/dev/null
package=$(find "$scratch/out" -maxdepth 1 -name 'vellumark_*_amd64.deb')
[ -n "$package" ] || fail "no vellumark_*_amd64.deb"

contents=$(dpkg-deb --contents "$package" | awk '{print $6}')
id=io.github.vellumark.Vellumark
expected=(
    ./usr/bin/vellumark ./usr/bin/vellumark-cli ./usr/libexec/vellumark/vellumark-print
    ./usr/share/vellumark/readme.txt
    ./usr/share/applications/$id.desktop ./usr/share/metainfo/$id.metainfo.xml
    ./usr/share/icons/hicolor/scalable/apps/$id.svg
    ./usr/share/man/man1/vellumark.1.gz ./usr/share/man/man1/vellumark-cli.1.gz
    ./usr/share/bash-completion/completions/vellumark-cli
    ./usr/share/doc/vellumark/copyright ./usr/share/doc/vellumark/changelog.gz
)
for size in 16 22 24 32 48 64 128 256; do
    expected+=(./usr/share/icons/hicolor/${size}x$size/apps/$id.png)
done
for file in "${expected[@]}"; do
    grep -qxF "$file" <<<"$contents" || fail "the package lacks $file"
done
dpkg-deb --field "$package" Depends | grep -q 'fonts-wqy-zenhei' || fail "no dependency on the font"
dpkg-deb --field "$package" Depends | grep -q 'libqt6widgets6' || fail "no computed dependencies"

lintian --fail-on error --tag-display-limit 0 "$package" 2>&1 | grep -v 'root privileges' || true
lintian --fail-on error "$package" >/dev/null 2>&1 || fail "lintian reports errors"

root=$scratch/root
dpkg-deb -x "$package" "$root"
desktop-file-validate "$root/usr/share/applications/$id.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" >/dev/null
version=$("$root/usr/bin/vellumark-cli" --version)
[ "$version" = "vellumark-cli $(dpkg-deb --field "$package" Version)" ] || fail "--version says: $version"
mkdir -p "$scratch/lib"
export HOME=$scratch XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data
boxes=$("$root/usr/bin/vellumark-cli" --library "$scratch/lib" boxes)
[ "$boxes" = "Orlendy" ] || fail "boxes of an empty library: $boxes"
echo PASS
