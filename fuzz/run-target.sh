#!/usr/bin/env bash
# Fuzzes one target for SECONDS: the libFuzzer command line of both the
# smoke tests and fuzz/fuzz.sh.  OUT is the fuzz directory of a build tree
# (build/fuzz/fuzz): the target is OUT/TARGET_fuzz, new inputs go to
# OUT/corpus/TARGET, a failing input to OUT/artifacts/TARGET-crash-*; the
# seeds in fuzz/corpus/TARGET are only read.  Exits non-zero on a finding.
#   fuzz/run-target.sh OUT TARGET SECONDS
set -euo pipefail
out=$1 target=$2 seconds=$3
src=$(cd "$(dirname "$0")" && pwd)

dict=()
[ -f "$src/$target.dict" ] && dict=("-dict=$src/$target.dict")
mkdir -p "$out/corpus/$target" "$out/artifacts"
exec "$out/${target}_fuzz" -max_total_time="$seconds" -timeout=20 -print_final_stats=1 \
    "${dict[@]}" -artifact_prefix="$out/artifacts/$target-" \
    "$out/corpus/$target" "$src/corpus/$target"
