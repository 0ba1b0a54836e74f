#!/usr/bin/env bash
# A private audio server for tests, whose only sink is a null sink named
# guizzolo_sink (record its monitor to hear what was played): PulseAudio, or
# PipeWire with WirePlumber and its pulse server, as a GNOME desktop of
# Debian runs them. Each has its own HOME, XDG_RUNTIME_DIR and, for PipeWire,
# session bus, so it stays apart from any other server (also as root).
#
#   scripts/audio-server.sh start STATE_DIR [pulseaudio|pipewire]
#   scripts/audio-server.sh stop STATE_DIR
#
# start writes STATE_DIR/env (export lines: PULSE_SERVER, GUIZZOLO_SINK,
# GUIZZOLO_SOUND_SERVER); the PID of the process that serves the socket is
# in STATE_DIR/server.pid. start on a folder whose server runs starts it
# anew on the same socket. stop ends what start began, by the PIDs it
# recorded. GUIZZOLO_DESKTOP_TIMEOUT bounds each start-up wait (seconds,
# default 30).
set -euo pipefail

usage() { echo "usage: $0 start STATE_DIR [pulseaudio|pipewire] | stop STATE_DIR" >&2; exit 2; }
[[ $# -ge 2 ]] || usage
action=$1
mkdir -p "$2"
state=$(cd "$2" && pwd)
kind=${3:-pulseaudio}
[[ $kind == pulseaudio || $kind == pipewire ]] || usage
limit=${GUIZZOLO_DESKTOP_TIMEOUT:-30}
sink=guizzolo_sink

# shellcheck source=scripts/processes.sh
. "$(dirname "$0")/processes.sh"

# Each process started is one line "PID NAME" of STATE_DIR/processes.
launch() {
  local log=$1; shift
  "$@" >"$state/$log.log" 2>&1 &
  echo "$! $(basename "$1")" >>"$state/processes"
}

stop() {
  [[ -f $state/processes ]] || return 0
  rm -f "$state/server.pid"
  end_listed "$state/processes"
}

fail() {
  echo "audio server ($kind): $1 (logs in $state)" >&2
  stop
  exit 1
}

start_pulseaudio() {
  socket=$state/pulse.socket
  cat >"$state/own.pa" <<PA
load-module module-null-sink sink_name=$sink sink_properties=device.description=$sink
load-module module-native-protocol-unix socket=$socket auth-anonymous=1
set-default-sink $sink
PA
  rm -f "$socket"
  # -n: no default configuration.
  launch pulseaudio pulseaudio -n -F "$state/own.pa" --daemonize=no --exit-idle-time=-1 --system=false \
    --use-pid-file=no --disallow-exit=yes --log-target=stderr
  wait_for "$limit" env PULSE_SERVER="unix:$socket" pactl info || fail "pulseaudio did not start"
}

start_pipewire() {
  # Debian's configuration, without the device monitors: no sound card,
  # camera or Bluetooth of the machine is touched (WirePlumber 0.4 reads
  # the Lua files, 0.5 the .conf one).
  local wp=$state/home/.config/wireplumber
  mkdir -p "$wp/main.lua.d" "$wp/bluetooth.lua.d" "$wp/wireplumber.conf.d"
  printf 'alsa_monitor.enabled = false\nv4l2_monitor.enabled = false\nlibcamera_monitor.enabled = false\n' \
    >"$wp/main.lua.d/51-guizzolo.lua"
  printf 'bluez_monitor.enabled = false\n' >"$wp/bluetooth.lua.d/51-guizzolo.lua"
  printf 'wireplumber.profiles = {\n  main = {\n%s\n  }\n}\n' \
    "$(printf '    monitor.%s = disabled\n' alsa alsa-midi bluez bluez-midi v4l2 libcamera)" \
    >"$wp/wireplumber.conf.d/51-guizzolo.conf"
  rm -f "$state/bus.address"
  dbus-daemon --session --nofork --nopidfile --address="unix:path=$state/runtime/bus" \
    --print-address=3 3>"$state/bus.address" >"$state/dbus.log" 2>&1 &
  echo "$! dbus-daemon" >>"$state/processes"
  wait_for "$limit" grep -q unix "$state/bus.address" || fail "dbus-daemon did not start"
  export DBUS_SESSION_BUS_ADDRESS
  DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$state/bus.address")

  launch pipewire pipewire
  wait_for "$limit" test -S "$state/runtime/pipewire-0" || fail "pipewire did not start"
  launch wireplumber wireplumber
  launch pipewire-pulse pipewire-pulse
  socket=$state/runtime/pulse/native
  export PULSE_SERVER=unix:$socket
  wait_for "$limit" pactl info || fail "pipewire-pulse did not start"
  # The sink lives in pipewire-pulse: a restart makes it anew. WirePlumber
  # takes it for the default once it has seen it.
  pactl load-module module-null-sink sink_name=$sink sink_properties=device.description=$sink >/dev/null ||
    fail "no null sink"
  wait_for "$limit" pactl set-default-sink $sink || fail "the null sink cannot be the default"
  wait_for "$limit" eval "[[ \$(pactl get-default-sink) == $sink ]]" || fail "the null sink is not the default"
}

start() {
  stop
  mkdir -p "$state/home" "$state/runtime"
  chmod 700 "$state/runtime"
  export HOME=$state/home XDG_RUNTIME_DIR=$state/runtime
  unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY PULSE_SERVER PULSE_RUNTIME_PATH PIPEWIRE_REMOTE \
    PIPEWIRE_RUNTIME_DIR XDG_CONFIG_HOME XDG_STATE_HOME XDG_DATA_HOME
  : >"$state/processes"
  "start_$kind"
  grep " ${kind/pipewire/pipewire-pulse}\$" "$state/processes" | cut -d' ' -f1 >"$state/server.pid"
  {
    printf 'export PULSE_SERVER=%q\n' "unix:$socket"
    printf 'export GUIZZOLO_SINK=%q\n' "$sink"
    printf 'export GUIZZOLO_SOUND_SERVER=%q\n' "$kind"
  } >"$state/env"
}

case "$action" in
  start) start ;;
  stop) stop ;;
  *) usage ;;
esac
