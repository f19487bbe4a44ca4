#!/usr/bin/env bash
# Installs the Debian package, checks the installed programs and files as a
# user would meet them, and removes the package again (also on failure).
#   check-deb.sh PATH/tambelo_VERSION_amd64.deb
# Needs root, lintian, desktop-file-utils, appstream, man-db and dbus
# (scripts/setup.sh).
set -euo pipefail
if [ $# -ne 1 ] || [ ! -f "$1" ]; then
  echo "usage: check-deb.sh PATH/tambelo_VERSION_amd64.deb" >&2
  exit 2
fi
deb=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
export DEBIAN_FRONTEND=noninteractive

work=$(mktemp -d)
cleanup() {
  apt-get purge -y -q tambelo >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "check-deb.sh: $*" >&2; exit 1; }

echo "--- lintian"
# Debian's own checks of the package; any error or warning fails.
lintian -EvIL +pedantic --fail-on error,warning "$deb"
echo "ok"

apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "$deb" >/dev/null

echo "--- installed files"
for file in /usr/bin/tambelo /usr/bin/tambelo-cli \
    /usr/share/tambelo/samples/amus.dat /usr/share/tambelo/samples/amus.mda \
    /usr/share/tambelo/samples/amus.txt \
    /usr/share/doc/tambelo/README.md /usr/share/doc/tambelo/score-language.md \
    /usr/share/doc/tambelo/copyright /usr/share/doc/tambelo/changelog.gz \
    /usr/share/applications/org.tambelo.Tambelo.desktop \
    /usr/share/metainfo/org.tambelo.Tambelo.metainfo.xml \
    /usr/share/icons/hicolor/48x48/apps/org.tambelo.Tambelo.png \
    /usr/share/icons/hicolor/scalable/apps/org.tambelo.Tambelo.svg \
    /usr/share/man/man1/tambelo.1.gz /usr/share/man/man1/tambelo-cli.1.gz; do
  [ -f "$file" ] || fail "the package does not install $file"
done
library=$(dpkg -L tambelo | grep '/libtambelo\.so\.[0-9]*$' || true)
[ -n "$library" ] || fail "the package does not install libtambelo.so.N"
soname=$(objdump -p "$library" | awk '$1 == "SONAME" { print $2 }')
[ "$soname" = "$(basename "$library")" ] || fail "$library has the SONAME '$soname'"
echo "ok"

echo "--- desktop entry, AppStream data, man pages"
desktop-file-validate /usr/share/applications/org.tambelo.Tambelo.desktop
appstreamcli validate --no-net /usr/share/metainfo/org.tambelo.Tambelo.metainfo.xml
for page in tambelo tambelo-cli; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man -l $page.1 warns: $warnings"
done
echo "ok"

echo "--- tambelo-cli list on the installed sample set"
/usr/bin/tambelo-cli list /usr/share/tambelo/samples/amus.dat

echo "--- the installed window, started as from the menu"
# On the offscreen platform, in a fresh session bus and home: no set beside
# the program and none remembered, so it must find the library by its
# SONAME and play the installed sample set. Its media-player interface on
# the bus tells what it plays; Quit ends it as the desktop would.
mkdir -p "$work/home"
cd "$work"
HOME=$work/home XDG_CONFIG_HOME=$work/home/.config QT_QPA_PLATFORM=offscreen \
TAMBELO_MIDI_OUT=none dbus-run-session -- bash -euo pipefail -c '
  ask() {
    dbus-send --session --print-reply --reply-timeout=2000 --dest=org.mpris.MediaPlayer2.tambelo \
      /org/mpris/MediaPlayer2 "$@"
  }
  /usr/bin/tambelo & pid=$!
  # A window stuck on an error message must not outlive the check.
  trap "kill $pid 2>/dev/null || true" EXIT
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || { wait "$pid" || true; echo "the window ended at start" >&2; exit 1; }
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner string:org.mpris.MediaPlayer2.tambelo 2>/dev/null \
      | grep -q "boolean true" && break
    sleep 0.2
  done
  metadata=$(ask org.freedesktop.DBus.Properties.Get \
    string:org.mpris.MediaPlayer2.Player string:Metadata)
  echo "$metadata" | grep -A1 "xesam:album" | grep -q "Tambelo Sample Set" \
    || { echo "the window does not play the sample set: $metadata" >&2; exit 1; }
  echo "$metadata" | grep -A1 "xesam:title" | grep -o "\".*\"" | tail -n 1
  echo "$metadata" | grep -q "mpris:length" \
    || { echo "the window gives no track length: $metadata" >&2; exit 1; }
  # A second start hands over to this window and ends at once.
  timeout 20 /usr/bin/tambelo /usr/share/tambelo/samples \
    || { echo "a second start did not end by handing over" >&2; exit 1; }
  ask org.mpris.MediaPlayer2.Quit >/dev/null
  wait "$pid"
'
echo "ok"
