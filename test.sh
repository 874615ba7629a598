#!/usr/bin/env bash
# Builds ferrik and runs every test leg: the release build, the same suite
# under AddressSanitizer and UndefinedBehaviorSanitizer, and the end-to-end
# suite against the cross-built ferrik.exe under Wine, the tests under
# valgrind memcheck, and short runs of the fuzzers.
set -euo pipefail
cd "$(dirname "$0")"
cmake --workflow --preset default
cmake --workflow --preset asan
cmake --workflow --preset windows
cmake --workflow --preset valgrind
cmake --workflow --preset fuzz
