#!/usr/bin/env bash
# Builds everything and runs all tests:
#   1. the program and its tests in build/;
#   2. the unit tests under AddressSanitizer and UBSan, in build-asan/;
#   3. the fuzz targets (clang, libFuzzer), in build-fuzz/, each for a while;
#   4. on a private virtual desktop: the tests of build/ (unit, Qt, and the
#      end-to-end tests of build/NuvoNuvo);
#   5. the fish's end-to-end checks on other desktops (scripts/test-desktops.sh:
#      mutter and KWin on X11 and in their Wayland sessions, muffin, weston,
#      sway, xfwm4, openbox with picom, icewm, fluxbox), one after the other;
#   6. scripts/test-windows.sh if it is there, on a fresh openbox desktop;
#   7. the release files in dist/ (scripts/package.sh), each installed and
#      used as a user would (scripts/test-package.sh).
# Exits non-zero if anything failed; the last line counts the steps.
# GUIZZOLO_FUZZ_SECONDS sets how long each fuzz target runs (default 20).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
fuzz_seconds=${GUIZZOLO_FUZZ_SECONDS:-20}
jobs=$(nproc 2>/dev/null || echo 2)
start=$SECONDS
passed=0
failed=0
failures=()

step() { echo "== $1 ($((SECONDS - start)) s)"; }
pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); failures+=("$1"); echo "FAILED: $1"; }

finish() {
  echo "== done in $((SECONDS - start)) s"
  [[ ${#failures[@]} -eq 0 ]] || printf 'failed: %s\n' "${failures[@]}"
  echo "$passed passed, $failed failed"
  [[ $failed -eq 0 ]]
  exit
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

if [[ -f tests/fuzz/CMakeLists.txt ]]; then
  step "fuzz targets (build-fuzz/, ${fuzz_seconds} s each)"
  if scripts/build.sh build-fuzz -DGUIZZOLO_FUZZ=ON -DGUIZZOLO_APP=OFF -DGUIZZOLO_TESTS=OFF \
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
    fail "build of build-fuzz/"
  fi
fi

[[ $built == yes ]] || finish

step "starting a virtual desktop"
desktop=$(mktemp -d "${TMPDIR:-/tmp}/guizzolo-desktop.XXXXXX")
stop_desktop() { scripts/virtual-desktop.sh stop "$desktop" && rm -rf "$desktop"; }
trap stop_desktop EXIT
trap 'exit 130' INT TERM
if ! scripts/virtual-desktop.sh start "$desktop"; then
  fail "virtual desktop"
  finish
fi
(
  # shellcheck source=/dev/null
  . "$desktop/env"
  echo "desktop $DISPLAY, sound server $PULSE_SERVER"
)

step "tests of build/: unit, Qt (offscreen) and end-to-end (virtual desktop)"
if [[ -z $(cd build && ctest -N -L e2e | grep 'Test *#') ]]; then
  fail "no end-to-end tests registered in build/ (tests/CMakeLists.txt needs add_subdirectory(e2e))"
fi
if (. "$desktop/env" && run_ctest build); then pass; else
  fail "tests of build/ (screenshots and program output in build/e2e-artifacts/)"
fi

stop_desktop
trap - EXIT
step "end-to-end checks on other desktops: mutter, muffin, KWin, weston, sway, xfwm4, picom, icewm, fluxbox (scripts/test-desktops.sh)"
if scripts/test-desktops.sh; then pass; else
  fail "checks on other desktops (logs and screenshots in build/desktops/)"
fi
desktop=$(mktemp -d "${TMPDIR:-/tmp}/guizzolo-desktop.XXXXXX")
trap stop_desktop EXIT
if ! scripts/virtual-desktop.sh start "$desktop"; then
  fail "virtual desktop"
  finish
fi

if [[ -x scripts/test-windows.sh ]]; then
  step "Windows build and tests (scripts/test-windows.sh)"
  if (. "$desktop/env" && scripts/test-windows.sh); then pass; else fail "Windows build and tests"; fi
fi

if [[ -x scripts/test-package.sh ]]; then
  step "release files into dist/ and their checks (scripts/test-package.sh)"
  if (. "$desktop/env" && scripts/test-package.sh); then pass; else fail "release files (scripts/test-package.sh)"; fi
fi

stop_desktop
trap - EXIT
finish
