#!/bin/sh
# The Debian package of a build folder: `cpack -G DEB` on the existing build
# (nothing is compiled again), its contents, its registry naming the modules
# where they are installed, dependencies from dpkg-shlibdeps, and lintian
# without errors; the desktop entry and AppStream data pass their validators.
# Usage: package-test.sh BUILD_DIR SOURCE_DIR
set -eu
build="$1"
source="$2"
scratch="$(mktemp -d /tmp/tw-package-XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "package-test: $*" >&2
    exit 1
}

desktop-file-validate "$source/res/tonewright.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$source/res/io.github.tonewright.Tonewright.metainfo.xml" ||
    fail "appstreamcli validate"

(cd "$build" && cpack -G DEB -B "$scratch" >"$scratch/cpack.log" 2>&1) ||
    fail "cpack failed: $(tail -5 "$scratch/cpack.log")"
deb="$(ls "$scratch"/*.deb)"
dpkg-deb -c "$deb" | awk '{print $6}' >"$scratch/contents"
for path in ./usr/bin/tonewright ./usr/bin/tonewright-play \
    ./usr/lib/tonewright/libtonewright_virtualcard.so ./usr/lib/tonewright/libtonewright_jack.so \
    ./usr/lib/tonewright/libtonewright_alsa.so \
    ./usr/share/tonewright/registry.d/tonewright_virtualcard.reg \
    ./usr/share/tonewright/registry.d/tonewright_jack.reg \
    ./usr/share/tonewright/registry.d/tonewright_alsa.reg \
    ./usr/share/man/man1/tonewright.1.gz ./usr/share/man/man1/tonewright-play.1.gz \
    ./usr/share/bash-completion/completions/tonewright-play \
    ./usr/share/applications/tonewright.desktop \
    ./usr/share/metainfo/io.github.tonewright.Tonewright.metainfo.xml; do
    grep -qx "$path" "$scratch/contents" || fail "$path is not in the package"
done
! grep -q testdriver "$scratch/contents" || fail "the test driver is in the package"
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/tonewright/registry.d/tonewright_jack.reg |
    grep -qF '@="/usr/lib/tonewright/libtonewright_jack.so"' ||
    fail "the JACK registration does not name /usr/lib/tonewright/libtonewright_jack.so"
depends="$(dpkg-deb -f "$deb" Depends)"
for library in libjack libasound2 libqt6widgets6 libstdc++6; do
    echo "$depends" | grep -q "$library" || fail "Depends lacks $library: $depends"
done

lintian --fail-on error --tag-display-limit 0 "$deb" >"$scratch/lintian.txt" 2>&1 ||
    fail "lintian reports errors: $(cat "$scratch/lintian.txt")"
echo "package-test: $(basename "$deb") built; lintian warnings and notes:"
cat "$scratch/lintian.txt"
