#!/usr/bin/env bash
# Packs the Windows build into OUT_DIR/tambelo-windows-x86.zip: tambelo.exe,
# tambelo.dll and tambelo-cli.exe with the bundled sample set beside them
# (a double click plays it at once) and a short README.txt.
#   package-windows.sh OUT_DIR
# Run after scripts/build-windows.sh. The Windows build is taken from
# TAMBELO_WINDOWS_BUILD (default build-windows). The sample set comes from
# TAMBELO_SAMPLE_SET, or the Linux build's build/samples, which is built
# (the tool and the set only) when it is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -ne 1 ]; then
  echo "usage: package-windows.sh OUT_DIR" >&2
  exit 2
fi
mkdir -p "$1"
out=$(cd "$1" && pwd)
windows_build=${TAMBELO_WINDOWS_BUILD:-$root/build-windows}
set_dir=${TAMBELO_SAMPLE_SET:-$root/build/samples}

for name in tambelo.exe tambelo.dll tambelo-cli.exe; do
  if [ ! -f "$windows_build/$name" ]; then
    echo "package-windows.sh: no $name in $windows_build; run scripts/build-windows.sh first" >&2
    exit 1
  fi
done
if [ ! -f "$set_dir/amus.dat" ] && [ -z "${TAMBELO_SAMPLE_SET:-}" ]; then
  cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$root/build" --target sample_set --parallel "${TAMBELO_JOBS:-$(nproc)}"
fi
for name in amus.dat amus.mda amus.txt; do
  if [ ! -f "$set_dir/$name" ]; then
    echo "package-windows.sh: the sample set lacks $set_dir/$name" >&2
    exit 1
  fi
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
# The programs without their debugging information, which is most of their
# size; the 64-bit test build needs the other strip.
for name in tambelo.exe tambelo.dll tambelo-cli.exe; do
  i686-w64-mingw32-strip -o "$stage/$name" "$windows_build/$name" 2>/dev/null ||
    x86_64-w64-mingw32-strip -o "$stage/$name" "$windows_build/$name" 2>/dev/null ||
    cp "$windows_build/$name" "$stage/$name"
done
cp "$set_dir/amus.dat" "$set_dir/amus.mda" "$set_dir/amus.txt" "$stage/"
# Windows' own editor wants CR LF line ends.
sed 's/$/\r/' "$root/scripts/windows-readme.txt" >"$stage/README.txt"

zip_path=$out/tambelo-windows-x86.zip
rm -f "$zip_path"
# Fixed times and order, so the same build gives the same archive.
touch -d '2000-01-01 00:00:00' "$stage"/*
(cd "$stage" && zip -q -X -D "$zip_path" README.txt tambelo.exe tambelo.dll tambelo-cli.exe \
  amus.dat amus.mda amus.txt)
echo "Wrote $zip_path"
