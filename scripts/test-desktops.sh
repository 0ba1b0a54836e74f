#!/usr/bin/env bash
# Runs the fish's end-to-end checks on other desktops, one virtual desktop
# at a time, and prints a table desktop x check.
#   scripts/test-desktops.sh [KIND...]      (default: the CI set below)
#   scripts/test-desktops.sh all            every kind virtual-desktop.sh knows
# GUIZZOLO_CHECKS="key-colour drag ..." runs only the checks named.
# GUIZZOLO_BUILD=DIR takes the program from another build folder (default
# build; relative to the repository). Needs DIR/NuvoNuvo (scripts/build.sh
# DIR) and scripts/deps.sh test.
# Each cell: ok, fail, skip (no screen capture or no way to make the check there), xfail (a known fault
# of the program on that desktop, listed in tests/e2e/harness.py), XPASS (a
# known fault no longer seen: remove it from the list), down (the desktop did
# not start). Exits non-zero on fail, XPASS or down. Logs and screenshots in
# DIR/desktops/KIND/.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

ci_kinds=(mutter-x11 kwin-x11 muffin mutter-wayland kwin-wayland weston xfwm4 openbox-picom icewm fluxbox sway)
if [[ ${1:-} == all ]]; then
  mapfile -t kinds < <(scripts/virtual-desktop.sh kinds)
elif [[ $# -gt 0 ]]; then
  kinds=("$@")
else
  kinds=("${ci_kinds[@]}")
fi

# check name, then the test: FILE CLASS.METHOD
checks=(
  "key-colour test_fish_shows FishShows.test_fish_appears_without_key_colour"
  "above test_stays_on_top StaysOnTop.test_pet_stays_above_a_newly_activated_window"
  "keys test_keyboard Keyboard.test_typing_while_the_fish_swims"
  "taskbar test_desktop_hints DesktopHints.test_pet_has_no_taskbar_entry"
  "attention test_desktop_hints DesktopHints.test_pet_never_demands_attention"
  "click-through test_click_through ClickThrough.test_press_beside_the_fish_reaches_the_window_below"
  "drag test_pointer Pointer.test_left_drag_moves_the_fish_then_shows_the_panel"
  "panel-frame test_desktop_hints DesktopHints.test_panel_is_a_framed_utility_window_with_a_close_box"
  "panel-close test_panel Panel.test_close_box_writes_the_store_and_the_fish_swims_on"
  "owner test_desktop_hints DesktopHints.test_panel_and_message_boxes_name_no_hidden_owner"
  # Only where the pet is on the layer shell ("-" elsewhere).
  "scale - -"
  "gone - -"
)

# Where the compositor offers the layer shell the pet is no X11 window: the
# same columns come from the checks of tests/e2e/test_layer_shell.py, each
# run once ("-": nothing to check there, the panel being the compositor's
# own window like any other).
layer_kinds=" sway kwin-wayland "
declare -A layer_checks=(
  [key-colour]=fish [above]=fish [taskbar]=fish [keys]=press [click-through]=press
  [drag]=drag [panel-close]=drag [attention]=- [panel-frame]=- [owner]=-
  [scale]=scale [gone]=gone
)
declare -A layer_tests=(
  [fish]=LayerShell.test_fish_swims_above_a_full_screen_window_with_no_key_colour_and_no_toplevel
  [press]=LayerShell.test_press_beside_the_fish_reaches_the_window_below_and_no_key_is_lost
  [drag]=LayerShell.test_left_drag_moves_the_fish_and_the_panel_then_lets_it_swim
  [scale]=LayerShell.test_fish_follows_the_output_scale
  [gone]=LayerShell.test_compositor_gone_ends_the_program_and_stores_the_value
)

build=${GUIZZOLO_BUILD:-build}
[[ $build == /* ]] || build=$root/$build
exe=$build/NuvoNuvo
[[ -x $exe ]] || { echo "$exe is missing: run scripts/build.sh first" >&2; exit 1; }
out=$build/desktops
mkdir -p "$out"
bad=0
header=$(printf '%-16s' desktop)
for c in "${checks[@]}"; do header+=$(printf ' %-13s' "${c%% *}"); done
rows=()

# The name of a process the desktop started that is no longer running, if any.
dead_process() {
  local pid name stat
  while read -r pid name; do
    # A dead process not yet reaped (a zombie) still has its name.
    stat=$(cat "/proc/$pid/stat" 2>/dev/null) || stat=
    if [[ $(cut -c1-15 "/proc/$pid/comm" 2>/dev/null) != "${name:0:15}" || ${stat##*) } == [ZX]* ]]; then
      echo "$name"
      return 0
    fi
  done <"$1/processes"
  return 1
}

desktop=
cleanup() { [[ -z $desktop ]] || scripts/virtual-desktop.sh stop "$desktop"; [[ -z $desktop ]] || rm -rf "$desktop"; }
trap cleanup EXIT
trap 'exit 130' INT TERM

if [[ -n ${GUIZZOLO_CHECKS:-} ]]; then
  chosen=()
  for c in "${checks[@]}"; do [[ " $GUIZZOLO_CHECKS " == *" ${c%% *} "* ]] && chosen+=("$c"); done
  checks=("${chosen[@]}")
  header=$(printf '%-16s' desktop)
  for c in "${checks[@]}"; do header+=$(printf ' %-13s' "${c%% *}"); done
fi

for kind in "${kinds[@]}"; do
  logs=$out/$kind
  rm -rf "$logs"
  mkdir -p "$logs"
  row=$(printf '%-16s' "$kind")
  desktop=$(mktemp -d "${TMPDIR:-/tmp}/guizzolo-$kind.XXXXXX")
  started=$SECONDS
  if ! GUIZZOLO_DESKTOP_TIMEOUT=${GUIZZOLO_DESKTOP_TIMEOUT:-60} timeout 150 \
      scripts/virtual-desktop.sh start "$desktop" --desktop "$kind" 2>"$logs/start.err"; then
    cat "$logs/start.err" >&2
    cp "$desktop"/*.log "$logs/" 2>/dev/null
    for c in "${checks[@]}"; do row+=$(printf ' %-13s' down); done
    rows+=("$row")
    bad=1
    scripts/virtual-desktop.sh stop "$desktop"
    rm -rf "$desktop"
    desktop=
    continue
  fi
  echo "== $kind: up in $((SECONDS - started)) s"
  declare -A done_checks=()
  restarted=no
  for c in "${checks[@]}"; do
    read -r name file test <<<"$c"
    if [[ $layer_kinds == *" $kind "* ]]; then
      short=${layer_checks[$name]}
      if [[ $short == - ]]; then row+=$(printf ' %-13s' -); continue; fi
      if [[ -n ${done_checks[$short]:-} ]]; then row+=$(printf ' %-13s' "${done_checks[$short]}"); continue; fi
      name=$short file=test_layer_shell test=${layer_tests[$short]}
    elif [[ $file == - ]]; then
      row+=$(printf ' %-13s' -)
      continue
    fi
    log=$logs/$name.log
    run_check() {
      (
        # shellcheck source=/dev/null
        . "$desktop/env"
        GUIZZOLO_EXE=$exe GUIZZOLO_E2E_ARTIFACTS=$logs/artifacts PYTHONDONTWRITEBYTECODE=1 \
          timeout 180 /usr/bin/python3 "tests/e2e/$file.py" "$test"
      ) >"$log" 2>&1
    }
    # A compositor that dies by itself (sway 1.7 now and then, with no word
    # in its log) is said so, and the desktop started anew once: the check
    # that found it gone runs again, so that each check still says what it
    # checks.
    restart_if_dead() {
      local dead
      dead=$(dead_process "$desktop") && [[ $restarted == no ]] || return 1
      restarted=yes
      echo "== $kind: $dead died before or during the $name check; the desktop is started anew (old logs in $logs/died/)"
      mkdir -p "$logs/died"
      cp "$desktop"/*.log "$log" "$logs/died/" 2>/dev/null
      cp "$desktop"/*/core* "$logs/died/" 2>/dev/null
      scripts/virtual-desktop.sh stop "$desktop"
      GUIZZOLO_DESKTOP_TIMEOUT=${GUIZZOLO_DESKTOP_TIMEOUT:-60} timeout 150 \
        scripts/virtual-desktop.sh start "$desktop" --desktop "$kind" 2>>"$logs/start.err"
    }
    restart_if_dead
    run_check
    rc=$?
    if [[ $rc -ne 0 ]] && restart_if_dead; then
      run_check
      rc=$?
    fi
    if [[ $rc -eq 0 ]]; then
      if grep -q 'expected failures=' "$log"; then result=xfail
      elif grep -q 'skipped=' "$log"; then result=skip
      else result=ok; fi
    else
      if grep -q 'unexpected successes=' "$log"; then result=XPASS; else result=fail; fi
      bad=1
      echo "-- $kind $name: $result (log $log)"
      tail -n 15 "$log"
    fi
    row+=$(printf ' %-13s' "$result")
    done_checks[$name]=$result
  done
  unset done_checks
  cp "$desktop"/*.log "$logs/" 2>/dev/null
  scripts/virtual-desktop.sh stop "$desktop"
  rm -rf "$desktop"
  desktop=
  echo "== $kind: done in $((SECONDS - started)) s"
  rows+=("$row")
done

echo "$header"
printf '%s\n' "${rows[@]}"
exit $bad
