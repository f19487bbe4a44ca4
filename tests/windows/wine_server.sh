#!/bin/sh
# Starts a persistent Wine server (creating the prefix on first use) before
# the Windows tests, or stops it after them. Started here, with every stream
# closed, the server and Wine's helper processes do not inherit the pipes
# through which ctest reads a test's output; otherwise ctest would wait for
# them to end.
#   wine_server.sh start|stop WINE
set -e
case $1 in
  start)
    wineserver -p </dev/null >/dev/null 2>&1
    "$2" cmd /c exit </dev/null >/dev/null 2>&1
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
esac
