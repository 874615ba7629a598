#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks what lands there: the
# program, which runs and prints its banner, and the manual page.
# Usage: install.sh CMAKE BUILD_DIR SOURCE_DIR VERSION BINDIR MANDIR
set -euo pipefail
cmake=$1 build=$2 src=$3 version=$4 bindir=$5 mandir=$6

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

if ! "$cmake" --install "$build" --prefix "$prefix" > "$work/log" 2>&1; then
    cat "$work/log"
    echo "cmake --install failed"
    exit 1
fi

failed=0
program=$prefix/$bindir/ferrik
page=$prefix/$mandir/man1/ferrik.1
if [ ! -x "$program" ]; then
    echo "not installed: $bindir/ferrik"
    failed=1
else
    # Without arguments: the banner, a message and the usage text, exit 255.
    status=0
    output=$("$program" </dev/null) || status=$?
    banner=${output%%$'\n'*}
    if [ "$banner" != "ferrik $version" ]; then
        echo "the installed ferrik printed \"$banner\" first, not \"ferrik $version\""
        failed=1
    fi
    if [ $status -ne 255 ]; then
        echo "the installed ferrik without arguments exited with $status, not 255"
        failed=1
    fi
fi
if [ ! -f "$page" ]; then
    echo "not installed: $mandir/man1/ferrik.1"
    failed=1
elif ! cmp -s "$src/doc/ferrik.1" "$page"; then
    echo "the installed manual page differs from doc/ferrik.1"
    failed=1
fi
if [ $failed -eq 0 ]; then
    echo "installed: $bindir/ferrik, $mandir/man1/ferrik.1"
fi
exit $failed
