#!/usr/bin/env bash
# Installs what is missing, builds in Release (no tests) and makes the Debian package
# build-deb/kivaro_<version>_<arch>.deb, then shows its control data and checks it with
# lintian (any error fails). Install it with: sudo apt install ./build-deb/kivaro_*.deb
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
"$here/scripts/build.sh" build-deb -DCMAKE_BUILD_TYPE=Release -DKIVARO_BUILD_TESTS=OFF -DKIVARO_BUILD_BENCH=OFF
cd "$here/build-deb"
rm -f kivaro_*.deb
cpack -G DEB
package=$(ls kivaro_*.deb)
dpkg-deb --info "$package"
lintian --fail-on error "$package"
echo "package: $here/build-deb/$package"
