#!/usr/bin/env bash
# Runs a command with a virtual desktop of its own (scripts/virtual-desktop.sh:
# Xvfb, openbox, a PulseAudio null sink): starts it, sources its env, runs
# the command, ends the desktop. Exits with the command's status.
#   scripts/private-desktop.sh COMMAND [ARG...]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
desktop=$(mktemp -d "${TMPDIR:-/tmp}/guizzolo-desktop.XXXXXX")
trap '"$root/scripts/virtual-desktop.sh" stop "$desktop"; rm -rf "$desktop"' EXIT
"$root/scripts/virtual-desktop.sh" start "$desktop" || exit 1
# shellcheck source=/dev/null
. "$desktop/env"
echo "desktop $DISPLAY, sound server $PULSE_SERVER"
"$@"
