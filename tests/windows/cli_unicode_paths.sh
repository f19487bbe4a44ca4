#!/usr/bin/env bash
# tambelo-cli.exe under Wine, on a code page without Japanese (1252), with
# Japanese folder and file names: list reads the set, export -o creates the
# named folder and writes into it, and messages show paths as written (one
# backslash each, the names themselves); a path that begins with / is a
# path. Also --version.
#   cli_unicode_paths.sh WINE WINDOWS_CLI SAMPLE_SET WORK_DIR VERSION
set -euo pipefail
wine=$1 cli=$2 sample=$3 work=$4 version=$5
fail() { echo "FAIL: $*"; exit 1; }
windows_path() { local path="Z:$1"; echo "${path//\//\\}"; }

rm -rf "$work"
folder="$work/ゲーム 第二作"
mkdir -p "$folder"
for kind in dat mda txt; do cp "$sample/amus.$kind" "$folder/曲集 ソフト.$kind"; done
score=$(windows_path "$folder/曲集 ソフト.dat")

listed=$("$wine" "$cli" list "$score" | tr -d '\r') || fail "list $score failed"
first_title=$(grep -a -m1 '^1 ' "$sample/amus.txt" | tr -d '\r' | cut -c3-)
[[ "$listed" == *"$first_title"* ]] || fail "list $score shows no track 1 ('$first_title'): $listed"

out_dir="$work/出力 先"
status=0
"$wine" "$cli" export "$score" 1 -o "$(windows_path "$out_dir")" >"$work/export.out" 2>&1 || status=$?
[ "$status" -eq 0 ] || fail "export -o failed: $(tr -d '\r' <"$work/export.out")"
ls "$out_dir"/01*.mid >/dev/null 2>&1 || fail "no 01*.mid in $out_dir: $(ls -R "$work")"
[ -s "$(ls "$out_dir"/01*.mid | head -n1)" ] || fail "the exported file is empty"

missing=$(windows_path "$folder/無い.dat")
status=0
message=$("$wine" "$cli" list "$missing" 2>&1 >/dev/null | tr -d '\r') || status=$?
[ "$status" -eq 1 ] || fail "list of a missing file ended with status $status"
[ "$message" = "tambelo-cli: no such file: $missing" ] || fail "the message is '$message'"

# A root-relative path (drive Z:, as the working folder's), the way
# PowerShell and Unix-like shells on Windows write it: a path, not an option.
rooted=$(cd "$work" && "$wine" "$cli" list "$folder/曲集 ソフト.dat" 2>&1 | tr -d '\r') ||
  fail "list of the root-relative path $folder/曲集 ソフト.dat failed: $rooted"
[[ "$rooted" == *"$first_title"* ]] || fail "list of a root-relative path shows no track 1: $rooted"

shown=$("$wine" "$cli" --version | tr -d '\r')
[ "$shown" = "tambelo-cli $version" ] || fail "--version prints '$shown'"
echo "Japanese paths are listed, exported to and shown as written"
