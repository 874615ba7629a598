#!/usr/bin/env bash
# Builds ferrik and runs every test leg: the release build, then the same
# suite under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
cmake --workflow --preset default
cmake --workflow --preset asan
# Then the unit tests, and ferrik in the end-to-end and soak tests, under
# valgrind memcheck; and short runs of the libFuzzer targets (clang).
cmake --workflow --preset valgrind
cmake --workflow --preset fuzz
