#!/bin/sh
# Runs a program under valgrind memcheck: FERRIK_RUNNER for the end-to-end
# and soak tests, and the runner of the unit tests in the valgrind preset.
# With FERRIK_VALGRIND_LOGS set, each run logs to its own file there (read
# by valgrind-report.sh, since a run that a test ends with SIGTERM has no
# exit code to fail with); otherwise to standard error.
#
# The log is opened here on descriptor 9 rather than by valgrind: valgrind
# would open it on the lowest free descriptor, which is standard output
# when a test closes it, and the program's output would land in the log.
if [ -n "${FERRIK_VALGRIND_LOGS:-}" ]; then
  mkdir -p "$FERRIK_VALGRIND_LOGS"
  exec 9>"$FERRIK_VALGRIND_LOGS/$$.log"
  set -- --log-fd=9 "$@"
fi
exec valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
  --errors-for-leak-kinds=definite,indirect --track-origins=yes \
  --suppressions="$(dirname "$0")/valgrind.supp" "$@"
