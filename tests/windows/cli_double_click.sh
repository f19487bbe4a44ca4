#!/usr/bin/env bash
# tambelo-cli.exe started as a double click starts it: without arguments, in
# a console of its own (Wine gives it one on a pseudo-terminal). It must show
# its commands and wait for Enter rather than close the console at once.
#   cli_double_click.sh WINE WINDOWS_CLI
set -euo pipefail
wine=$1 cli=$2
fail() { echo "FAIL: $*"; exit 1; }
status=0
# Enter, again and again until the program has read one and ended.
enter() { for _ in $(seq 60); do sleep 2; printf '\r'; done; }
screen=$(timeout 150 script -qec "$wine $cli" /dev/null < <(enter) 2>&1) || status=$?
# The console draws character by character, moving the cursor over blanks:
# compare the text without its escape sequences and blanks.
text=$(sed -E 's/\x1b\[[0-9;?]*[A-Za-z]//g' <<<"$screen" | tr -d ' \r\n')
[ "$status" -eq 0 ] || fail "ended with status $status: $text"
[[ "$text" == *"list"*"PressEntertoclosethiswindow."* ]] || fail "no commands and no wait for Enter: $text"
echo "a double click shows the commands and waits for Enter"
