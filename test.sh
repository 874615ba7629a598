#!/usr/bin/env bash
# The test command.  Installs the Debian packages that building and testing
# need and that are missing (setup/packages), then builds ferrik and runs
# every test leg, each a workflow (cmake --workflow --preset LEG):
#   default   the release build and its tests, with the checks of the
#             manual page, `cmake --install` and the Debian package
#   asan      the suite under AddressSanitizer and UndefinedBehaviorSanitizer
#   windows   the end-to-end suite against the cross-built ferrik.exe under Wine
#   valgrind  the tests under valgrind memcheck
#   fuzz      short runs of the fuzzers
# A failing leg does not stop the others.  Each leg's output is also kept in
# build/logs/LEG.log.  The last line sums the tests of all legs,
# "N passed, N failed"; a leg that fails with no failed test (its configure
# or build step failed) counts as one failure, and so does a failed
# installation, which runs no leg.  The exit code is 0 only when every leg
# passed.
set -uo pipefail
cd "$(dirname "$0")"
trap 'exit 130' INT TERM

if ! setup/install-packages.sh build test; then
    echo "the packages the tests need could not be installed"
    echo "0 passed, 1 failed"
    exit 1
fi

legs=(default asan windows valgrind fuzz)
mkdir -p build/logs
passed=0 failed=0 report=()
for leg in "${legs[@]}"; do
    echo "=== leg $leg: cmake --workflow --preset $leg"
    log=build/logs/$leg.log
    start=$SECONDS
    cmake --workflow --preset "$leg" 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    # CTest ends with "P% tests passed, F tests failed out of T".
    counts=$(sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests* failed out of \([0-9]*\)$/\1 \2/p' "$log" |
             sed -n '$p')
    leg_failed=0 leg_total=0
    [ -z "$counts" ] || leg_failed=${counts% *} leg_total=${counts#* }
    leg_passed=$((leg_total - leg_failed))
    if [ "$status" -ne 0 ] && [ "$leg_failed" -eq 0 ]; then
        leg_failed=1
        verdict="FAILED before or after its tests (exit code $status)"
    elif [ "$status" -ne 0 ]; then
        verdict=FAILED
    else
        verdict=passed
    fi
    passed=$((passed + leg_passed)) failed=$((failed + leg_failed))
    report+=("$(printf 'leg %-9s %s: %d passed, %d failed, %d s' "$leg" "$verdict" \
                "$leg_passed" "$leg_failed" $((SECONDS - start)))")
    echo "=== ${report[-1]}"
done

echo
printf '%s\n' "${report[@]}"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
