#!/usr/bin/env bash
# The README's run command as a newcomer meets it: in a bare Debian system
# (debootstrap --variant=minbase), as root, with no display, from a fresh
# clone of the commit under test. Passes when scripts/run.sh exits 0 and its
# screenshot shows the fish with no key colour. On Debian 13 it then also
# installs the Debian package from dist/ (scripts/package.sh) and starts it
# as an unprivileged user on a virtual desktop.
#   scripts/test-bare-debian.sh [RELEASE...]     (default: bookworm trixie)
# Needs root, debootstrap and the package registry this machine's apt uses.
# Logs and screenshots in build/bare/RELEASE/.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
releases=("$@")
[[ ${#releases[@]} -gt 0 ]] || releases=(bookworm trixie)
[[ $(id -u) -eq 0 ]] || { echo "the bare-system check needs root (debootstrap, chroot)" >&2; exit 1; }
commit=$(git rev-parse HEAD)
out=$root/build/bare
# The systems themselves live outside the work tree (a chroot holds the
# device nodes while it runs), one folder for each run of this script, so
# that two runs at once from two clones meet nowhere.
systems=$(mktemp -d /var/tmp/guizzolo-bare.XXXXXX)
mkdir -p "$out"
trap 'for s in "$systems"/*; do umount_all "$s"; done; rm -rf --one-file-system "$systems"' EXIT

# The Debian mirror this machine's apt reads from, so that the bare systems
# come from the same place.
mirror() {
  local uri
  uri=$(grep -hs '^URIs:' /etc/apt/sources.list.d/*.sources | awk '{print $2}' | grep -v security | head -n 1)
  [[ -n $uri ]] || uri=$(grep -hs '^deb ' /etc/apt/sources.list | awk '{print $2}' | grep -v security | head -n 1)
  echo "$uri"
}

# Runs $2... inside the system $1 as root, with a clean environment.
in_system() {
  local system=$1; shift
  chroot "$system" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}

# What the unprivileged user does with the installed package: a virtual
# desktop of its own, the pet from the menu's command, a screenshot once its
# window is mapped. Runs inside the system.
user_script='set -eu
desk=$(mktemp -d)
trap "/usr/local/src/guizzolo/scripts/virtual-desktop.sh stop $desk" EXIT
/usr/local/src/guizzolo/scripts/virtual-desktop.sh start "$desk" --no-sound
. "$desk/env"
export PULSE_SERVER=unix:$desk/no-audio-server
guizzolo & pet=$!
deadline=$((SECONDS + 60))
until xwininfo -root -tree | grep -q "\"Form1\""; do
  kill -0 $pet || { echo "the installed pet ended by itself"; exit 1; }
  [ $SECONDS -lt $deadline ] || { echo "no pet window within 60 s"; exit 1; }
  sleep 0.2
done
for n in $(seq 1 60); do
  [ -f "$HOME/stop" ] && break
  import -window root "png:$HOME/shot-$n.png.part" && mv "$HOME/shot-$n.png.part" "$HOME/shot-$n.png"
  sleep 0.5
done
# A session end: the pet stores its hunger value in the user'"'"'s own folder.
kill $pet
wait $pet || true
cat "$HOME/.local/state/guizzolo/Ph.ini"
'

check_release() {
  local release=$1 system=$systems/$1 log=$out/$1 started=$SECONDS status=0
  rm -rf "$log"
  mkdir -p "$log"
  umount_all "$system"
  rm -rf --one-file-system "$system"
  echo "-- $release: debootstrap --variant=minbase"
  if ! debootstrap --variant=minbase "$release" "$system" "$(mirror)" >"$log/debootstrap.log" 2>&1; then
    tail -n 20 "$log/debootstrap.log"
    echo "-- $release: debootstrap failed"
    return 1
  fi
  echo "-- $release: system made in $((SECONDS - started)) s"
  cp /etc/resolv.conf "$system/etc/resolv.conf"
  git clone -q "$root" "$system/usr/local/src/guizzolo" && git -C "$system/usr/local/src/guizzolo" checkout -q --detach "$commit"
  mount -t proc proc "$system/proc"
  mount --rbind /dev "$system/dev"
  mount --make-rslave "$system/dev"

  local step=$SECONDS
  echo "-- $release: scripts/run.sh as root, no display"
  if in_system "$system" bash -c 'cd /usr/local/src/guizzolo && scripts/run.sh' >"$log/run.log" 2>&1; then
    cp "$system/usr/local/src/guizzolo/build/screenshot.png" "$log/run-screenshot.png"
    if /usr/bin/python3 tests/bare/fish_in_screenshot.py "$log/run-screenshot.png"; then
      echo "-- $release: scripts/run.sh passed in $((SECONDS - step)) s"
    else
      echo "-- $release: scripts/run.sh's screenshot shows no fish, or the key colour"; status=1
    fi
  else
    tail -n 30 "$log/run.log"
    echo "-- $release: scripts/run.sh failed after $((SECONDS - step)) s (log $log/run.log)"; status=1
  fi

  if [[ $status -eq 0 && $release == trixie ]]; then
    step=$SECONDS
    echo "-- $release: the Debian package, installed with apt and run by a user"
    if check_package "$system" "$log"; then
      echo "-- $release: the package passed in $((SECONDS - step)) s"
    else
      echo "-- $release: the package failed (log $log/package.log)"; status=1
    fi
  fi
  umount_all "$system"
  rm -rf --one-file-system "$system"
  echo "-- $release: $([[ $status -eq 0 ]] && echo passed || echo FAILED) in $((SECONDS - started)) s"
  return $status
}

check_package() {
  local system=$1 log=$2 deb home=$1/home/pet shot
  deb=$(ls "$root"/dist/guizzolo_*.deb 2>/dev/null | head -n 1)
  [[ -n $deb ]] || { echo "no Debian package in dist/ (scripts/package.sh)" >"$log/package.log"; return 1; }
  cp "$deb" "$system/tmp/"
  in_system "$system" apt-get install -y -q --no-install-recommends "/tmp/$(basename "$deb")" >"$log/package.log" 2>&1 || return 1
  in_system "$system" useradd -m pet >>"$log/package.log" 2>&1 || return 1
  printf '%s' "$user_script" >"$system/tmp/as-user.sh"
  # The user's desktop in a network namespace of its own (see scripts/run.sh).
  in_system "$system" unshare --net setpriv --reuid=pet --regid=pet --init-groups \
    env HOME=/home/pet bash /tmp/as-user.sh >>"$log/package.log" 2>&1 &
  local user=$! deadline=$((SECONDS + 120)) found=no
  while [[ $SECONDS -lt $deadline ]] && kill -0 $user 2>/dev/null; do
    for shot in "$home"/shot-*.png; do
      [[ -f $shot ]] || continue
      if /usr/bin/python3 tests/bare/fish_in_screenshot.py "$shot" >>"$log/package.log" 2>&1; then
        found=yes; cp "$shot" "$log/package-screenshot.png"; break 2
      fi
      rm -f "$shot"
    done
    sleep 0.5
  done
  touch "$home/stop"
  wait $user || true
  tail -n 5 "$log/package.log"
  [[ $found == yes && -s $home/.local/state/guizzolo/Ph.ini ]]
}

umount_all() {
  local m p
  [[ -d $1 ]] || return 0
  # What apt or the run left running inside (an agent a package started)
  # would keep the mounts busy.
  for p in /proc/[0-9]*; do
    [[ $(readlink "$p/root" 2>/dev/null) == "$1" ]] && kill -9 "${p#/proc/}" 2>/dev/null
  done
  sleep 0.5
  for m in "$1/dev" "$1/proc"; do
    # Lazily where something outside still looks in.
    mountpoint -q "$m" && { umount -R "$m" 2>/dev/null || umount -R -l "$m"; }
  done
  return 0
}

failed=0
for release in "${releases[@]}"; do
  check_release "$release" || failed=1
done
exit $failed
