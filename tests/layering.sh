#!/bin/sh
# The cores know no widgets: fails listing every symbol a core library takes
# from Qt's widget library or from our dialogs, and every widget or dialogs
# library it links.
# usage: layering.sh <Qt6Widgets library> <libkvn_dialogs.a> {<core .a> "<its link libraries>"}...
set -u
widgets=$1
dialogs=$2
shift 2
tmp=$(mktemp -d) || exit 2
trap 'rm -rf "$tmp"' EXIT

# What those two define (functions and data; weak copies of inline code are everyone's).
{ nm -D --defined-only "$widgets" && nm --defined-only "$dialogs"; } >"$tmp/defined" || exit 2
# Shared library names carry their version (@@Qt_6); the static ones' do not.
awk 'NF >= 3 && $2 ~ /^[TDBR]$/ { sub(/@.*/, "", $3); print $3 }' "$tmp/defined" | sort -u >"$tmp/forbidden"
[ -s "$tmp/forbidden" ] || { echo "no symbols read from $widgets and $dialogs"; exit 2; }

status=0
while [ $# -ge 2 ]; do
    lib=$1
    links=$2
    shift 2
    nm -u "$lib" >"$tmp/undefined" || exit 2
    awk '$1 == "U" { print $2 }' "$tmp/undefined" | sort -u | comm -12 - "$tmp/forbidden" >"$tmp/found"
    if [ -s "$tmp/found" ]; then
        echo "$(basename "$lib") uses widgets or dialogs:"
        c++filt <"$tmp/found" | sed 's/^/    /'
        status=1
    fi
    for l in $links; do
        case $l in
        *Widgets* | *kvn_dialogs* | *kvn_scanner* | *kvn_scanwindow* | *eztw32*)
            echo "$(basename "$lib") links $l"
            status=1
            ;;
        esac
    done
done
[ $# -eq 0 ] || { echo "a library without its link list: $1"; exit 2; }
exit $status
