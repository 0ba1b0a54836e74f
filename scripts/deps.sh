#!/usr/bin/env bash
# Installs the Debian packages the program needs (Debian 12 and 13).
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
# Packages whose name depends on the release: each entry is a list of
# candidates, the first one the release knows is taken ('clang-rt' stands for
# the sanitizer runtime of the release's own clang).
#   the panel's narrow font: its own package since Debian 13, part of
#   fonts-liberation before.
run_variants=("fonts-liberation-sans-narrow fonts-liberation")
test_packages=(
  libgtest-dev
  pulseaudio pulseaudio-utils xdotool xterm sox
  # A stopped wall clock for a pet, which fixes its draws (tests/e2e/moments.py).
  faketime
  # The sound checks again on PipeWire, as GNOME runs it (scripts/audio-server.sh).
  pipewire pipewire-pulse wireplumber
  python3 python3-pil
  # The date line and the decimal separator follow the user's locale.
  locales
  clang
  # Other desktops for the end-to-end checks (scripts/test-desktops.sh):
  # window managers on Xvfb (muffin reads cinnamon-settings-daemon's
  # settings schemas), and Wayland compositors with their XWayland.
  mutter muffin cinnamon-settings-daemon kwin-x11 kwin-wayland kwin-style-breeze weston xwayland xfwm4 icewm fluxbox
  picom xcompmgr dbus-daemon wmctrl
  # sway nested in an Xvfb, and its screen capture; KWin's fake-input
  # protocol, for input on its Wayland session.
  sway grim plasma-wayland-protocols
  # The Windows build, and its checks under Wine.
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64
  # The release files (scripts/package.sh) and their checks.
  dpkg-dev file lintian desktop-file-utils appstream nsis
  # The test command: a compiler cache, and a network namespace of its own
  # for its desktops; debootstrap for the check of the README's commands on
  # a bare system.
  ccache util-linux iproute2 debootstrap git ca-certificates
)
test_variants=(clang-rt)
# The benchmarks in bench/ list what they need in bench/packages, one a line.
bench_list=$(dirname "$0")/../bench/packages
if [[ -f $bench_list ]]; then
  mapfile -t bench_packages < <(sed -e 's/#.*//' -e 's/[[:space:]]//g' -e '/^$/d' "$bench_list")
  test_packages+=("${bench_packages[@]}")
fi

case "${1:-}" in
  run) wanted=("${run_packages[@]}"); variants=("${run_variants[@]}") ;;
  test) wanted=("${run_packages[@]}" "${test_packages[@]}")
        variants=("${run_variants[@]}" "${test_variants[@]}") ;;
  *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac

as_root=()
if [[ $(id -u) -ne 0 ]]; then
  if command -v sudo >/dev/null; then as_root=(sudo); else as_root=(false); fi
fi
apt_get() {
  [[ ${as_root[0]:-} != false ]] || { echo "Need root or sudo to run apt-get $*" >&2; exit 1; }
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "$@"
}

lists_fresh=no
update_lists() {
  [[ $lists_fresh == no ]] || return 0
  echo "deps: reading the package lists (apt-get update)"
  apt_get update -q
  lists_fresh=yes
}

installed() { [[ $(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null) == installed ]]; }
known() { apt-cache show --no-all-versions "$1" >/dev/null 2>&1; }

# The sanitizer runtime that matches the release's clang (clang-14 on
# Debian 12, clang-19 on Debian 13, ...).
clang_runtime() {
  local version
  version=$(apt-cache depends clang 2>/dev/null | sed -n 's/^ *Depends: clang-\([0-9][0-9]*\)$/\1/p' | head -n 1)
  [[ -n $version ]] && echo "libclang-rt-$version-dev"
}

# Prints the package that stands for one variant entry, or nothing when the
# package lists do not tell yet.
resolve() {
  local name
  if [[ $1 == clang-rt ]]; then clang_runtime; return 0; fi
  for name in $1; do
    if installed "$name" || known "$name"; then echo "$name"; return 0; fi
  done
}

for entry in "${variants[@]}"; do
  name=$(resolve "$entry")
  if [[ -z $name ]]; then
    update_lists
    name=$(resolve "$entry")
  fi
  [[ -n $name ]] || { echo "deps: this release has none of: $entry" >&2; exit 1; }
  wanted+=("$name")
done

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
  echo "deps: generating locales ${wanted_locales[*]}"
  for name in "${wanted_locales[@]}"; do
    grep -qx "$name UTF-8" /etc/locale.gen 2>/dev/null ||
      echo "$name UTF-8" | "${as_root[@]}" tee -a /etc/locale.gen >/dev/null
  done
  "${as_root[@]}" locale-gen >/dev/null
}

missing=()
for p in "${wanted[@]}"; do
  installed "$p" || [[ " ${missing[*]} " == *" $p "* ]] || missing+=("$p")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  update_lists
  echo "deps: installing ${#missing[@]} packages and what they need (a few minutes on a bare system): ${missing[*]}"
  # apt's own lines (Get:, Unpacking, Setting up) show how far it is.
  apt_get install -y -q -o Dpkg::Progress-Fancy=0 -o Dpkg::Use-Pty=0 --no-install-recommends "${missing[@]}" |
    grep --line-buffered -E '^(Get:|Setting up|Need to get|[0-9]+ upgraded)' |
    sed -u 's/^/  apt: /' || true
  still=()
  for p in "${missing[@]}"; do installed "$p" || still+=("$p"); done
  [[ ${#still[@]} -eq 0 ]] || { echo "deps: could not install: ${still[*]}" >&2; exit 1; }
  echo "deps: done"
fi
make_locales "$1"
