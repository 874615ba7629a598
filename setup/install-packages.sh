#!/usr/bin/env bash
# Installs the Debian packages of the named groups (setup/packages) that are
# not installed yet; does nothing, not even `apt-get update`, when all are.
# Runs apt-get as root, or through sudo for any other user.
#   setup/install-packages.sh GROUP...
set -euo pipefail
list=$(dirname "$0")/packages
[ $# -gt 0 ] || { echo "usage: $0 GROUP..." >&2; exit 2; }

wanted=$(awk -v groups=" $* " '!/^#/ && NF == 2 && index(groups, " " $1 " ") { print $2 }' "$list")
[ -n "$wanted" ] || { echo "$0: no package in group $*" >&2; exit 2; }
missing=()
for p in $wanted; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0

if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null; then
    as_root=(sudo)
else
    echo "these Debian packages are missing: ${missing[*]}" >&2
    echo "install them as root (apt-get install ${missing[*]}), or install sudo" >&2
    exit 1
fi
echo "installing ${missing[*]}"
"${as_root[@]}" apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
