#!/usr/bin/env bash
# Runs trace and dump with the Linux tool and with tambelo-cli.exe under Wine
# on every track of the sample set and of a few damaged sets, and fails on
# the first difference in standard output, standard error or exit status.
#   compare_cli.sh LINUX_CLI WINE WINDOWS_CLI SAMPLE_SOURCES WORK_DIR
set -euo pipefail
linux_cli=$1 wine=$2 windows_cli=$3 sources=$4 work=$5
rm -rf "$work"
mkdir -p "$work/sample"
"$linux_cli" pack "$sources" -o "$work/sample" >/dev/null

# Damaged copies: a score archive cut short, a voice archive of noise, a set
# without its voice archive, and an empty score archive.
damage() { rm -rf "$work/$1"; cp -r "$work/sample" "$work/$1"; }
damage cut; head -c "$(($(stat -c %s "$work/sample/amus.dat") / 2))" "$work/sample/amus.dat" >"$work/cut/amus.dat"
damage noise; head -c 4096 /dev/urandom >"$work/noise/amus.mda"
damage no-voices; rm "$work/no-voices/amus.mda"
damage empty; : >"$work/empty/amus.dat"

# Drops a dump's SoundFonts and the voices they lack, from its standard
# output (JSON) and its standard error.
platform_free() {
  python3 - "$1.out" <<'PY'
import json, sys
path = sys.argv[1]
lines = open(path, encoding='utf-8').read().splitlines()
out = []
for line in lines:
    try:
        value = json.loads(line)
    except ValueError:
        out.append(line)
        continue
    if isinstance(value, dict):
        value.pop('soundfonts', None)
        value.pop('voice_fallbacks', None)
    out.append(json.dumps(value, ensure_ascii=False))
open(path, 'w', encoding='utf-8').write(''.join(l + '\n' for l in out))
PY
  sed -i '/^tambelo-cli: voices that fall back in the synthesizer/d' "$1.err"
}

tracks=$(sed -n '2,$p' "$work/sample/amus.txt" | grep -c . || true)
compared=0
for set in sample cut noise no-voices empty; do
  for track in $(seq 0 $((tracks + 1))); do
    for command in "trace amus.dat $track --for-ms 20000" "dump amus.dat $track"; do
      # Relative paths: the folder is the same, whatever each side calls it.
      set +e
      (cd "$work/$set" && "$linux_cli" $command >"$work/linux.out" 2>"$work/linux.err")
      linux_status=$?
      (cd "$work/$set" && "$wine" "$windows_cli" $command >"$work/windows.out" 2>"$work/windows.err")
      windows_status=$?
      set -e
      case $command in dump*)
        # What the embedded synthesizer would play with belongs to each
        # build: Windows sends its sound to MIDI devices, whose presets no
        # one can read. The rest of the dump must agree.
        for side in linux windows; do
          platform_free "$work/$side"
        done ;;
      esac
      for stream in out err; do
        if ! cmp -s "$work/linux.$stream" "$work/windows.$stream"; then
          echo "$set: '$command' differs on std$stream:" >&2
          diff "$work/linux.$stream" "$work/windows.$stream" | head -n 10 >&2
          exit 1
        fi
      done
      if [ "$linux_status" != "$windows_status" ]; then
        echo "$set: '$command' ends with $linux_status on Linux, $windows_status on Windows" >&2
        exit 1
      fi
      compared=$((compared + 1))
    done
  done
done
# Proves that the Windows tool ran: an empty output on both sides would
# also compare equal.
if ! grep -q . "$work/sample/amus.txt" || [ "$compared" -lt 20 ]; then
  echo "too few runs compared ($compared)" >&2
  exit 1
fi
(cd "$work/sample" && "$wine" "$windows_cli" trace amus.dat 1 --for-ms 1000) | grep -q '^0 B0 78 00$' || {
  echo "tambelo-cli.exe printed no trace: it did not run" >&2
  exit 1
}
echo "trace and dump agree on $compared runs over 5 sets"
