#!/usr/bin/env bash
# Builds everything and runs all tests:
#   1. the program and its tests in build/;
#   2. the unit tests under AddressSanitizer and UBSan, in build-asan/;
#   3. the program built with clang, and its fuzz targets (libFuzzer) run
#      each for a while, in build-fuzz/;
#   4. on a private virtual desktop: the tests of build/ (unit, Qt, and the
#      end-to-end tests of build/NuvoNuvo);
#   5. the fish's end-to-end checks on other desktops (scripts/test-desktops.sh:
#      mutter and KWin on X11 and in their Wayland sessions, weston, xfwm4,
#      openbox with picom, icewm, fluxbox), one after the other;
#   6. scripts/test-windows.sh if it is there, on a fresh openbox desktop;
#   7. the release files in dist/ (scripts/package.sh), each installed and
#      used as a user would (scripts/test-package.sh);
#   8. as root: the README's run command in bare Debian 12 and 13 systems,
#      and the Debian package installed and run in Debian 13
#      (scripts/test-bare-debian.sh; GUIZZOLO_BARE=no leaves it out).
# The desktops of steps 4 to 7 live in a network namespace of their own
# (as root), so that no other X server or audio server on the machine, in a
# chroot or a container included, can meet them.
# Exits non-zero if anything failed; the last line counts the steps.
# GUIZZOLO_FUZZ_SECONDS sets how long each fuzz target runs (default 20).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
fuzz_seconds=${GUIZZOLO_FUZZ_SECONDS:-20}
jobs=$(nproc 2>/dev/null || echo 2)
start=$SECONDS
step_start=$SECONDS
passed=0
failed=0
failures=()
times=()

# Each step's time is kept for the summary at the end.
step() {
  end_step
  step_name=$1
  step_start=$SECONDS
  echo "== $1 ($((SECONDS - start)) s)"
}
step_name=
end_step() { [[ -z $step_name ]] || times+=("$(printf '%5d s  %s' $((SECONDS - step_start)) "$step_name")"); step_name=; }
pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); failures+=("$1"); echo "FAILED: $1"; }

finish() {
  end_step
  echo "== done in $((SECONDS - start)) s"
  printf '%s\n' "${times[@]}"
  [[ ${#failures[@]} -eq 0 ]] || printf 'failed: %s\n' "${failures[@]}"
  echo "$passed passed, $failed failed"
  [[ $failed -eq 0 ]]
  exit
}

# Runs a command in a network namespace of its own where we may make one.
isolated() {
  if [[ $(id -u) -eq 0 ]] && unshare --net true 2>/dev/null; then
    unshare --net "$@"
  else
    "$@"
  fi
}

step "installing what is missing"
scripts/deps.sh test || { fail "dependencies"; finish; }

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

step "building build/"
built=no
if scripts/build.sh build; then built=yes; pass; else fail "build of build/"; fi

step "unit tests with sanitizers (build-asan/)"
if scripts/build.sh build-asan -DGUIZZOLO_SANITIZE=ON -DGUIZZOLO_APP=OFF; then
  if run_ctest build-asan; then pass; else fail "unit tests with sanitizers"; fi
else
  fail "build of build-asan/"
fi

step "the program with clang, and its fuzz targets (build-fuzz/, ${fuzz_seconds} s each)"
if scripts/build.sh build-fuzz -DGUIZZOLO_FUZZ=ON -DGUIZZOLO_TESTS=OFF \
    -DCMAKE_CXX_COMPILER=clang++; then
  # Every executable named *_fuzz is a libFuzzer target; a seed corpus may
  # sit in tests/fuzz/corpus/NAME.
  fuzz_ok=yes
  mapfile -t targets < <(find build-fuzz -type f -perm -u+x -name '*_fuzz' | sort)
  [[ ${#targets[@]} -gt 0 ]] || { fuzz_ok=no; echo "no fuzz target built"; }
  for target in "${targets[@]}"; do
    name=$(basename "$target")
    corpus=build-fuzz/corpus/$name
    mkdir -p "$corpus" "build-fuzz/crashes/$name"
    seeds=()
    [[ -d tests/fuzz/corpus/$name ]] && seeds=("tests/fuzz/corpus/$name")
    log=build-fuzz/$name.log
    if "$target" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="build-fuzz/crashes/$name/" "$corpus" "${seeds[@]}" >"$log" 2>&1; then
      echo "$name: $(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$log" | tail -n 1)"
    else
      fuzz_ok=no
      tail -n 40 "$log"
      echo "$name failed: log in $log, inputs in build-fuzz/crashes/$name/"
    fi
  done
  if [[ $fuzz_ok == yes ]]; then pass; else fail "fuzzing"; fi
else
  fail "build of build-fuzz/ (clang)"
fi

[[ $built == yes ]] || finish

step "tests of build/: unit, Qt (offscreen) and end-to-end (virtual desktop)"
if [[ -z $(cd build && ctest -N -L e2e | grep 'Test *#') ]]; then
  fail "no end-to-end tests registered in build/ (tests/CMakeLists.txt needs add_subdirectory(e2e))"
fi
export -f run_ctest
export jobs
if isolated scripts/private-desktop.sh bash -c 'run_ctest build'; then pass; else
  fail "tests of build/ (screenshots and program output in build/e2e-artifacts/)"
fi

step "end-to-end checks on other desktops: mutter, KWin, weston, xfwm4, picom, icewm, fluxbox (scripts/test-desktops.sh)"
if isolated scripts/test-desktops.sh; then pass; else
  fail "checks on other desktops (logs and screenshots in build/desktops/)"
fi

if [[ -x scripts/test-windows.sh ]]; then
  step "Windows build and tests (scripts/test-windows.sh)"
  if isolated scripts/private-desktop.sh scripts/test-windows.sh; then pass; else fail "Windows build and tests"; fi
fi

if [[ -x scripts/test-package.sh ]]; then
  step "release files into dist/ and their checks (scripts/test-package.sh)"
  if isolated scripts/private-desktop.sh scripts/test-package.sh; then pass; else fail "release files (scripts/test-package.sh)"; fi
fi

if [[ $(id -u) -eq 0 && ${GUIZZOLO_BARE:-yes} != no ]]; then
  step "the README's run command on bare Debian 12 and 13, the package on 13 (scripts/test-bare-debian.sh)"
  if scripts/test-bare-debian.sh; then pass; else fail "bare Debian systems (logs in build/bare/)"; fi
fi

finish
