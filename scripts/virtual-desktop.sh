#!/usr/bin/env bash
# A private desktop for tests and for running without a display: an X server
# (Xvfb, 1280x800, 24 bits, or the XWayland of a headless Wayland compositor)
# with a window manager, and an audio server whose only sink is a null sink
# named guizzolo_sink (record its monitor to hear what was played):
# PulseAudio, or with --sound pipewire PipeWire with WirePlumber and its
# pulse server (scripts/audio-server.sh, in STATE_DIR/sound).
#
#   scripts/virtual-desktop.sh start STATE_DIR [--no-sound | --sound SERVER] [--desktop KIND]
#   scripts/virtual-desktop.sh stop STATE_DIR
#   scripts/virtual-desktop.sh kinds
#
# KIND (default openbox), on Xvfb: openbox, openbox-picom, openbox-xcompmgr,
# xfwm4 (its compositor on), xfwm4-nocomp, icewm, fluxbox, mutter-x11,
# kwin-x11, muffin (Cinnamon's); Wayland sessions, the desktop being their
# XWayland: mutter-wayland, kwin-wayland (drawing into a window of an Xvfb,
# the screen capture), weston; weston-nested is weston drawing into
# a window of an Xvfb, which takes the input (weston headless has no seat:
# XTEST input made on its XWayland crashes it); sway is sway nested in an
# Xvfb the same way (its x11 backend gives it a real seat), run as the
# unprivileged user nobody since it refuses root.
#
# start writes STATE_DIR/env (export lines: DISPLAY, PULSE_SERVER,
# XDG_RUNTIME_DIR, GUIZZOLO_DESKTOP, GUIZZOLO_DESKTOP_KIND, GUIZZOLO_SINK,
# GUIZZOLO_SOUND_SERVER;
# DBUS_SESSION_BUS_ADDRESS where the desktop has a session bus;
# GUIZZOLO_WAYLAND_DISPLAY in a Wayland session; GUIZZOLO_INPUT_DISPLAY, the
# X server to make pointer and key input on, where that is not DISPLAY;
# GUIZZOLO_CAPTURE_DISPLAY, the X server whose screen shows what the
# compositor draws, where that is not DISPLAY);
# source it to use the desktop. stop ends what start began, by the PIDs it
# recorded.
# GUIZZOLO_DESKTOP_TIMEOUT bounds each start-up wait (seconds, default 30).
set -euo pipefail

kinds=(openbox openbox-picom openbox-xcompmgr xfwm4 xfwm4-nocomp icewm fluxbox mutter-x11 kwin-x11 muffin
       mutter-wayland kwin-wayland weston weston-nested sway)

usage() {
  echo "usage: $0 start STATE_DIR [--no-sound | --sound pulseaudio|pipewire] [--desktop KIND] | stop STATE_DIR | kinds" >&2
  exit 2
}
[[ ${1:-} == kinds ]] && { printf '%s\n' "${kinds[@]}"; exit 0; }
[[ $# -ge 2 ]] || usage
action=$1
mkdir -p "$2"
state=$(cd "$2" && pwd)
shift 2
sound=pulseaudio
kind=openbox
while [[ $# -gt 0 ]]; do
  case $1 in
    --no-sound) sound=no ;;
    --sound) sound=${2:-}; shift ;;
    --desktop) kind=${2:-}; shift ;;
    *) usage ;;
  esac
  shift
done
[[ " ${kinds[*]} " == *" $kind "* ]] || { echo "virtual desktop: unknown kind '$kind'" >&2; usage; }
[[ $sound == no || $sound == pulseaudio || $sound == pipewire ]] || usage
audio_server=$(dirname "$0")/audio-server.sh
limit=${GUIZZOLO_DESKTOP_TIMEOUT:-30}

# shellcheck source=scripts/processes.sh
. "$(dirname "$0")/processes.sh"

# Every process start begins is one line "PID NAME" of STATE_DIR/processes,
# and its PID alone in STATE_DIR/name.pid (bench/ reads xvfb.pid).
record() {
  echo "$1 $2" >>"$state/processes"
  echo "$1" >"$state/${2,,}.pid"
}

# Ends the processes start recorded, the last started first: TERM to all,
# then KILL what is left after five seconds.
stop() {
  [[ ! -d $state/sound ]] || "$audio_server" stop "$state/sound"
  [[ -f $state/processes ]] || return 0
  rm -f "$state"/*.pid
  end_listed "$state/processes"
}

fail() {
  echo "virtual desktop ($kind): $1 (logs in $state)" >&2
  stop
  exit 1
}

wm_running() {
  DISPLAY=$display xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'
}

# True when the selection named $1 has an owner on $display (the
# compositing manager holds _NET_WM_CM_S0).
selection_owned() {
  DISPLAY=$display /usr/bin/python3 - "$1" <<'PY'
import ctypes, sys
x = ctypes.CDLL('libX11.so.6')
x.XOpenDisplay.restype = ctypes.c_void_p
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XInternAtom.restype = ctypes.c_ulong
x.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x.XGetSelectionOwner.restype = ctypes.c_ulong
d = x.XOpenDisplay(None)
sys.exit(0 if d and x.XGetSelectionOwner(d, x.XInternAtom(d, sys.argv[1].encode(), 0)) else 1)
PY
}

# Starts $2... in the background with its output in STATE_DIR/$1.log and
# records it under the name of its process.
launch() {
  local log=$1; shift
  "$@" >"$state/$log.log" 2>&1 &
  record $! "$(basename "$1")"
}

start_xvfb() {
  # Xvfb picks a free display number itself and writes it to the fd.
  rm -f "$state/display"
  Xvfb -displayfd 3 -screen 0 "${1:-1280x800}x24" -dpi 96 -nolisten tcp -noreset \
    3>"$state/display" >"$state/xvfb.log" 2>&1 &
  record $! Xvfb
  wait_for 10 grep -q '[0-9]' "$state/display" || fail "Xvfb did not start"
  display=:$(tr -dc 0-9 <"$state/display")
  export DISPLAY=$display
  wait_for 10 env DISPLAY="$display" xprop -root -notype _NET_SUPPORTED ||
    fail "Xvfb does not answer on $display"
}

# A session bus of the desktop's own, for the compositors that need one.
start_bus() {
  dbus-daemon --session --nofork --nopidfile --address="unix:path=$state/runtime/bus" \
    --print-address=3 3>"$state/bus.address" >"$state/dbus.log" 2>&1 &
  record $! dbus-daemon
  wait_for 10 grep -q unix "$state/bus.address" || fail "dbus-daemon did not start"
  bus=$(head -n 1 "$state/bus.address")
  export DBUS_SESSION_BUS_ADDRESS=$bus
}

# The display of the XWayland that the compositor $1 (a PID) started or
# listens for: the X lock file that names it or a child of it.
xwayland_display() {
  local lock pid
  for lock in /tmp/.X*-lock; do
    [[ -f $lock ]] || continue
    pid=$(tr -dc 0-9 <"$lock")
    [[ -n $pid ]] || continue
    if [[ $pid == "$1" || $(awk '{print $4}' "/proc/$pid/stat" 2>/dev/null) == "$1" ]]; then
      lock=${lock#/tmp/.X}
      echo ":${lock%-lock}"
      return 0
    fi
  done
  return 1
}

# The PIDs of the children of $1 that run $2.
children() {
  local stat
  for stat in /proc/[0-9]*/stat; do
    read -r -a fields 2>/dev/null <"$stat" || continue
    [[ ${fields[3]:-} == "$1" && ${fields[1]:-} == "($2)" ]] && echo "${fields[0]}"
  done
  return 0
}

start_wayland() {
  local compositor=$1 pid
  shift
  rm -f "$state/runtime/$wayland" "$state/runtime/$wayland.lock"
  launch "$compositor" "$@"
  pid=$(tail -n 1 "$state/processes" | cut -d' ' -f1)
  wait_for "$limit" test -S "$state/runtime/$wayland" ||
    fail "$compositor did not open its Wayland socket within $limit s"
  wait_for "$limit" xwayland_display "$pid" || fail "$compositor started no XWayland within $limit s"
  display=$(xwayland_display "$pid")
  # mutter's XWayland takes clients with the cookie it wrote (-auth FILE).
  local child auth=
  for child in $(children "$pid" Xwayland); do
    auth=$(tr '\0' '\n' <"/proc/$child/cmdline" | grep -A1 -x -- -auth | tail -n +2 || true)
  done
  [[ -z $auth ]] || { xauthority=$auth; export XAUTHORITY=$auth; }
  # The first X client makes a compositor that starts XWayland on demand
  # start it; its window manager is there when it marks the root window.
  wait_for "$limit" wm_running || fail "no window manager on $compositor's XWayland ($display) within $limit s"
  # Its XWayland, recorded too, so that stop ends it if the compositor is
  # killed before it could.
  for child in $(children "$pid" Xwayland); do record "$child" Xwayland; done
  return 0
}

start_desktop() {
  # No GPU here or in CI: Mesa's software rasteriser.
  export LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe
  case $kind in
    openbox*)
      start_xvfb
      launch openbox openbox --sm-disable
      wait_for "$limit" wm_running || fail "openbox did not start"
      case $kind in
        openbox-picom) launch picom picom --backend xrender --no-fading-openclose ;;
        openbox-xcompmgr) launch xcompmgr xcompmgr -n ;;
      esac
      [[ $kind == openbox ]] || wait_for "$limit" selection_owned _NET_WM_CM_S0 ||
        fail "${kind#openbox-} did not take the compositing selection"
      ;;
    xfwm4 | xfwm4-nocomp)
      start_xvfb
      start_bus
      local comp=--compositor=on
      [[ $kind == xfwm4-nocomp ]] && comp=--compositor=off
      launch xfwm4 xfwm4 --replace --sm-client-disable $comp
      wait_for "$limit" wm_running || fail "xfwm4 did not start"
      [[ $kind == xfwm4 ]] && { wait_for "$limit" selection_owned _NET_WM_CM_S0 || fail "xfwm4 did not composite"; }
      ;;
    icewm)
      start_xvfb
      # Its taskbar's load graphs draw in pure cyan under a busy disk, which
      # a screenshot cannot tell from the pet's key colour.
      mkdir -p "$HOME/.icewm"
      printf 'TaskBarShowCPUStatus=0\nTaskBarShowNetStatus=0\nTaskBarShowMEMStatus=0\n' >"$HOME/.icewm/preferences"
      launch icewm icewm --replace
      wait_for "$limit" wm_running || fail "icewm did not start"
      ;;
    fluxbox)
      start_xvfb
      launch fluxbox fluxbox -no-slit
      wait_for "$limit" wm_running || fail "fluxbox did not start"
      ;;
    mutter-x11)
      start_xvfb
      start_bus
      launch mutter mutter --x11 --replace --sm-disable
      wait_for "$limit" wm_running || fail "mutter did not start on Xvfb within $limit s"
      ;;
    muffin)
      start_xvfb
      start_bus
      launch muffin muffin --x11 --replace --sm-disable
      wait_for "$limit" wm_running || fail "muffin did not start on Xvfb within $limit s"
      ;;
    kwin-x11)
      start_xvfb
      start_bus
      launch kwin kwin_x11 --replace
      wait_for "$limit" wm_running || fail "kwin_x11 did not start on Xvfb within $limit s"
      ;;
    mutter-wayland)
      start_bus
      start_wayland mutter mutter --wayland --headless --virtual-monitor 1280x800 \
        --wayland-display="$wayland" --sm-disable
      ;;
    kwin-wayland)
      # KWin draws into a window of an Xvfb, which is the screen capture:
      # its virtual backend composites with OpenGL only on a GPU's render
      # node, and without that KWin 6 offers no screenshot interface.
      start_xvfb
      capture_display=$display
      start_bus
      # Debian's binary carries the file capability cap_sys_resource, which
      # a container may refuse to grant: a copy of it (same name) has none.
      mkdir -p "$state/bin"
      cp "$(command -v kwin_wayland)" "$state/bin/kwin_wayland"
      export KWIN_WAYLAND_NO_PERMISSION_CHECKS=1
      start_wayland kwin_wayland "$state/bin/kwin_wayland" --x11-display "$capture_display" --xwayland \
        --width 1280 --height 800 --socket "$wayland" --no-lockscreen --no-global-shortcuts
      ;;
    sway)
      start_xvfb
      input_display=$display
      # sway will not run as root: as nobody, which must reach its config
      # and runtime folder (the files stay readable by the tests, run as root).
      # A runtime folder of its own, since the audio server (root) wants
      # its own; clients name sway's socket by its full path.
      chmod 711 "$state"
      # Afresh: a sway started anew after a crash must not find the old
      # one's sockets.
      rm -rf "$state/sway-runtime"
      mkdir -p "$state/sway-runtime"
      chmod 700 "$state/sway-runtime"
      chown nobody "$state/sway-runtime"
      cat >"$state/sway.config" <<'SWAY'
output * mode 1280x800 position 0 0 bg #5a7890 solid_color
xwayland enable
focus_follows_mouse no
SWAY
      # The x11 backend draws the one output into a window at 0,0 of the
      # Xvfb: a point there is the same point of sway's screen. Should it
      # crash, it leaves a core in its runtime folder.
      (
        ulimit -c unlimited
        cd "$state/sway-runtime"
        exec env -i PATH=/usr/bin:/bin HOME=/nonexistent XDG_RUNTIME_DIR="$state/sway-runtime" DISPLAY="$display" \
          WLR_BACKENDS=x11 WLR_RENDERER=pixman WLR_X11_OUTPUTS=1 \
          setpriv --reuid=nobody --regid=nogroup --clear-groups -- sway -c "$state/sway.config" \
          >"$state/sway.log" 2>&1
      ) &
      record $! sway
      local pid=$!
      # It names its socket itself (wayland-N).
      wait_for "$limit" compgen -G "$state/sway-runtime/wayland-[0-9]*.lock" ||
        fail "sway did not open its Wayland socket within $limit s"
      wayland=$(compgen -G "$state/sway-runtime/wayland-[0-9]*.lock" | head -n 1)
      wayland=${wayland%.lock}
      wait_for "$limit" test -S "$wayland" || fail "sway's socket $wayland did not come"
      # Its XWayland starts with the first X client.
      wait_for "$limit" xwayland_display "$pid" || fail "sway made no XWayland display within $limit s"
      display=$(xwayland_display "$pid")
      # It lets in its own user's clients alone: the tests' too (root).
      wait_for "$limit" env DISPLAY="$display" setpriv --reuid=nobody --regid=nogroup --clear-groups -- \
        xhost +si:localuser:root || fail "sway's XWayland ($display) does not answer"
      wait_for "$limit" wm_running || fail "no window manager on sway's XWayland ($display) within $limit s"
      for child in $(children "$pid" Xwayland); do record "$child" Xwayland; done
      export SWAYSOCK
      SWAYSOCK=$(ls "$state"/sway-runtime/sway-ipc.*.sock | head -n 1)
      # The keyboard goes to sway's window wherever the pointer is.
      DISPLAY=$input_display xdotool mousemove 1279 799 ||
        fail "xdotool cannot move the pointer"
      ;;
    weston | weston-nested)
      mkdir -p "$state/home/.config"
      # --debug lets weston-screenshooter take the screen captures.
      printf '[core]\nidle-time=0\n[shell]\nbackground-color=0xff5a7890\npanel-position=none\nlocking=false\n' \
        >"$state/home/.config/weston.ini"
      local backend=headless-backend.so
      if [[ $kind == weston-nested ]]; then
        # Its window sits at 0,0 of the Xvfb screen, so a point there is the
        # same point of weston's screen. The screen is a little larger:
        # weston follows the pointer only once it has entered its window, so
        # the pointer waits outside until the first move.
        start_xvfb 1296x816
        input_display=$display
        backend=x11-backend.so
      fi
      start_wayland weston weston --backend=$backend --use-pixman --xwayland --width=1280 \
        --height=800 --socket="$wayland" --debug --idle-time=0
      if [[ -n $input_display ]]; then
        # The keyboard goes to weston's window wherever the pointer is.
        DISPLAY=$input_display xdotool mousemove 1290 810 search --class '^Weston Compositor$' windowfocus ||
          fail "xdotool cannot move the pointer or the focus"
      fi
      ;;
  esac
  # A plain coloured desktop, so that a box around the fish would show.
  if [[ -z ${wayland:-} ]] && command -v xsetroot >/dev/null; then
    DISPLAY=$display xsetroot -solid '#5a7890'
  fi
}

start() {
  [[ ! -f $state/processes ]] || stop
  mkdir -p "$state/home" "$state/runtime"
  chmod 700 "$state/runtime"
  chown "$(id -u)" "$state/runtime"
  export HOME=$state/home XDG_RUNTIME_DIR=$state/runtime
  unset WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS SESSION_MANAGER XDG_SESSION_TYPE SWAYSOCK
  bus= wayland= display= xauthority=
  unset XAUTHORITY
  input_display= capture_display=
  case $kind in *-wayland | weston* | sway) wayland=guizzolo-wayland ;; esac
  start_desktop

  if [[ $sound != no ]]; then
    GUIZZOLO_DESKTOP_TIMEOUT=$limit "$audio_server" start "$state/sound" "$sound" || fail "no audio server"
    # The PID of the process that serves the socket, as of the others (bench/
    # reads pulseaudio.pid).
    cp "$state/sound/server.pid" "$state/${sound/pipewire/pipewire-pulse}.pid"
  fi

  {
    printf 'export GUIZZOLO_DESKTOP=%q\n' "$state"
    printf 'export GUIZZOLO_DESKTOP_KIND=%q\n' "$kind"
    printf 'export DISPLAY=%q\n' "$display"
    printf 'export XDG_RUNTIME_DIR=%q\n' "$state/runtime"
    [[ $sound == no ]] || cat "$state/sound/env"
    if [[ -n $bus ]]; then
      printf 'export DBUS_SESSION_BUS_ADDRESS=%q\n' "$bus"
    fi
    if [[ -n $wayland ]]; then
      printf 'export GUIZZOLO_WAYLAND_DISPLAY=%q\n' "$wayland"
    fi
    if [[ -n $xauthority ]]; then
      printf 'export XAUTHORITY=%q\n' "$xauthority"
    fi
    if [[ -n $input_display ]]; then
      printf 'export GUIZZOLO_INPUT_DISPLAY=%q\n' "$input_display"
    fi
    if [[ -n ${SWAYSOCK:-} ]]; then
      printf 'export SWAYSOCK=%q\n' "$SWAYSOCK"
    fi
    if [[ -n $capture_display ]]; then
      printf 'export GUIZZOLO_CAPTURE_DISPLAY=%q\n' "$capture_display"
    fi
    printf 'unset WAYLAND_DISPLAY\n'
  } >"$state/env"
}

case "$action" in
  start) start ;;
  stop) stop ;;
  *) usage ;;
esac
