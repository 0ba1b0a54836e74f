#!/bin/sh
# Cross-builds the Windows program: build-win/NuvoNuvo.exe, one static
# executable, with the four wave files beside it.
# Needs g++-mingw-w64-x86-64-posix, binutils-mingw-w64, cmake and ninja (or make).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build-win"
generator=
command -v ninja >/dev/null 2>&1 && generator="-G Ninja"
launcher=
command -v ccache >/dev/null 2>&1 && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}"
# A fresh clone in another folder still finds the cache.
export CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
# shellcheck disable=SC2086
cmake -S "$root/platform/win32" -B "$out/cmake" $generator \
  -DCMAKE_TOOLCHAIN_FILE="$root/platform/win32/mingw-toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DGUIZZOLO_OUTPUT_DIR="$out" $launcher >/dev/null
cmake --build "$out/cmake" --parallel

# Only system DLLs: anything else would have to be shipped beside the exe.
imports=$(x86_64-w64-mingw32-objdump -p "$out/NuvoNuvo.exe" | sed -n 's/.*DLL Name: //p')
for dll in $imports; do
  case $(echo "$dll" | tr '[:lower:]' '[:upper:]') in
    KERNEL32.DLL|USER32.DLL|GDI32.DLL|WINMM.DLL|SHELL32.DLL|OLE32.DLL|COMCTL32.DLL|ADVAPI32.DLL|MSVCRT.DLL|API-MS-WIN-*) ;;
    *) echo "build-windows: unexpected DLL import: $dll" >&2; exit 1 ;;
  esac
done
echo "$out/NuvoNuvo.exe"
