#!/usr/bin/env bash
# Builds the Debian package from a build tree and checks it: its control
# fields, that it holds the program and the manual page, and that the
# program in it runs.
# Usage: package.sh CPACK BUILD_DIR VERSION
set -euo pipefail
cpack=$1 build=$2 version=$3

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
for path in ./usr/bin/ferrik ./usr/share/man/man1/ferrik.1; do
    if ! grep -qxF "$path" <<<"$contents"; then
        echo "not in the package: $path"
        failed=1
    fi
done

dpkg-deb -x "$deb" "$work/root"
status=0
output=$("$work/root/usr/bin/ferrik" </dev/null) || status=$?
if [ "${output%%$'\n'*}" != "ferrik $version" ] || [ $status -ne 255 ]; then
    echo "the packaged ferrik without arguments printed \"${output%%$'\n'*}\" and exited with $status"
    failed=1
fi
exit $failed
