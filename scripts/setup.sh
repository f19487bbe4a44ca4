#!/usr/bin/env bash
# Installs, as root on Debian 12, every package needed to build, test and
# run tambelo. Safe to run again.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev binutils
  # libraries
  libcli11-dev nlohmann-json3-dev libtomlplusplus-dev
  libfluidsynth-dev librtmidi-dev libsndfile1-dev qt6-base-dev
  libasound2-dev libjack-jackd2-dev libpulse-dev
  # GLib's log, to keep the SoundFont library that FluidSynth uses for DLS
  # files from printing its assertion messages
  libglib2.0-dev
  # loop points in exported audio: FLAC comments and an Ogg Vorbis encoder
  libflac-dev libvorbis-dev libogg-dev
  # EBU R128 loudness of renderings (ReplayGain tags, normalized exports)
  libebur128-dev
  # tests: JSON output checked against its published schema, and MIDI files
  # made by an independent tool for the import command
  python3-jsonschema python3-mido
  # tests: exported audio read back by independent tools (loudness, lengths, tags)
  ffmpeg sox flac vorbis-tools
  # sound: General MIDI SoundFonts for the embedded synthesizer; the larger
  # FluidR3 set becomes the system's default and sounds far better; its GS
  # variation tones, which the synthesizer stacks over it
  timgm6mb-soundfont fluid-soundfont-gm fluid-soundfont-gs
  # the window program under a virtual display, and helpers for tests
  xvfb xauth fluidsynth jackd2
  # live timing through real audio servers that the benchmark and a test
  # start privately: PulseAudio with a null sink recorded by parec, PipeWire
  # with its PulseAudio server and session manager; numpy for the onset fit
  # of the live-timing check that compares us with a stock client
  pulseaudio pulseaudio-utils pipewire pipewire-bin pipewire-pulse wireplumber
  python3-numpy
  # screenshots of the window: framebuffer to PNG, a title bar, Japanese glyphs
  netpbm twm fonts-ipafont-gothic
  # installing: man pages, the Debian package's dependencies, checks of the
  # desktop entry, AppStream data and man pages; a session bus for MPRIS tests
  help2man dpkg-dev desktop-file-utils appstream man-db dbus
  # Debian's own checks of the built package
  lintian
  # the Windows build: 32-bit mingw-w64 compilers (posix threads), GoogleTest's
  # sources to build with them, and Wine with its 32-bit side to run the tests;
  # where the kernel cannot run 32-bit programs the tests run on a 64-bit
  # build under wine64
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64 binutils-mingw-w64-i686
  googletest wine wine32:i386 wine64
  # the Windows zip and its window test: clicks on the virtual display
  zip unzip xdotool
  # the web player: the core compiled to WebAssembly, node for its build
  # and tests, and a browser to test the page in
  emscripten nodejs chromium
  # the GStreamer plugin: its development files, and the tools and elements
  # (filesrc, wavenc, gst-discoverer-1.0, gst-play-1.0) its tests and users play it with
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-base-apps
  # a GStreamer application of Python's, through GObject introspection, that
  # plays the set as an album in its test
  python3-gi gir1.2-gstreamer-1.0
  # the Audacious input plugin: Audacious's development files, and the player
  # itself (audacious -H, audtool) with its file writer, to test the plugin in
  # it; scripts/check-deb.sh also starts it headless to see that it loads the
  # installed plugin
  audacious-dev audacious audacious-plugins
)

if [ "$(id -u)" -ne 0 ]; then
  echo "setup.sh: run as root (it installs packages with apt-get)" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# wine32 comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
# A mirror in the middle of a sync serves an index of the wrong size for a
# while: try again, and then go on with the indexes that did arrive (the
# install below says plainly if a package is missing).
updated=no
for attempt in 1 2 3; do
  if apt-get update -q; then
    updated=yes
    break
  fi
  echo "setup.sh: apt-get update failed (attempt $attempt of 3)" >&2
  sleep 15
done
if [ "$updated" = no ]; then
  echo "setup.sh: going on with the package indexes that could be fetched" >&2
fi
if ! apt-get install -y -q --no-install-recommends "${packages[@]}"; then
  # 32-bit Wine needs the i386 indexes to match the 64-bit ones, which a
  # mirror in the middle of a sync breaks. Without it the Windows tests run
  # on a 64-bit build under wine64 (scripts/run-tests.sh).
  echo "setup.sh: the install failed; trying again without wine32" >&2
  without_wine32=()
  for package in "${packages[@]}"; do
    [ "$package" = "wine32:i386" ] || without_wine32+=("$package")
  done
  apt-get install -y -q --no-install-recommends "${without_wine32[@]}"
fi
# npm installs the web player's pinned packages (web/package-lock.json).
# Debian's nodejs comes without it; a nodejs that has its own is kept.
if ! command -v npm >/dev/null 2>&1; then
  apt-get install -y -q --no-install-recommends npm
fi
