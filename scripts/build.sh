#!/usr/bin/env bash
# Configures and builds with Ninja.
#   scripts/build.sh [DIR] [CMAKE OPTIONS...]     DIR defaults to build/
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=build
if [[ $# -gt 0 && "$1" != -* ]]; then dir=$1; shift; fi
[[ "$dir" = /* ]] || dir="$root/$dir"

cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$dir" -- --quiet | sed '/^ninja: no work to do\.$/d'
