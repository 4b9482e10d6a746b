#!/usr/bin/env bash
# Installs the built program into a scratch prefix and packs it with
# `cpack -G DEB`, then checks that both put every file where a Linux desktop
# and udev look for it, that the files pass their validators and agree with
# each other, and that the package depends on the libraries the program needs.
#
# Usage: tst_install.sh BUILD_DIR SOURCE_DIR
# CMAKE and CPACK name the tools to use (default: the ones on PATH).
set -euo pipefail

usage="usage: tst_install.sh BUILD_DIR SOURCE_DIR"
build=${1:?$usage}
source=${2:?$usage}
cmake=${CMAKE:-cmake}
cpack=${CPACK:-cpack}

id=org.orlenta.OrlentaLE
rule=70-orlenta-pedals.rules
installed=(
    bin/orlenta-le
    "share/applications/$id.desktop"
    "share/icons/hicolor/256x256/apps/$id.png"
    "share/metainfo/$id.metainfo.xml"
    "lib/udev/rules.d/$rule"
)
# Runtime packages the program links, as package-name patterns.
needed=(
    'libqt6core6' 'libqt6gui6' 'libqt6widgets6' 'libqt6multimedia6'
    'libavformat[0-9]+' 'libavcodec[0-9]+' 'libswresample[0-9]+' 'libavutil[0-9]+'
    'libsoundtouch[0-9]+' 'libxcb1' 'libxcb-keysyms1'
)

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
die() {
    echo "FAIL: $*" >&2
    exit 1
}
pass() { echo "PASS: $*"; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

[ -x "$build/bin/orlenta-le" ] || die "$build/bin/orlenta-le is not built; build the orlenta-le target first"

# --- cmake --install into a scratch prefix ---------------------------------

if ! env -u DESTDIR "$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log" >&2
    die "cmake --install $build --prefix $prefix failed"
fi
for f in "${installed[@]}"; do
    if [ -s "$prefix/$f" ]; then pass "installed $f"; else fail "cmake --install did not install $f"; fi
done
[ -x "$prefix/bin/orlenta-le" ] || fail "bin/orlenta-le is installed without its execute permission"
cmp -s "$source/packaging/$rule" "$prefix/lib/udev/rules.d/$rule" ||
    fail "the installed udev rule differs from packaging/$rule"
[ "$failures" -eq 0 ] || die "$failures file(s) missing after cmake --install; later checks need them"

desktop=$prefix/share/applications/$id.desktop
metainfo=$prefix/share/metainfo/$id.metainfo.xml

# --- validators ---------------------------------------------------------------

if command -v desktop-file-validate >/dev/null; then
    # It exits 0 on warnings; a warning is a fault here too.
    if out=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$out" ]; then
        pass "desktop-file-validate"
    else
        fail "desktop-file-validate $id.desktop: $out"
    fi
else
    echo "SKIP: desktop-file-validate is not installed (package desktop-file-utils)"
fi
if command -v appstreamcli >/dev/null; then
    if out=$(appstreamcli validate --no-net "$metainfo" 2>&1); then
        pass "appstreamcli validate"
    else
        fail "appstreamcli validate --no-net $id.metainfo.xml: $out"
    fi
else
    echo "SKIP: appstreamcli is not installed (package appstream)"
fi

# --- the files agree with each other ----------------------------------------

field() { sed -n "s/^$1=//p" "$desktop"; }
exec_line=$(field Exec)
program=${exec_line%% *}
if [ -n "$program" ] && [ -x "$prefix/bin/$program" ]; then
    pass "Exec names the installed program"
else
    fail "Exec=$exec_line does not start with a program installed in bin/"
fi
[ "$(field Icon)" = "$id" ] || fail "Icon=$(field Icon), but the icon is installed as $id.png"
grep -q "<id>$id</id>" "$metainfo" || fail "the metainfo's <id> is not $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "the metainfo's launchable is not $id.desktop"
desktop_types=$(field MimeType | tr ';' '\n' | sed '/^$/d' | sort)
metainfo_types=$(sed -n 's:.*<mediatype>\(.*\)</mediatype>.*:\1:p' "$metainfo" | sort)
if [ -n "$desktop_types" ] && [ "$desktop_types" = "$metainfo_types" ]; then
    pass "MimeType and mediatypes list the same $(echo "$desktop_types" | wc -l) types"
else
    fail "the .desktop MimeType and the metainfo mediatypes differ:
$(diff <(echo "$desktop_types") <(echo "$metainfo_types") || true)"
fi

# --- the Debian package -------------------------------------------------------

command -v dpkg-deb >/dev/null || die "dpkg-deb is not installed; cannot read the package"
command -v dpkg-shlibdeps >/dev/null ||
    die "dpkg-shlibdeps is not installed (package dpkg-dev); cpack needs it for the Depends line"
if ! env -u DESTDIR "$cpack" -G DEB -B "$work/package" --config "$build/CPackConfig.cmake" \
    >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    die "cpack -G DEB failed"
fi
debs=("$work/package"/*.deb)
if [ "${#debs[@]}" -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    die "cpack made no single .deb: ${debs[*]}"
fi
deb=${debs[0]}
pass "cpack made $(basename "$deb")"

[ "$(dpkg-deb -f "$deb" Package)" = orlenta-le ] || fail "Package is $(dpkg-deb -f "$deb" Package), not orlenta-le"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# Package names alone, one a line, alternatives included.
depended=$(echo "$depends" | tr ',|' '\n' | sed 's/(.*//; s/^ *//; s/ *$//' | sed '/^$/d')
for pattern in "${needed[@]}"; do
    if grep -qEx "$pattern" <<<"$depended"; then
        pass "Depends names $(grep -Ex "$pattern" <<<"$depended" | head -n1)"
    else
        fail "Depends names no package matching $pattern"
    fi
done

contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for f in "${installed[@]}"; do
    if grep -qFx "./usr/$f" <<<"$contents"; then
        pass "the package holds /usr/$f"
    else
        fail "the package lacks /usr/$f"
    fi
done

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "All install and package checks passed."
