#!/usr/bin/env bash
# Installs the Debian packages, checks the installed programs, library and
# plugins as a user or a developer would meet them, and removes the packages
# again (also on failure).
#   check-deb.sh PACKAGE.deb...
# takes the five packages scripts/package-deb.sh builds: tambelo,
# libtambelo-render0, libtambelo-render-dev, audacious-plugin-tambelo and
# gstreamer1.0-tambelo. Needs root, lintian, desktop-file-utils, appstream,
# man-db, dbus, a C compiler, pkg-config, gstreamer1.0-tools, audacious
# and audacious-dev (scripts/setup.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
packages=(tambelo libtambelo-render0 libtambelo-render-dev audacious-plugin-tambelo gstreamer1.0-tambelo)
usage="usage: check-deb.sh PACKAGE.deb... (${packages[*]})"
fail() { echo "check-deb.sh: $*" >&2; exit 1; }

# One file for each package, by the name in its control data.
declare -A deb_of
for file in "$@"; do
  [ -f "$file" ] || { echo "$usage" >&2; exit 2; }
  name=$(dpkg-deb -f "$file" Package)
  [ -z "${deb_of[$name]:-}" ] || fail "two files for the package $name: ${deb_of[$name]} and $file"
  deb_of[$name]=$(cd "$(dirname "$file")" && pwd)/$(basename "$file")
done
for name in "${packages[@]}"; do
  [ -n "${deb_of[$name]:-}" ] || { echo "$usage" >&2; fail "no file for the package $name"; }
done
for name in "${!deb_of[@]}"; do
  [[ " ${packages[*]} " == *" $name "* ]] || fail "$name is not one of tambelo's packages"
done
debs=("${deb_of[@]}")
export DEBIAN_FRONTEND=noninteractive

work=$(mktemp -d)
cleanup() {
  apt-get purge -y -q "${packages[@]}" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "--- lintian"
# Debian's own checks of the packages, together as the one source they come
# from; any error or warning fails.
lintian -EvIL +pedantic --fail-on error,warning "${debs[@]}"
echo "ok"

apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${debs[@]}" >/dev/null

echo "--- installed files"
for file in /usr/bin/tambelo /usr/bin/tambelo-cli \
    /usr/share/tambelo/samples/amus.dat /usr/share/tambelo/samples/amus.mda \
    /usr/share/tambelo/samples/amus.txt \
    /usr/share/doc/tambelo/README.md /usr/share/doc/tambelo/score-language.md \
    /usr/share/applications/org.tambelo.Tambelo.desktop \
    /usr/share/metainfo/org.tambelo.Tambelo.metainfo.xml \
    /usr/share/icons/hicolor/48x48/apps/org.tambelo.Tambelo.png \
    /usr/share/icons/hicolor/scalable/apps/org.tambelo.Tambelo.svg \
    /usr/share/man/man1/tambelo.1.gz /usr/share/man/man1/tambelo-cli.1.gz; do
  [ -f "$file" ] || fail "the package does not install $file"
done
for name in "${packages[@]}"; do
  for file in copyright changelog.gz; do
    [ -f "/usr/share/doc/$name/$file" ] || fail "$name does not install /usr/share/doc/$name/$file"
  done
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

echo "--- the rendering library and a program built against it"
arch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
library=/usr/lib/$arch/libtambelo-render.so.0
[ -f "$library" ] || fail "libtambelo-render0 does not install $library"
# The cache and ldd may name the folder through /lib (merged /usr).
cached='=> \(/usr\)\?/lib/'$arch'/libtambelo-render\.so\.0$'
grep -q "libtambelo-render\.so\.0 .*$cached" <<< "$(ldconfig -p)" \
  || fail "the library cache does not list $library: the ldconfig trigger did not run"
# The symbols file tells dpkg-shlibdeps which version of the package a
# program needs for the calls it makes; a call missing there would give
# programs a dependency that is too weak.
exported=$(objdump -T "$library" | awk '$2 == "g" && $4 == ".text" { print $NF }' | sort)
listed=$(sed -n 's/^ \(tambelo_[^@]*\)@TAMBELO_RENDER_0 .*/\1/p' "$(dpkg-query --control-path libtambelo-render0 symbols)" | sort)
[ "$exported" = "$listed" ] || fail "packaging/debian/libtambelo-render0.symbols does not list what $library exports:
$(diff <(echo "$listed") <(echo "$exported") | grep '^[<>]')"
# -Werror: the installed header compiles cleanly, as its users build.
cc -std=c99 -Wall -Wextra -Werror -o "$work/list_tracks" "$root/packaging/tests/list_tracks.c" \
  $(pkg-config --cflags --libs tambelo-render)
grep -q "libtambelo-render\.so\.0 => \(/usr\)\?/lib/$arch/libtambelo-render\.so\.0 " <<< "$(ldd "$work/list_tracks")" \
  || fail "the program built with pkg-config does not use $library"
"$work/list_tracks" /usr/share/tambelo/samples/amus.dat | tee "$work/tracks"
# The same tracks and titles as tambelo-cli lists.
cli_list=$(/usr/bin/tambelo-cli list /usr/share/tambelo/samples/amus.dat)
cli_tracks=$(grep -c '^ *[0-9]' <<< "$cli_list")
[ "$(wc -l < "$work/tracks")" -eq "$cli_tracks" ] \
  || fail "the program lists $(wc -l < "$work/tracks") tracks, tambelo-cli list $cli_tracks"
while IFS=$'\t' read -r number _ title; do
  grep -q "^ *$number .* $number $title" <<< "$cli_list" \
    || fail "the program's track $number, '$title', is not what tambelo-cli lists"
done < "$work/tracks"
echo "ok"

echo "--- the GStreamer plugin"
# A registry of its own, and GStreamer's own plugin folder only, so that
# neither a stale registry nor a plugin in a build tree can stand in for the
# installed one.
inspect=$(env -u GST_PLUGIN_PATH -u GST_PLUGIN_PATH_1_0 -u GST_PLUGIN_SYSTEM_PATH -u GST_PLUGIN_SYSTEM_PATH_1_0 \
  GST_REGISTRY="$work/gst-registry.bin" gst-inspect-1.0 tambelo 2>&1) \
  || fail "gst-inspect-1.0 does not find the installed plugin: $inspect"
found=$(sed -n 's/^ *Filename *//p' <<< "$inspect")
installed=$(pkg-config --variable=pluginsdir gstreamer-1.0)/libgsttambelo.so
[ -f "$installed" ] || fail "gstreamer1.0-tambelo does not install $installed, where GStreamer looks"
[ "$(realpath "$found")" = "$(realpath "$installed")" ] \
  || fail "gst-inspect-1.0 finds the plugin at '$found', not at $installed"
grep -q "tambelodec" <<< "$inspect" || fail "the installed plugin has no tambelodec element: $inspect"
echo "ok"

echo "--- the Audacious plugin"
plugin=$(pkg-config --variable=plugin_dir audacious)/Input/tambelo.so
[ -f "$plugin" ] || fail "audacious-plugin-tambelo does not install $plugin, where Audacious looks"
missing=$(ldd "$plugin" | grep "not found" || true)
[ -z "$missing" ] || fail "$plugin needs libraries that are not installed: $missing"
# Audacious started headless in a fresh home, ending at once (-q, nothing
# to play), loads every plugin it finds and records it in its registry.
mkdir -p "$work/audacious"
HOME=$work/audacious XDG_CONFIG_HOME=$work/audacious/.config \
  timeout 30 dbus-run-session -- audacious -H -q >/dev/null 2>&1 \
  || fail "audacious -H -q did not start and end"
registry=$work/audacious/.config/audacious/plugin-registry
grep -A4 "^input $plugin\$" "$registry" 2>/dev/null | grep -q "^name " \
  || fail "Audacious did not load $plugin"
echo "ok"

echo "--- removal"
apt-get purge -y -q "${packages[@]}" >/dev/null
! grep -q "libtambelo-render\.so\.0" <<< "$(ldconfig -p)" \
  || fail "the library cache still lists libtambelo-render.so.0 after removal"
echo "ok"
