#!/usr/bin/env bash
# Configures and builds with Ninja.
#   scripts/build.sh [DIR] [--target NAME]... [CMAKE OPTIONS...]
# DIR defaults to build/; without --target everything is built.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=build
if [[ $# -gt 0 && "$1" != -* ]]; then dir=$1; shift; fi
[[ "$dir" = /* ]] || dir="$root/$dir"
targets=()
options=()
while [[ $# -gt 0 ]]; do
  if [[ $1 == --target ]]; then targets+=(--target "$2"); shift 2; else options+=("$1"); shift; fi
done

# A compiler cache, where there is one, makes the many build folders of the
# test command (and a rebuild after a small change) cheap.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
  # Debug info would otherwise tie each object to its clone's folder, and a
  # fresh clone would miss the cache.
  export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
fi
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "${options[@]}" >/dev/null
cmake --build "$dir" "${targets[@]}" -- --quiet | sed '/^ninja: no work to do\.$/d'
