#!/usr/bin/env bash
# The suite launcher, on a two-test suite of its own: a skipped test fails the run under CI=true and
# only there, and the tests see a world of the launcher's (a private bus, their own home), none of
# the caller's desktop.
set -u
suite=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cat >"$dir/CTestTestfile.cmake" <<'EOF'
add_test(skips "/bin/sh" "-c" "echo '[  SKIPPED ] no peer on this machine'")
set_tests_properties(skips PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
add_test(own_world "/bin/sh" "-c" "test -z \"$DISPLAY$WAYLAND_DISPLAY$PULSE_SERVER\" && test \"$HOME\" != /caller/home && dbus-send --session --dest=org.freedesktop.DBus --print-reply / org.freedesktop.DBus.GetId")
EOF
caller=(env DISPLAY=:77 WAYLAND_DISPLAY=wayland-9 PULSE_SERVER=unix:/nowhere HOME=/caller/home
        DBUS_SESSION_BUS_ADDRESS=unix:path=/nowhere/bus ORB_JOBS=2)
fail=0
out=$("${caller[@]}" CI=true "$suite" "$dir" 2>&1)
if [ $? -eq 0 ]; then echo "under CI=true a skipped test passed the run:"; echo "$out"; fail=1; fi
grep -q "Skipped tests:" <<<"$out" && grep -q "^  skips$" <<<"$out" || { echo "the skipped test is not named:"; echo "$out"; fail=1; }
out=$("${caller[@]}" CI= "$suite" "$dir" 2>&1)
if [ $? -ne 0 ]; then echo "outside CI a skip (or the own-world test) failed the run:"; echo "$out"; fail=1; fi
exit $fail
