#!/usr/bin/env bash
# Builds everything and runs all tests:
#   1. builds: the program and its tests in build/; the unit tests under
#      AddressSanitizer and UBSan in build-asan/; the program with clang and
#      the fuzz targets in build-fuzz/; the Windows program in build-win/;
#   2. three lanes at once, each one step after the other (most of the time
#      of these steps is spent waiting on desktops, not computing):
#      - the unit tests under the sanitizers; the fuzz targets, each for a
#        while; on a private virtual desktop, the tests of build/ (unit, Qt,
#        and the end-to-end tests of build/NuvoNuvo);
#      - the fish's end-to-end checks on other desktops
#        (scripts/test-desktops.sh: mutter and KWin on X11 and in their
#        Wayland sessions, muffin, weston, sway, xfwm4, openbox with picom,
#        icewm, fluxbox);
#      - the Windows program's checks under Wine (scripts/test-windows.sh),
#        then the release files in dist/ (scripts/package.sh), each installed
#        and used as a user would (scripts/test-package.sh);
#   3. as root: the README's run command in bare Debian 12 and 13 systems,
#      and the Debian package installed and run in Debian 13
#      (scripts/test-bare-debian.sh; GUIZZOLO_BARE=no leaves it out).
# The desktops of step 2 live in network namespaces of their own (as root),
# so that no other X server, compositor or audio server on the machine, in a
# chroot or a container included, can meet them.
# Each step's output is shown when its lane is done; build/test-logs/ keeps
# it. Exits non-zero if anything failed; the last lines give each step's
# time and count the steps.
# GUIZZOLO_FUZZ_SECONDS sets how long each fuzz target runs (default 20).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
export GUIZZOLO_FUZZ_SECONDS=${GUIZZOLO_FUZZ_SECONDS:-20}
jobs=$(nproc 2>/dev/null || echo 2)
export jobs
start=$SECONDS
logs=$root/build/test-logs
results=$logs/results
passed=0
failed=0

# Runs one step: its output into build/test-logs/ID.log, one line
# "STATUS SECONDS ID NAME" into the results.
run_step() {
  local name=$1 id=$2 began=$SECONDS status=pass; shift 2
  echo "== $name (from $((SECONDS - start)) s)"
  "$@" >"$logs/$id.log" 2>&1 || status=fail
  echo "$status $((SECONDS - began)) $id $name" >>"$results"
  echo "== $name: $status in $((SECONDS - began)) s"
}

# Runs a command in network and mount namespaces of its own where we may
# make them. The network one holds the abstract X sockets; every test X server
# is :0, and they would all share the socket file /tmp/.X11-unix/X0, so a
# private one is mounted there too. Without it, a client that misses the
# abstract socket (one outside, or one whose server died) reached whichever
# test desktop made that file last, and a server that ended removed the file
# of another.
isolated() {
  if [[ $(id -u) -eq 0 ]] && unshare --net --mount true 2>/dev/null; then
    mkdir -p /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix
    unshare --net --mount --propagation private \
      bash -c 'mount -t tmpfs -o mode=1777 x11-sockets /tmp/.X11-unix && exec "$@"' isolated "$@"
  else
    "$@"
  fi
}

# Runs ctest in a build folder; shows its summary, or all of it on failure.
run_ctest() {
  local dir=$1 log=$1/ctest.log
  if (cd "$dir" && ctest -j"$jobs" --output-on-failure >ctest.log 2>&1); then
    grep -E 'tests passed|\((Skipped|Not Run)\)|^Total Test time' "$log"
  else
    cat "$log"
    return 1
  fi
}
export -f run_ctest

# Every executable named *_fuzz is a libFuzzer target; a seed corpus may sit
# in tests/fuzz/corpus/NAME. They run side by side.
fuzz() {
  local targets target name pids=() ok=yes
  mapfile -t targets < <(find build-fuzz -type f -perm -u+x -name '*_fuzz' | sort)
  [[ ${#targets[@]} -gt 0 ]] || { echo "no fuzz target built"; return 1; }
  for target in "${targets[@]}"; do
    name=$(basename "$target")
    mkdir -p "build-fuzz/corpus/$name" "build-fuzz/crashes/$name"
    local seeds=()
    [[ -d tests/fuzz/corpus/$name ]] && seeds=("tests/fuzz/corpus/$name")
    "$target" -max_total_time="$GUIZZOLO_FUZZ_SECONDS" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="build-fuzz/crashes/$name/" "build-fuzz/corpus/$name" "${seeds[@]}" \
      >"build-fuzz/$name.log" 2>&1 &
    pids+=($!)
  done
  for i in "${!targets[@]}"; do
    name=$(basename "${targets[$i]}")
    if wait "${pids[$i]}"; then
      echo "$name: $(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "build-fuzz/$name.log" | tail -n 1)"
    else
      ok=no
      tail -n 40 "build-fuzz/$name.log"
      echo "$name failed: log in build-fuzz/$name.log, inputs in build-fuzz/crashes/$name/"
    fi
  done
  [[ $ok == yes ]]
}

e2e_registered() {
  [[ -n $(cd build && ctest -N -L e2e | grep 'Test *#') ]] ||
    { echo "no end-to-end tests registered in build/ (tests/CMakeLists.txt needs add_subdirectory(e2e))"; return 1; }
}

mkdir -p "$logs"
rm -f "$logs"/*.log "$results"

run_step "installing what is missing" deps scripts/deps.sh test
cat "$logs/deps.log"
grep -q '^pass' "$results" || { echo "0 passed, 1 failed"; exit 1; }

# --- builds, one after the other: each uses every core ----------------------
run_step "building build/" build scripts/build.sh build
run_step "building build-asan/ (AddressSanitizer, UBSan)" build-asan \
  scripts/build.sh build-asan -DGUIZZOLO_SANITIZE=ON -DGUIZZOLO_APP=OFF
run_step "building build-fuzz/ (the program and the fuzz targets, clang)" build-fuzz \
  scripts/build.sh build-fuzz -DGUIZZOLO_FUZZ=ON -DGUIZZOLO_TESTS=OFF -DCMAKE_CXX_COMPILER=clang++
run_step "building build-win/ (Windows)" build-win scripts/build-windows.sh
for log in build build-asan build-fuzz build-win; do cat "$logs/$log.log"; done

built() { grep -q "^pass [0-9]* $1 " "$results"; }

# --- three lanes at once --------------------------------------------------------
lane_tests() {
  built build-asan &&
    run_step "unit tests with sanitizers (build-asan/)" asan run_ctest build-asan
  built build-fuzz &&
    run_step "fuzz targets (${GUIZZOLO_FUZZ_SECONDS} s each)" fuzz fuzz
  built build &&
    run_step "tests of build/: unit, Qt (offscreen) and end-to-end (virtual desktop)" e2e \
      bash -c 'e2e_registered && isolated scripts/private-desktop.sh bash -c "run_ctest build"'
}
lane_desktops() {
  built build &&
    run_step "end-to-end checks on other desktops (scripts/test-desktops.sh)" desktops \
      isolated scripts/test-desktops.sh
}
lane_windows() {
  built build-win &&
    run_step "Windows checks under Wine (scripts/test-windows.sh)" windows \
      isolated scripts/private-desktop.sh scripts/test-windows.sh
  run_step "release files into dist/ and their checks (scripts/test-package.sh)" package \
    isolated scripts/private-desktop.sh scripts/test-package.sh
}
export -f run_step isolated e2e_registered built
export start logs results root
lane_tests &
lane_a=$!
lane_desktops &
lane_b=$!
lane_windows &
lane_c=$!
wait $lane_a $lane_b $lane_c
for log in asan fuzz e2e desktops windows package; do
  [[ -f $logs/$log.log ]] || continue
  echo "---- $log"
  cat "$logs/$log.log"
done

# --- the README's commands on bare systems (needs the network) -----------
if [[ $(id -u) -eq 0 && ${GUIZZOLO_BARE:-yes} != no ]]; then
  run_step "the README's run command on bare Debian 12 and 13, the package on 13 (scripts/test-bare-debian.sh)" bare \
    scripts/test-bare-debian.sh
  cat "$logs/bare.log"
fi

echo "== done in $((SECONDS - start)) s; each step (the three lanes ran at once):"
while read -r status seconds _ name; do
  printf '%5d s  %-4s  %s\n' "$seconds" "$status" "$name"
  if [[ $status == pass ]]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
done <"$results"
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
