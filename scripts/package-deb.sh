#!/usr/bin/env bash
# Builds the Debian packages into OUT_DIR, replacing earlier builds of them
# there, and lists them:
#   tambelo_<version>_amd64.deb                   the programs and the sample set
#   libtambelo-render0_<version>_amd64.deb        the rendering library
#   libtambelo-render-dev_<version>_amd64.deb     its header and pkg-config file
#   audacious-plugin-tambelo_<version>_amd64.deb  the Audacious input plugin
#   gstreamer1.0-tambelo_<version>_amd64.deb      the GStreamer plugin
# (a plugin only where its host's development files are installed).
#   package-deb.sh OUT_DIR [BUILD_DIR [extra cmake arguments...]]
# BUILD_DIR (default build-deb) is configured for /usr without tests or
# benchmarks; dependencies are computed by dpkg-shlibdeps (package dpkg-dev).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -lt 1 ]; then
  echo "usage: package-deb.sh OUT_DIR [BUILD_DIR [extra cmake arguments...]]" >&2
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
packages=(tambelo libtambelo-render0 libtambelo-render-dev audacious-plugin-tambelo gstreamer1.0-tambelo)
for package in "${packages[@]}"; do
  rm -f "$out/${package}"_*.deb
done
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
# CPack leaves its work folder beside the packages.
rm -rf "$out/_CPack_Packages"

# CPack gives a package with a library in /usr/lib maintainer scripts that
# just run ldconfig. The library's package declares dpkg's ldconfig trigger
# instead, which runs ldconfig once for all the packages dpkg handles; the
# scripts go (lintian rejects them), after a check that they do nothing else.
library_deb=$(ls "$out"/libtambelo-render0_*.deb)
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -R "$library_deb" "$unpacked/root"
grep -qx 'activate-noawait ldconfig' "$unpacked/root/DEBIAN/triggers" 2>/dev/null || {
  echo "package-deb.sh: $(basename "$library_deb") does not declare the ldconfig trigger" >&2
  exit 1
}
for script in postinst postrm; do
  if [ -f "$unpacked/root/DEBIAN/$script" ]; then
    if grep -v -E '^(#!/bin/sh|set -e|if \[ "\$1" = "(configure|remove)" \]; then|[[:space:]]*ldconfig|fi|)$' \
        "$unpacked/root/DEBIAN/$script"; then
      echo "package-deb.sh: CPack's $script for $(basename "$library_deb") does more than run ldconfig" >&2
      exit 1
    fi
    rm "$unpacked/root/DEBIAN/$script"
  fi
done
dpkg-deb --root-owner-group -b "$unpacked/root" "$library_deb" >/dev/null

for package in "${packages[@]}"; do
  ls "$out/${package}"_*.deb 2>/dev/null || true
done
