#!/bin/sh
# A relocated install: `cmake --install` of the build folder into a prefix of
# its own, then the installed player run from another folder, with the XDG
# folders and HOME elsewhere. It must find its drivers below that prefix,
# play, and leave nothing in its working folder but the take.
# Usage: install-test.sh BUILD_DIR
set -eu
build="$1"
scratch="$(mktemp -d /tmp/tw-install-XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "install-test: $*" >&2
    exit 1
}

cmake --install "$build" --prefix "$scratch/prefix" >"$scratch/install.log" ||
    fail "cmake --install failed: $(tail -3 "$scratch/install.log")"
mkdir "$scratch/cwd" "$scratch/home"
cd "$scratch/cwd"
env -u TONEWRIGHT_REGISTRY -u TONEWRIGHT_TAKES XDG_STATE_HOME="$scratch/state" \
    XDG_CONFIG_HOME="$scratch/config" HOME="$scratch/home" \
    "$scratch/prefix/bin/tonewright-play" --driver "Virtual Card 24-bit" --seconds 0.2 sine 1000 \
    >"$scratch/out.txt" 2>"$scratch/err.txt" || fail "the installed player failed: $(cat "$scratch/err.txt")"
grep -q "^Played sine 1000 Hz, 0.2 s at -12 dB on Virtual Card 24-bit" "$scratch/out.txt" ||
    fail "unexpected output: $(cat "$scratch/out.txt")"
left="$(ls -A)"
[ "$left" = "Virtual Card 24-bit-001.wav" ] || fail "the working folder holds: $left"
# sox reads the take as the card wrote it: 24-bit, 48000 Hz, 0.2 s in whole 256-frame buffers.
info="$(sox --i "$left")"
echo "$info" | grep -q "Sample Rate *: 48000" || fail "$info"
echo "$info" | grep -q "Precision *: 24-bit" || fail "$info"
echo "$info" | grep -Eq "Duration *: 00:00:00.2[01]" || fail "$info"
grep -q "Completed app initialization." "$scratch/state/tonewright/Dbg.Log" ||
    fail "no debug log in $scratch/state/tonewright"
[ -z "$(ls -A "$scratch/home")" ] || fail "files in HOME: $(ls -A "$scratch/home")"
echo "install-test: the player installed in $scratch/prefix played from another folder"
