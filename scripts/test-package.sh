#!/usr/bin/env bash
# Builds every release file (scripts/package.sh) and checks each as a user
# meets it:
#   tests/package/test_deb.py       the Debian package: contents, lintian,
#     validators, dependencies; installed into a private root and run by the
#     user nobody on the virtual desktop (source scripts/virtual-desktop.sh's
#     env file first); with CI=true also a real apt install and purge
#   tests/package/test_windows.py   the zip and the installer under Wine, run
#     by nobody on a private desktop of its own
# Needs root: the checks install into a private root and run as nobody.
# Screenshots land in build-package/package-artifacts/ and
# build-win/package-artifacts/.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [[ $(id -u) -ne 0 ]]; then
  echo "release file checks skipped: they need root (a private dpkg root, programs run as nobody)"
  exit 0
fi
scripts/package.sh || exit 1
status=0
debs=(dist/guizzolo_*.deb)
echo "== the Debian package"
/usr/bin/python3 tests/package/test_deb.py "${debs[0]}" build-package build-package/package-artifacts || status=1
echo "== the Windows zip and installer, under Wine"
/usr/bin/python3 tests/package/test_windows.py dist build-win/package-artifacts || status=1
exit $status
