# Sourced by the live tests. With cli, server (scripts/private-audio-server.sh)
# and clicks (the click track's source folder) set:
#   start_private_server KIND
# makes a work folder that goes when the test ends, packs the click track
# into $work/set, starts a private server of KIND in $work/srv and exports
# what a client needs to reach it.
start_private_server() {
  work=$(mktemp -d)
  trap '"$server" stop "$work/srv" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
  "$cli" pack "$clicks" -o "$work/set" >/dev/null
  "$server" start "$1" "$work/srv" >/dev/null
  set -a; . "$work/srv/env"; set +a
}
