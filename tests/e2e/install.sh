#!/bin/sh
# The program installed as a desktop program: into a temporary prefix, started
# from there under Xvfb with a home of its own, closed with Escape.
#   install.sh <build folder> <output folder>
# Nothing may be written beside the installed executable; settings, carried
# scanner library and help file go to the user's folder ($XDG_CONFIG_HOME/kvnscan,
# else ~/.config/kvnscan).
set -eu
. "$(dirname "$0")/lib.sh"

build="$1"
e2e_setup "$build/bin/KVNscan" "$2"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
    e2e_fail "cmake --install failed: $(cat "$work/install.log")"
id=nl.kvnscan.kvnscan
for f in bin/KVNscan bin/kvnscan-decode share/kvnscan/kvnscan.chm share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
    share/icons/hicolor/scalable/apps/kvnscan.svg share/icons/hicolor/48x48/apps/kvnscan.png; do
    [ -s "$prefix/$f" ] || e2e_fail "not installed: $f"
done
if command -v desktop-file-validate >/dev/null 2>&1; then
    desktop-file-validate "$prefix/share/applications/$id.desktop" || e2e_fail "desktop entry invalid"
fi
if command -v appstreamcli >/dev/null 2>&1; then
    appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >"$work/appstream.log" 2>&1 ||
        e2e_fail "metainfo invalid: $(cat "$work/appstream.log")"
fi

# run_installed <folder the settings must land in>: starts and closes the installed
# program from a folder of its own (as a desktop entry would).
run_installed() {
    mkdir -p "$work/cwd"
    (cd "$work/cwd" && exec "$prefix/bin/KVNscan") >>"$work/program.log" 2>&1 &
    pid=$!
    child="$pid"
    e2e_wait_window "$pid"
    # The desktop ties the running window to its launcher by this class.
    wmclass=$(sed -n 's/^StartupWMClass=//p' "$prefix/share/applications/$id.desktop")
    [ -n "$wmclass" ] && xdotool search --class "^$wmclass\$" >/dev/null ||
        e2e_fail "no window of class '$wmclass' (StartupWMClass of the desktop entry)"
    e2e_close
    for f in KVNscan.ini eztw32.dll kvnscan.chm; do
        [ -s "$1/$f" ] || e2e_fail "no $f in the user's folder $1 (it holds: $(ls "$1" 2>&1 | tr '\n' ' '))"
    done
    got=$(ls -A "$prefix/bin" | tr '\n' ' ')
    [ "$got" = "KVNscan kvnscan-decode kvnscan-split " ] || e2e_fail "written beside the installed executable: $got"
    [ -z "$(ls -A "$work/cwd")" ] || e2e_fail "written into the starting folder: $(ls -A "$work/cwd")"
}

unset XDG_CONFIG_HOME
run_installed "$HOME/.config/kvnscan"
export XDG_CONFIG_HOME="$work/config"
run_installed "$XDG_CONFIG_HOME/kvnscan"
echo "e2e install passed"
