#!/usr/bin/env bash
# Installs the Debian 12 packages the program needs.
#   scripts/deps.sh run    build and run the program (and its no-display fallback)
#   scripts/deps.sh test   all of run, plus what the tests (and bench/) need
# Does nothing (and needs no network) when everything is already installed.
set -euo pipefail

run_packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev
  # The pet's window: plain xcb, its shape and (for the grab hand) render.
  libxcb1-dev libxcb-shape0-dev libxcb-render0-dev
  # The session manager (XSMP), for the logout.
  libsm-dev libice-dev
  # The pet on a Wayland compositor's layer shell (sway, KDE Plasma ...),
  # and Qt's Wayland platform for the panel where there is no XWayland.
  libwayland-dev wayland-protocols libwayland-bin qt6-wayland
  # Run time of the panel's Qt module, opened when the panel is first shown:
  # the xcb platform plugin lives in libqt6gui6. The sound player speaks to
  # the audio server itself: no audio library.
  libqt6gui6 libqt6widgets6
  fonts-dejavu-core fonts-liberation
  # The virtual desktop used when there is no display.
  xvfb openbox imagemagick x11-utils x11-xserver-utils
)
test_packages=(
  "${run_packages[@]}"
  libgtest-dev
  # The session manager of the session-end test.
  libsm-dev libice-dev
  pulseaudio pulseaudio-utils xdotool xterm sox
  python3 python3-pil
  # The date line and the decimal separator follow the user's locale.
  locales
  clang libclang-rt-14-dev
  # Other desktops for the end-to-end checks (scripts/test-desktops.sh):
  # window managers on Xvfb (muffin reads cinnamon-settings-daemon's
  # settings schemas), and Wayland compositors with their XWayland.
  mutter muffin cinnamon-settings-daemon kwin-x11 kwin-wayland kwin-style-breeze weston xwayland xfwm4 icewm fluxbox
  picom xcompmgr dbus-daemon python3-dbus wmctrl
  # sway nested in an Xvfb, and its screen capture; KWin's fake-input
  # protocol, for input on its Wayland session.
  sway grim plasma-wayland-protocols
  # The Windows build, and its checks under Wine.
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64
  # The release files (scripts/package.sh) and their checks.
  dpkg-dev file lintian desktop-file-utils appstream nsis
)
# The benchmarks in bench/ list what they need in bench/packages, one a line.
bench_list=$(dirname "$0")/../bench/packages
if [[ -f $bench_list ]]; then
  mapfile -t bench_packages < <(sed -e 's/#.*//' -e 's/[[:space:]]//g' -e '/^$/d' "$bench_list")
  test_packages+=("${bench_packages[@]}")
fi

case "${1:-}" in
  run) wanted=("${run_packages[@]}") ;;
  test) wanted=("${test_packages[@]}") ;;
  *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac

# The locales the tests read their formats from (locale-gen names them so).
test_locales=(it_IT.UTF-8 en_US.UTF-8 de_DE.UTF-8 ar_EG.UTF-8 ps_AF.UTF-8)

# Generates the test locales not yet there; needs the locales package.
make_locales() {
  [[ $1 == test ]] || return 0
  local wanted_locales=() name
  for name in "${test_locales[@]}"; do
    locale -a 2>/dev/null | grep -qixF "${name%%.*}.utf8" || wanted_locales+=("$name")
  done
  [[ ${#wanted_locales[@]} -eq 0 ]] && return 0
  echo "Generating locales: ${wanted_locales[*]}"
  local as_root=()
  [[ $(id -u) -eq 0 ]] || as_root=(sudo)
  for name in "${wanted_locales[@]}"; do
    grep -qx "$name UTF-8" /etc/locale.gen 2>/dev/null ||
      echo "$name UTF-8" | "${as_root[@]}" tee -a /etc/locale.gen >/dev/null
  done
  "${as_root[@]}" locale-gen >/dev/null
}

missing=()
for p in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [[ "$status" == installed ]] || missing+=("$p")
done
if [[ ${#missing[@]} -eq 0 ]]; then
  make_locales "$1"
  exit 0
fi

echo "Installing: ${missing[*]}"
as_root=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq >/dev/null
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null \
  2> >(grep -v '^debconf: delaying package configuration' >&2)
make_locales "$1"
