#!/usr/bin/env bash
# The quick-start command.  Installs the Debian packages that building
# needs and that are missing (setup/packages), builds ferrik (preset
# release, in build/release) and runs it with the arguments given, or,
# without any, on the sample log samples/app.log:
#   ./run.sh                    the last 400 bytes of the sample
#   ./run.sh -2000 -f app.log   any ferrik command line
# Everything but ferrik's own output goes to standard error, and the exit
# code is ferrik's.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)

(
    cd "$root"
    setup/install-packages.sh build
    cmake --preset release
    cmake --build --preset release
) >&2
[ $# -gt 0 ] || set -- "$root/samples/app.log"
exec "$root/build/release/ferrik" "$@"
