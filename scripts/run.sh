#!/usr/bin/env bash
# Installs what is missing, builds, and starts the pet on this display.
# With no display at all, shows it for ten seconds on a virtual desktop and
# leaves a screenshot in build/screenshot.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if [[ ${1:-} != --private-desktop ]]; then
  scripts/deps.sh run
  echo "run: building build/NuvoNuvo"
  scripts/build.sh build --target NuvoNuvo

  if [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]]; then
    exec build/NuvoNuvo
  fi

  echo "No display here (DISPLAY and WAYLAND_DISPLAY are unset): running the pet for 10 s on a virtual desktop."
  # The virtual desktop gets a network namespace of its own where this user
  # may make one: X servers also listen on abstract sockets, which are shared
  # by everything in one namespace, chroots and containers included, so
  # another X session on the machine could otherwise answer for ours.
  # (root needs no user namespace, and may not make one inside a chroot).
  private=(unshare --net)
  [[ $(id -u) -eq 0 ]] || private+=(--map-root-user)
  if "${private[@]}" true 2>/dev/null; then
    exec "${private[@]}" "$0" --private-desktop
  fi
fi

desktop=$(mktemp -d "${TMPDIR:-/tmp}/guizzolo-desktop.XXXXXX")
pet=
cleanup() {
  [[ -z $pet ]] || { kill "$pet" 2>/dev/null; wait "$pet" 2>/dev/null; } || true
  scripts/virtual-desktop.sh stop "$desktop"
  rm -rf "$desktop"
}
trap cleanup EXIT
scripts/virtual-desktop.sh start "$desktop" --no-sound
# shellcheck source=/dev/null
. "$desktop/env"
# The virtual desktop has no speakers: point the sound at nothing rather
# than at whatever audio server this machine may have.
export PULSE_SERVER=unix:$desktop/no-audio-server
build/NuvoNuvo &
pet=$!
sleep 10
if ! kill -0 "$pet" 2>/dev/null; then
  wait "$pet" && status=0 || status=$?
  pet=
  echo "The pet ended by itself within 10 s (exit status $status)." >&2
  exit 1
fi
import -window root build/screenshot.png
echo "Screenshot of the virtual desktop: $root/build/screenshot.png"
