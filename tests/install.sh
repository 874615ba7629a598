#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks what lands there: the
# program, which runs and prints its banner, the manual page (gzipped), and
# the copyright file and changelog.
# Usage: install.sh CMAKE BUILD_DIR SOURCE_DIR VERSION BINDIR MANDIR DOCDIR
set -euo pipefail
cmake=$1 build=$2 src=$3 version=$4 bindir=$5 mandir=$6 docdir=$7
here=$(dirname "$0")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

if ! "$cmake" --install "$build" --prefix "$prefix" > "$work/log" 2>&1; then
    cat "$work/log"
    echo "cmake --install failed"
    exit 1
fi

failed=0
bash "$here/smoke.sh" "$prefix/$bindir/ferrik" "$version" installed || failed=1
page=$prefix/$mandir/man1/ferrik.1.gz
if [ ! -f "$page" ]; then
    echo "not installed: $mandir/man1/ferrik.1.gz"
    failed=1
elif ! gzip -dc "$page" | cmp -s "$src/doc/ferrik.1" -; then
    echo "the installed manual page is not doc/ferrik.1 gzipped"
    failed=1
fi
for doc in copyright changelog.gz; do
    if [ ! -s "$prefix/$docdir/$doc" ]; then
        echo "not installed: $docdir/$doc"
        failed=1
    fi
done
if [ $failed -eq 0 ]; then
    echo "installed: $bindir/ferrik, $mandir/man1/ferrik.1.gz, $docdir/{copyright,changelog.gz}"
fi
exit $failed
