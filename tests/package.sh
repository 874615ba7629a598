#!/usr/bin/env bash
# Builds the Debian package from a build tree and checks it: its control
# fields, that it holds the program, the manual page, the copyright file
# and the changelog, that the program in it runs, and, where lintian is
# installed, that lintian finds no error in it.
# Usage: package.sh CPACK BUILD_DIR VERSION
set -euo pipefail
cpack=$1 build=$2 version=$3
here=$(dirname "$0")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! "$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" > "$work/log" 2>&1; then
    cat "$work/log"
    echo "cpack failed"
    exit 1
fi
debs=("$work"/out/*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    cat "$work/log"
    echo "cpack made no single .deb: ${debs[*]}"
    exit 1
fi
deb=${debs[0]}
echo "$(basename "$deb"):"
dpkg-deb -f "$deb"
dpkg-deb -c "$deb"

failed=0
expect_field() {
    local value
    value=$(dpkg-deb -f "$deb" "$1")
    if ! [[ $value =~ $2 ]]; then
        echo "$1 is \"$value\", which does not match $2"
        failed=1
    fi
}
expect_field Package '^ferrik$'
expect_field Version "^${version//./\\.}\$"
expect_field Section '^utils$'
expect_field Maintainer '^.+ <.+@.+>$'
expect_field Depends '(^|, )libc6( |,|$)'
expect_field Description '^show the end of a file'

contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for path in ./usr/bin/ferrik ./usr/share/man/man1/ferrik.1.gz \
            ./usr/share/doc/ferrik/copyright ./usr/share/doc/ferrik/changelog.gz; do
    if ! grep -qxF "$path" <<<"$contents"; then
        echo "not in the package: $path"
        failed=1
    fi
done

dpkg-deb -x "$deb" "$work/root"
bash "$here/smoke.sh" "$work/root/usr/bin/ferrik" "$version" packaged || failed=1
changelog=$work/root/usr/share/doc/ferrik/changelog.gz
if [ -f "$changelog" ]; then
    latest=$(gzip -dc "$changelog" | sed -n '1s/^ferrik (\([^)]*\)).*/\1/p')
    if [ "$latest" != "$version" ]; then
        echo "the changelog's latest entry is for \"$latest\", not $version (packaging/changelog)"
        failed=1
    fi
fi

if command -v lintian >/dev/null; then
    # Errors are lines "E: ..."; warnings and notes are shown, not failed.
    # lintian exits with 2 for errors in the package, 1 when it cannot run.
    status=0
    lintian "$deb" > "$work/lintian" 2>&1 || status=$?
    echo "lintian:"
    cat "$work/lintian"
    if [ $status -eq 2 ] || grep -q '^E: ' "$work/lintian"; then
        echo "lintian reports errors in the package"
        failed=1
    elif [ $status -ne 0 ]; then
        echo "lintian could not check the package (exit code $status)"
        failed=1
    fi
else
    echo "lintian is not installed: the package was not checked with it"
fi
exit $failed
