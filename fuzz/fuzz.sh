#!/usr/bin/env bash
# Fuzzes each target for SECONDS (default 600) with the clang build of the
# fuzz preset.  New inputs collect in build/fuzz/fuzz/corpus/TARGET, a
# failing input is saved as build/fuzz/fuzz/artifacts/TARGET-crash-*, and
# the whole log goes to build/fuzz/fuzz/TARGET.log.
#   fuzz/fuzz.sh [SECONDS] [TARGET...]     TARGET: arguments, display
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(arguments display)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
out=build/fuzz/fuzz
status=0
for t in "${targets[@]}"; do
  echo "== $t: $seconds s"
  if ! fuzz/run-target.sh "$out" "$t" "$seconds" >"$out/$t.log" 2>&1; then
    status=1
    grep -A12 -E "_fuzz: |ERROR:" "$out/$t.log" | head -40 || true
  fi
  grep -E "^Done |^stat::(number_of_executed_units|average_exec_per_sec|new_units_added)" \
    "$out/$t.log" || true
done
exit $status
