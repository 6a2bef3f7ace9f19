#!/usr/bin/env bash
# Builds the Debian package from a finished build and checks it with Debian's
# own tools: lintian, the desktop entry and AppStream validators, groff; then
# what it installs, read from the extracted package.
#   package_test.sh BUILD-FOLDER
set -uo pipefail
. "$(dirname "$0")/checks.sh"
build=$(realpath "$1")
changelog=$(dirname "$0")/../../packaging/changelog

for tool in cpack dpkg-deb dpkg-shlibdeps dpkg-parsechangelog lintian desktop-file-validate appstreamcli groff readelf; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is missing: bash scripts/install-deps.sh installs what the package checks need" >&2
        exit 1
    fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! (cd "$build" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    echo "FAILED: cpack -G DEB" >&2
    exit 1
fi
deb=$(ls "$work"/out/*.deb)
root=$work/root
dpkg-deb -x "$deb" "$root"
app=org.example.Porvix
field() { dpkg-deb -f "$deb" "$1"; }

# The package names itself, its maker and its version as the project does.
version=$(dpkg-parsechangelog -l "$changelog" -S Version)
check_equal "the program's version is the newest changelog entry's" "porvix $version" \
    "$("$root/usr/bin/porvix" --version)"
check_equal "the package's version" "$version" "$(field Version)"
check_equal "the package's name" porvix "$(field Package)"
check_equal "the maintainer" "Porvix developers <porvix@example.org>" "$(field Maintainer)"
check_equal "the section" comm "$(field Section)"
check_equal "the recommended fonts" "fonts-noto-cjk | fonts-ipafont-gothic" "$(field Recommends)"
for library in libc6 libqt6core6 libqt6widgets6 libqt6serialport6 libsystemd0 libxcb1; do
    check "Depends names $library" grep -q "\\b$library\\b" <<<"$(field Depends)"
done
check "an extended description follows the summary" [ "$(field Description | wc -l)" -ge 3 ]

# What the package installs.
for path in usr/bin/porvix usr/libexec/porvix/porvix-headless \
    usr/share/doc/porvix/manual.html usr/share/doc/porvix/copyright usr/share/doc/porvix/changelog.gz \
    usr/share/man/man1/porvix.1.gz usr/share/bash-completion/completions/porvix \
    usr/share/applications/$app.desktop usr/share/metainfo/$app.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/$app.svg; do
    check "the package holds /$path" [ -s "$root/$path" ]
done
# Each PNG is as large as its folder says: width and height from its header.
for size in 16 32 48 256; do
    png=$root/usr/share/icons/hicolor/${size}x${size}/apps/$app.png
    check_equal "the ${size}x${size} icon's size" "$size $size" \
        "$(od -An -tu4 --endian=big -j16 -N8 "$png" 2>/dev/null | xargs)"
done
for program in usr/bin/porvix usr/libexec/porvix/porvix-headless; do
    check "/$program is stripped" bash -c "! readelf -S '$root/$program' | grep -q '\\.debug_info'"
    check "/$program is executable" [ -x "$root/$program" ]
done
# The installed program hands a run without windows to the installed helper,
# in the same process.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$work" XDG_CONFIG_HOME="$work" \
    XDG_RUNTIME_DIR="$work" "$root/usr/bin/porvix" --headless --home "$work/home" >/dev/null 2>&1 &
started=$!
for _ in $(seq 50); do
    [ "$(cat "/proc/$started/comm" 2>/dev/null)" = porvix-headless ] && break
    sleep 0.1
done
check_equal "a headless run goes to porvix-headless" porvix-headless "$(cat "/proc/$started/comm" 2>/dev/null)"
kill "$started" 2>/dev/null
wait "$started" 2>/dev/null
for file in usr/share/man/man1/porvix.1.gz usr/share/doc/porvix/changelog.gz; do
    check "/$file is compressed without a name or time" \
        [ "$(od -An -tu1 -j3 -N5 "$root/$file" | xargs)" = "0 0 0 0 0" ]
done

# The desktop entry, the metadata and the manual page pass their validators,
# and point at what the package holds.
desktop=$root/usr/share/applications/$app.desktop
check "desktop-file-validate accepts the desktop entry" desktop-file-validate "$desktop"
check_equal "the desktop entry starts the installed program" porvix "$(sed -n 's/^Exec=//p' "$desktop")"
check_equal "the desktop entry's icon is the installed one" $app "$(sed -n 's/^Icon=//p' "$desktop")"
metainfo=$root/usr/share/metainfo/$app.metainfo.xml
check "appstreamcli accepts the metadata" appstreamcli validate --no-net "$metainfo"
check "the metadata launches the desktop entry" grep -q "<launchable type=\"desktop-id\">$app.desktop<" "$metainfo"
released=$(date -u -d "$(dpkg-parsechangelog -l "$changelog" -S Date)" +%F)
check "the metadata's release is this version of $released" \
    grep -q "<release version=\"$version\" date=\"$released\"/>" "$metainfo"
check "the manual page is of this version of $released" \
    grep -q "^\.TH PORVIX 1 $released \"porvix $version\"" <<<"$(zcat "$root/usr/share/man/man1/porvix.1.gz")"
manWarnings=$(zcat "$root/usr/share/man/man1/porvix.1.gz" | groff -ww -man -z 2>&1)
check_equal "groff renders the manual page without warnings" "" "$manWarnings"
for option in --headless --home --send --status --json --monitor --hex --text --help --version -I -IH -U PORVIX_HOME XDG_CONFIG_HOME \
    XDG_RUNTIME_DIR WAYLAND_DISPLAY QT_QPA_PLATFORM PORVIX_UNIT_DIR "EXIT STATUS"; do
    check "the manual page tells of $option" grep -qF -- "$option" <<<"$(zcat "$root/usr/share/man/man1/porvix.1.gz" | sed 's/\\-/-/g')"
done

# lintian: errors fail the test; warnings are listed.
lintian --fail-on error --no-tag-display-limit "$deb" >"$work/lintian.log" 2>&1
lintianStatus=$?
cat "$work/lintian.log"
check "lintian finds no error (exit status $lintianStatus)" [ "$lintianStatus" -eq 0 ]

# Without its tools, cpack says what to install instead of failing somewhere
# inside: a PATH that holds only the given tools, and the packages to install.
cpack=$(command -v cpack)
for entry in ":dpkg-dev file" "file:dpkg-dev"; do
    tools=${entry%%:*}
    bin=$work/bin-${tools:-none}
    mkdir "$bin"
    [ -n "$tools" ] && ln -s "$(command -v "$tools")" "$bin/$tools"
    (cd "$build" && env PATH="$bin" "$cpack" -G DEB -B "$work/out-${tools:-none}") >"$work/bare.log" 2>&1
    bareStatus=$?
    check "cpack fails with only '$tools' (exit status $bareStatus)" [ "$bareStatus" -ne 0 ]
    said=$(tr -s '\n ' '  ' <"$work/bare.log")
    check "cpack with only '$tools' says to install ${entry#*:}" \
        grep -qF "(${entry#*:}): apt-get install ${entry#*:}" <<<"$said"
done
finish
