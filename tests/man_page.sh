#!/usr/bin/env bash
# Checks of the manual page, doc/ferrik.1.
#   man_page.sh warnings SOURCE_DIR          groff renders it without a warning
#   man_page.sh version SOURCE_DIR VERSION   it names the program's version
#   man_page.sh messages SOURCE_DIR          it quotes every text the program
#                                            prints (cli/ and display/)
set -euo pipefail
check=$1
src=$2
page=$src/doc/ferrik.1

if ! command -v groff >/dev/null; then
    echo "groff is needed to check the manual page (Debian package groff)"
    exit 1
fi

case $check in
warnings)
    warnings=$(groff -man -Tutf8 -ww "$page" 2>&1 >/dev/null)
    if [ -n "$warnings" ]; then
        echo "groff warns about $page:"
        echo "$warnings"
        exit 1
    fi
    ;;
version)
    version=$3
    if ! grep -q "^\.TH FERRIK 1 [0-9-]* \"ferrik $version\"" "$page"; then
        echo "the .TH line of $page does not name ferrik $version:"
        grep '^\.TH' "$page" || true
        exit 1
    fi
    stale=$(grep -oE "ferrik [0-9]+\.[0-9]+\.[0-9]+" "$page" | grep -vxF "ferrik $version" || true)
    if [ -n "$stale" ]; then
        echo "$page names another version than ferrik $version:"
        echo "$stale"
        exit 1
    fi
    ;;
messages)
    # The page as a reader sees it, every run of white space made one blank,
    # so that a text the page wraps over two lines still matches.
    text=$(groff -man -Tutf8 -P-cbou "$page" 2>/dev/null | tr '\n\t' '  ' | tr -s ' ')
    missing=0
    # Each literal, its %s and %c placeholders taken out, leaves fragments
    # the page must show as they are.
    while IFS= read -r fragment; do
        if [ -n "$fragment" ] && [[ $text != *"$fragment"* ]]; then
            echo "not in $page: \"$fragment\""
            missing=1
        fi
    done < <(awk -f "$src/tests/source_literals.awk" "$src"/cli/*.cpp "$src"/display/*.cpp |
             sed -e 's/%[sc]/\n/g' -e 's/%%/%/g' |
             tr -s ' ' | sed -e 's/^ //' -e 's/ $//')
    if [ $missing -ne 0 ]; then
        exit 1
    fi
    ;;
*)
    echo "unknown check: $check"
    exit 2
    ;;
esac
