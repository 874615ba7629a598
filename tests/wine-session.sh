#!/bin/sh
# Prepares and ends the Wine session of the Wine tests, for the prefix named
# in WINEPREFIX.
#
#   wine-session.sh start WINESERVER WINE
#       creates the prefix when it is new (the slow part, once per build
#       tree), and keeps a server running for the tests.  The server and the
#       services it starts get none of the caller's pipes.
#   wine-session.sh stop WINESERVER
#       ends that server and waits until it has gone.
#   wine-session.sh locale DIR
#       compiles the ja_JP.UTF-8 locale into DIR, for LOCPATH.
set -eu
case $1 in
start)
    mkdir -p "$WINEPREFIX"
    # A server left by an earlier run that did not get to stop goes first.
    "$2" -k </dev/null >/dev/null 2>&1 || true
    "$2" -w </dev/null >/dev/null 2>&1 || true
    # Ends by itself 60 s after its last client, should stop never run.
    "$2" -p60 </dev/null >/dev/null 2>&1 || { echo "cannot start $2" >&2; exit 1; }
    "$3" wineboot --init </dev/null >/dev/null 2>&1 || { echo "wineboot failed" >&2; exit 1; }
    ;;
stop)
    "$2" -k </dev/null >/dev/null 2>&1 || true
    "$2" -w </dev/null >/dev/null 2>&1 || true
    ;;
locale)
    mkdir -p "$2"
    localedef -i ja_JP -f UTF-8 "$2/ja_JP.UTF-8"
    ;;
esac
