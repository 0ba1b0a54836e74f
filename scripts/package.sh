#!/usr/bin/env bash
# Builds every release file into dist/:
#   guizzolo_VERSION_ARCH.deb      the Debian package (Release build in
#                                  build-package/, cmake --install + CPack)
#   Guizzolo-VERSION-win64.zip     the portable Windows pet (build-win/)
#   Guizzolo-VERSION-setup.exe     the Windows installer (NSIS)
# and dist/SHA256SUMS. Needs what `scripts/deps.sh test` installs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dist=$root/dist
cd "$root"
mkdir -p "$dist"
rm -f "$dist"/guizzolo_*.deb "$dist"/Guizzolo-*-win64.zip "$dist"/Guizzolo-*-setup.exe "$dist"/SHA256SUMS

# --- Linux ----------------------------------------------------------------------
# Debian's hardening flags (fortified functions, read-only relocations,
# immediate binding), as Debian's own packages are built.
linux=$root/build-package
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cxxflags=$(dpkg-buildflags --get CXXFLAGS)
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S "$root" -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DGUIZZOLO_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$cppflags $cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags -Wl,-z,now" \
  -DCMAKE_SHARED_LINKER_FLAGS="$ldflags -Wl,-z,now" \
  -DCMAKE_MODULE_LINKER_FLAGS="$ldflags -Wl,-z,now" >/dev/null
cmake --build "$linux" -- --quiet | sed '/^ninja: no work to do\.$/d'
rm -f "$linux"/package/*.deb
(cd "$linux" && cpack -G DEB >cpack.log) || { cat "$linux/cpack.log" >&2; exit 1; }
cp "$linux"/package/guizzolo_*.deb "$dist/"

# --- Windows --------------------------------------------------------------------
mkdir -p "$root/build-win"
scripts/build-windows.sh >"$root/build-win/build.log" 2>&1 ||
  { tail -n 40 "$root/build-win/build.log" >&2; echo "package: the Windows build failed" >&2; exit 1; }
windows=$root/build-win/cmake
rm -f "$windows"/package/*.zip "$windows"/package/*.exe
(cd "$windows" && cpack -G ZIP >cpack.log) || { cat "$windows/cpack.log" >&2; exit 1; }
cmake --build "$windows" --target guizzolo_setup >/dev/null
cp "$windows"/package/Guizzolo-*-win64.zip "$windows"/package/Guizzolo-*-setup.exe "$dist/"

(cd "$dist" && sha256sum -- * >SHA256SUMS)
ls -l "$dist"
