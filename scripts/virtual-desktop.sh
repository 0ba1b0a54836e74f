#!/usr/bin/env bash
# A private desktop for tests and for running without a display:
# Xvfb (1280x800, 24 bits) + openbox + a PulseAudio server whose only sink is
# a null sink named guizzolo_sink (record its monitor to hear what was played).
#
#   scripts/virtual-desktop.sh start STATE_DIR [--no-sound]
#   scripts/virtual-desktop.sh stop STATE_DIR
#
# start writes STATE_DIR/env (export lines: DISPLAY, PULSE_SERVER,
# XDG_RUNTIME_DIR, GUIZZOLO_DESKTOP, GUIZZOLO_SINK); source it to use the
# desktop. stop ends what start began, by the PIDs it recorded.
set -euo pipefail

usage() { echo "usage: $0 start|stop STATE_DIR [--no-sound]" >&2; exit 2; }
[[ $# -ge 2 ]] || usage
action=$1
mkdir -p "$2"
state=$(cd "$2" && pwd)
sound=yes
[[ "${3:-}" == --no-sound ]] && sound=no

# Waits up to $1 seconds for the command that follows to succeed.
wait_for() {
  local deadline=$((SECONDS + $1)); shift
  until "$@" >/dev/null 2>&1; do
    [[ $SECONDS -lt $deadline ]] || return 1
    sleep 0.1
  done
}

alive() { kill -0 "$1" 2>/dev/null; }

# Ends the processes start recorded: TERM to all, then KILL what is left
# after five seconds.
stop() {
  local name file pid pids=()
  for name in pulseaudio openbox xvfb; do
    file=$state/$name.pid
    [[ -f $file ]] || continue
    pid=$(<"$file")
    rm -f "$file"
    # Only if that PID still runs what was started (PIDs get reused).
    grep -qix "$name" "/proc/$pid/comm" 2>/dev/null && pids+=("$pid")
  done
  [[ ${#pids[@]} -gt 0 ]] || return 0
  kill "${pids[@]}" 2>/dev/null || true
  local deadline=$((SECONDS + 5))
  for pid in "${pids[@]}"; do
    while alive "$pid" && [[ $SECONDS -lt $deadline ]]; do sleep 0.1; done
    alive "$pid" && kill -9 "$pid" 2>/dev/null || true
  done
}

fail() {
  echo "virtual desktop: $1 (logs in $state)" >&2
  stop
  exit 1
}

wm_running() {
  DISPLAY=$display xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'
}

start() {
  [[ ! -f $state/xvfb.pid ]] || stop
  mkdir -p "$state/home" "$state/runtime"
  chmod 700 "$state/runtime"
  export HOME=$state/home XDG_RUNTIME_DIR=$state/runtime
  unset WAYLAND_DISPLAY

  # Xvfb picks a free display number itself and writes it to the fd.
  rm -f "$state/display"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -dpi 96 -nolisten tcp -noreset \
    3>"$state/display" >"$state/xvfb.log" 2>&1 &
  echo $! >"$state/xvfb.pid"
  wait_for 10 grep -q '[0-9]' "$state/display" || fail "Xvfb did not start"
  display=:$(tr -dc 0-9 <"$state/display")
  wait_for 10 env DISPLAY="$display" xprop -root -notype _NET_SUPPORTED ||
    fail "Xvfb does not answer on $display"

  DISPLAY=$display openbox --sm-disable >"$state/openbox.log" 2>&1 &
  echo $! >"$state/openbox.pid"
  wait_for 10 wm_running || fail "openbox did not start"
  # A plain coloured desktop, so that a box around the fish would show.
  if command -v xsetroot >/dev/null; then DISPLAY=$display xsetroot -solid '#5a7890'; fi

  local pulse_server=
  if [[ $sound == yes ]]; then
    local socket=$state/pulse.socket
    cat >"$state/own.pa" <<PA
load-module module-null-sink sink_name=guizzolo_sink sink_properties=device.description=guizzolo_sink
load-module module-native-protocol-unix socket=$socket auth-anonymous=1
set-default-sink guizzolo_sink
PA
    rm -f "$socket"
    # -n: no default configuration; own HOME and XDG_RUNTIME_DIR keep it
    # apart from any other server (also when running as root).
    pulseaudio -n -F "$state/own.pa" --daemonize=no --exit-idle-time=-1 \
      --system=false --use-pid-file=no --disallow-exit=yes --log-target=stderr \
      >"$state/pulseaudio.log" 2>&1 &
    echo $! >"$state/pulseaudio.pid"
    pulse_server=unix:$socket
    wait_for 10 env PULSE_SERVER="$pulse_server" pactl info ||
      fail "pulseaudio did not start"
  fi

  {
    printf 'export GUIZZOLO_DESKTOP=%q\n' "$state"
    printf 'export DISPLAY=%q\n' "$display"
    printf 'export XDG_RUNTIME_DIR=%q\n' "$state/runtime"
    if [[ -n $pulse_server ]]; then
      printf 'export PULSE_SERVER=%q\n' "$pulse_server"
      printf 'export GUIZZOLO_SINK=guizzolo_sink\n'
    fi
    printf 'unset WAYLAND_DISPLAY\n'
  } >"$state/env"
}

case "$action" in
  start) start ;;
  stop) stop ;;
  *) usage ;;
esac
