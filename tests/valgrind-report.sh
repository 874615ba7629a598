#!/bin/sh
# Sums up the memcheck logs in DIR (see valgrind-run.sh): prints each log
# that reports an error and fails then, or when there is no log at all.
dir=$1
set -- "$dir"/*.log
if [ ! -e "$1" ]; then
  echo "memcheck: no logs in $dir"
  exit 1
fi
bad=0
for log; do
  if ! grep -q "ERROR SUMMARY: 0 errors" "$log"; then
    echo "== $log"
    cat "$log"
    bad=$((bad + 1))
  fi
done
echo "memcheck: $# runs under valgrind, $bad with errors"
[ "$bad" -eq 0 ]
