#!/usr/bin/env bash
# Builds the web player into one folder of static files: the page, its
# scripts, the playback core compiled to WebAssembly (Emscripten), the
# synthesizer (from web/node_modules, pinned by web/package-lock.json) and the
# default SoundFont.
#   build-web.sh OUT_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -ne 1 ]; then
  echo "usage: build-web.sh OUT_DIR" >&2
  exit 2
fi
out=$1
soundfont=/usr/share/sounds/sf2/TimGM6mb.sf2
for tool in emcmake emcc npm; do
  command -v "$tool" >/dev/null || { echo "build-web.sh: $tool is missing: run scripts/setup.sh" >&2; exit 1; }
done
[ -f "$soundfont" ] || { echo "build-web.sh: $soundfont is missing: run scripts/setup.sh" >&2; exit 1; }

# The packages exactly as the lockfile has them, fetched once.
if [ ! -d "$root/web/node_modules/js-synthesizer" ] || [ "$root/web/package-lock.json" -nt "$root/web/node_modules/.package-lock.json" ]; then
  (cd "$root/web" && npm ci --no-audit --no-fund >/dev/null)
fi

# Emscripten's own scripts need the node modules Debian installs beside it.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

# The output folder holds only what a web server should serve: it is
# emptied first, and the core's build folder (with this machine's paths)
# lies beside it.
if [ -d "$out" ] && [ -n "$(ls -A "$out")" ] && [ ! -f "$out/index.html" ]; then
  echo "build-web.sh: $out is not empty and holds no web player: give an empty or new folder" >&2
  exit 1
fi
mkdir -p "$out"
out=$(cd "$out" && pwd)
find "$out" -mindepth 1 -delete
wasm_build="$out.wasm-build"
# The compiler cache, where one is installed, as for the native builds.
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
emcmake cmake -S "$root/web" -B "$wasm_build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
cmake --build "$wasm_build"

cp "$wasm_build/tambelo-core.js" "$wasm_build/tambelo-core.wasm" "$out/"
cp "$root"/web/page/* "$out/"
mkdir -p "$out/vendor"
cp "$root/web/node_modules/js-synthesizer/dist/js-synthesizer.min.js" \
   "$root/web/node_modules/js-synthesizer/dist/js-synthesizer.worklet.min.js" \
   "$root/web/node_modules/js-synthesizer/externals/libfluidsynth-2.4.6.js" \
   "$root/web/node_modules/js-synthesizer/externals/libfluidsynth-2.4.6-with-libsndfile.js" \
   "$root/web/node_modules/js-synthesizer/externals/LICENSE.fluidsynth.txt" \
   "$out/vendor/"
cp "$soundfont" "$out/default.sf2"
node "$root/web/tools/write_icons.js" "$out"
# The service worker keeps every file but itself, the SoundFont (the page
# keeps that) and the engine only a compressed SoundFont needs; its version
# is a digest of everything served, so any change makes a new version.
files=$(cd "$out" && find . -type f ! -name sw.js ! -name default.sf2 ! -name '*-with-libsndfile.js' -printf '%P\n' | LC_ALL=C sort | tr '\n' ' ')
version=$(cd "$out" && find . -type f ! -name sw.js -printf '%P\n' | LC_ALL=C sort | xargs sha256sum | sha256sum | cut -c1-16)
sed -i "s|@VERSION@|$version|; s|@FILES@|${files% }|" "$out/sw.js"
echo "web player built in $out"
