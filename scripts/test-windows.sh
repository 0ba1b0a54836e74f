#!/bin/sh
# Builds the Windows program and runs the end-to-end checks under Wine on a
# private virtual desktop (Xvfb + openbox + a PulseAudio null sink), all
# started and ended by the test itself. Screenshots land in
# build-win/e2e-artifacts/ for a look by eye.
# Needs wine64, xvfb, openbox, pulseaudio (parec, pactl), xdotool, x11-utils,
# xterm, imagemagick and python3 with PIL.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build-windows.sh" >/dev/null
# The store alone first: no window, Wine prefixes of its own.
/usr/bin/python3 "$root/tests/e2e/wine/test_store.py" "$root/build-win"
exec /usr/bin/python3 "$root/tests/e2e/wine/test_wine.py" "$root/build-win" "$root/build-win/e2e-artifacts"
