#!/usr/bin/env bash
# Configures and builds with Ninja.
#   scripts/build.sh [DIR] [CMAKE OPTIONS...]     DIR defaults to build/
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=build
if [[ $# -gt 0 && "$1" != -* ]]; then dir=$1; shift; fi
[[ "$dir" = /* ]] || dir="$root/$dir"

# A compiler cache, where there is one, makes the many build folders of the
# test command (and a rebuild after a small change) cheap.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
fi
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
cmake --build "$dir" -- --quiet | sed '/^ninja: no work to do\.$/d'
