#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a bounded time, each on a
# fresh copy of its seed corpus, and fails on the first finding (a crash, a
# sanitizer report, a slow input or a memory blow-up).
#   run-fuzz.sh BUILD_DIR [SECONDS_PER_TARGET]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
seconds=${2:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
artifacts="$build/fuzz-findings"
mkdir -p "$artifacts"

for target in fuzz_score_compiler fuzz_voice_set fuzz_page_archive fuzz_score_language fuzz_title_list \
    fuzz_render_api fuzz_midi_import fuzz_set_identity fuzz_soundfont_presets; do
  corpus="$work/$target"
  cp -r "$root/fuzz/corpus/$target" "$corpus"
  echo "--- $target for ${seconds}s"
  if ! "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$artifacts/$target-" "$corpus" >"$work/$target.log" 2>&1; then
    tail -n 60 "$work/$target.log"
    echo "run-fuzz.sh: $target found a problem; the input is in $artifacts" >&2
    exit 1
  fi
  grep -E '^Done' "$work/$target.log" || true
done
