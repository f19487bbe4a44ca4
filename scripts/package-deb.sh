#!/usr/bin/env bash
# Builds the Debian package tambelo_<version>_amd64.deb into OUT_DIR.
#   package-deb.sh OUT_DIR [BUILD_DIR [extra cmake arguments...]]
# BUILD_DIR (default build-deb) is configured for /usr without tests or
# benchmarks; dependencies are computed by dpkg-shlibdeps (package dpkg-dev).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -lt 1 ]; then
  echo "usage: package-deb.sh OUT_DIR [BUILD_DIR]" >&2
  exit 2
fi
mkdir -p "$1"
out=$(cd "$1" && pwd)
build=${2:-$root/build-deb}
shift $(( $# > 1 ? 2 : 1 ))

# Debian's hardening flags (stack protector, fortified functions, read-only
# relocations bound at start), as a Debian build would use them.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
"$root/scripts/build.sh" "$build" -DCMAKE_INSTALL_PREFIX=/usr \
  -DTAMBELO_BUILD_TESTS=OFF -DTAMBELO_BUILD_BENCH=OFF "$@"
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
# CPack leaves its work folder beside the package.
rm -rf "$out/_CPack_Packages"
ls "$out"/tambelo_*.deb
