#!/usr/bin/env bash
# Checks that an installed or packaged ferrik runs: without arguments it
# prints the banner first (then a message and the usage text) and exits
# with 255.  Says what is wrong and exits 1 otherwise.
#   smoke.sh PROGRAM VERSION WHAT     (WHAT names it in messages)
set -euo pipefail
program=$1 version=$2 what=$3

if [ ! -x "$program" ]; then
    echo "the $what ferrik is missing or not executable: $program"
    exit 1
fi
status=0
output=$("$program" </dev/null) || status=$?
banner=${output%%$'\n'*}
failed=0
if [ "$banner" != "ferrik $version" ]; then
    echo "the $what ferrik printed \"$banner\" first, not \"ferrik $version\""
    failed=1
fi
if [ $status -ne 255 ]; then
    echo "the $what ferrik without arguments exited with $status, not 255"
    failed=1
fi
exit $failed
