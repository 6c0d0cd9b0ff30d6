# Helpers for the end-to-end flows: a private program folder, a private Xvfb,
# and a user's hands (xdotool) guided by the window's geometry file.
# Sourced by flows.sh; every wait polls with a generous upper bound.

# e2e_setup <KVNscan executable> <output folder>
# Makes $work (program folder with tmp/, home/, out/ and an empty SANE
# configuration), starts Xvfb and arranges clean-up and a failure screenshot.
e2e_setup() {
    exe="$1"
    outdir="$2"
    rm -rf "$outdir"
    mkdir -p "$outdir"
    work=$(mktemp -d)
    mkdir -p "$work/tmp" "$work/home" "$work/out" "$work/sane"
    # No backend listed: SANE finds no device, so the virtual scanner is used.
    : >"$work/sane/dll.conf"
    cp "$exe" "$work/KVNscan"
    # The picture decoder lives beside the program.
    cp "$(dirname "$exe")/kvnscan-decode" "$work/"
    geometry="$work/geometry.txt"
    pid=""
    xvfb_pid=""
    # The program keeps its last scan in its state folder: that is $TMPDIR here.
    mkdir -p "$work/state/kvnscan" && chmod 700 "$work/state/kvnscan"
    export TMPDIR="$work/state/kvnscan" XDG_STATE_HOME="$work/state" HOME="$work/home" SANE_CONFIG_DIR="$work/sane"
    export QT_QPA_PLATFORM=xcb KVNSCAN_DUMP_GEOMETRY="$geometry"
    unset SESSION_MANAGER XDG_RUNTIME_DIR
    trap e2e_cleanup EXIT
    trap 'exit 130' INT TERM
    # Xvfb picks a free display number itself (-displayfd) and reports it once
    # it accepts clients: tests running side by side can never share a server.
    # Without -noreset it resets when the last client leaves (our readiness
    # probe), and a program connecting just then is turned away.
    tries=0
    while :; do
        tries=$((tries + 1))
        [ "$tries" -le 5 ] || e2e_fail "no usable Xvfb"
        : >"$work/display"
        Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" >>"$work/xvfb.log" 2>&1 &
        xvfb_pid=$!
        k=0
        while [ "$k" -lt 150 ] && kill -0 "$xvfb_pid" 2>/dev/null && ! grep -q '^[0-9][0-9]*$' "$work/display"; do
            k=$((k + 1))
            sleep 0.2
        done
        if grep -q '^[0-9][0-9]*$' "$work/display" && kill -0 "$xvfb_pid" 2>/dev/null; then
            DISPLAY=":$(head -n 1 "$work/display")"
            export DISPLAY
            xdotool getdisplaygeometry >/dev/null 2>&1 && break
        fi
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=""
    done
}

e2e_cleanup() {
    status=$?
    if [ "$status" -ne 0 ]; then
        [ -n "${DISPLAY:-}" ] && import -display "$DISPLAY" -window root "$outdir/failed.png" 2>/dev/null || true
        [ -f "$work/program.log" ] && cp "$work/program.log" "$outdir/" 2>/dev/null
        [ -f "$geometry" ] && cp "$geometry" "$outdir/" 2>/dev/null
        [ -f "$work/KVNscan.ini" ] && cp "$work/KVNscan.ini" "$outdir/" 2>/dev/null
        [ -f "$work/xvfb.log" ] && cp "$work/xvfb.log" "$outdir/" 2>/dev/null
    fi
    # Only the processes this script started, by their ids.
    for p in $pid; do
        kill "$p" 2>/dev/null || true
    done
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
    exit "$status"
}

e2e_fail() {
    echo "FAILED: $*" >&2
    if [ -n "${xvfb_pid:-}" ] && ! kill -0 "$xvfb_pid" 2>/dev/null; then
        echo "(the X server $DISPLAY of this test is gone; something else ended it)" >&2
    fi
    if [ -f "$work/program.log" ]; then
        echo "--- program output ---" >&2
        cat "$work/program.log" >&2
    fi
    exit 1
}

# e2e_until <seconds> <what> <command...>: polls the command until it succeeds.
e2e_until() {
    limit=$(( $1 * 5 ))
    what="$2"
    shift 2
    n=0
    until "$@"; do
        n=$((n + 1))
        [ "$n" -lt "$limit" ] || e2e_fail "waited in vain for $what"
        sleep 0.2
    done
}

e2e_alive() { kill -0 "$pid" 2>/dev/null; }

# e2e_start: starts the program in its folder and waits for its window.
e2e_start() {
    rm -f "$geometry"
    (cd "$work" && exec ./KVNscan) >>"$work/program.log" 2>&1 &
    pid=$!
    child="$pid"
    e2e_wait_window "$pid"
}

# e2e_wait_window <pid>: sets $win to the scan window of that process.
e2e_wait_window() {
    win=""
    n=0
    while [ -z "$win" ]; do
        kill -0 "$1" 2>/dev/null || e2e_fail "the program ended before its window appeared"
        win=$(xdotool search --all --onlyvisible --pid "$1" --name "Vexlo Scan Tool" 2>/dev/null | head -n 1 || true)
        n=$((n + 1))
        [ -n "$win" ] || [ "$n" -lt 300 ] || e2e_fail "no scan window within 60 s"
        [ -n "$win" ] || sleep 0.2
    done
    e2e_until 30 "the geometry file" test -s "$geometry"
    # Let the window finish painting.
    sleep 0.5
}

# e2e_geom <name>: "x y width height visible enabled [value]" of a control.
e2e_geom() {
    sed -n "s/^$1 //p" "$geometry" 2>/dev/null | head -n 1
}

# e2e_value <name>: the value field of a control (may hold blanks).
e2e_value() {
    e2e_geom "$1" | cut -d' ' -f7-
}

e2e_ready() {
    g=$(e2e_geom "$1")
    [ -n "$g" ] && [ "$(printf "%s\n" "$g" | cut -d" " -f5,6)" = "1 1" ]
}

# e2e_click <name> [button]: clicks the middle of a visible, enabled control.
e2e_click() {
    # The geometry file follows the window four times a second.
    sleep 0.4
    e2e_until 30 "$1 to be visible and enabled" e2e_ready "$1"
    set -- "$1" "${2:-1}" $(e2e_geom "$1")
    xdotool mousemove --sync $(( $3 + $5 / 2 )) $(( $4 + $6 / 2 )) click "$2"
}

# e2e_check <name>: clicks the box of a check box or radio button (the control
# may be wider than its caption, and a click beside the caption does nothing).
e2e_check() {
    sleep 0.4
    e2e_until 30 "$1 to be visible and enabled" e2e_ready "$1"
    set -- "$1" $(e2e_geom "$1")
    xdotool mousemove --sync $(( $2 + 9 )) $(( $3 + $5 / 2 )) click 1
}

# e2e_type <name> <text>: replaces the text of an edit or spin edit.
e2e_type() {
    e2e_focus
    e2e_click "$1"
    xdotool key ctrl+a
    xdotool type --delay 30 "$2"
}

e2e_focus() { xdotool windowfocus --sync "$win" 2>/dev/null || xdotool windowfocus "$win"; }

e2e_value_is() { [ "$(e2e_value "$1")" = "$2" ]; }

# e2e_wait_value <name> <value>: waits until the control shows that value.
e2e_wait_value() {
    e2e_until 60 "$1 to read \"$2\" (it reads \"$(e2e_value "$1")\")" e2e_value_is "$1" "$2"
}

e2e_dialog_id() {
    # The caption is matched whole and literally ("?" ends several captions).
    re=$(printf '%s' "$1" | sed 's/[][\\.*^$?+(){}|]/\\&/g')
    xdotool search --all --onlyvisible --pid "$pid" --name "^$re\$" 2>/dev/null | head -n 1
}
e2e_dialog_shown() { [ -n "$(e2e_dialog_id "$1")" ]; }
e2e_dialog_gone() { [ -z "$(e2e_dialog_id "$1")" ]; }

# e2e_focus_dialog <caption>: keyboard focus to the shown dialog of that caption.
e2e_focus_dialog() {
    id=$(e2e_dialog_id "$1")
    xdotool windowfocus --sync "$id" 2>/dev/null || xdotool windowfocus "$id"
}

# e2e_answer <caption> <key> [screenshot]: answers a dialog of the program
# with a key, optionally photographing the screen first.
e2e_answer() {
    e2e_until 90 "a dialog \"$1\"" e2e_dialog_shown "$1"
    sleep 0.7
    [ -z "${3:-}" ] || import -window root "$3"
    e2e_focus_dialog "$1"
    xdotool key "$2"
    e2e_until 30 "the dialog \"$1\" to close" e2e_dialog_gone "$1"
}

# e2e_close: Sluiten (Escape), "Ja" when it asks about unsaved work; the
# program must end normally.
e2e_close() {
    e2e_focus
    xdotool key Escape
    k=0
    while [ "$k" -lt 10 ] && kill -0 "$pid" 2>/dev/null && ! e2e_dialog_shown Sluiten; do
        k=$((k + 1))
        sleep 0.2
    done
    ! e2e_dialog_shown Sluiten || e2e_answer Sluiten alt+j
    status=0
    if [ "$pid" = "${child:-}" ]; then
        wait "$pid" || status=$?
    else
        # Not our child (started by the restart script): only its end is seen.
        e2e_until 60 "the program to end" eval '! kill -0 "$pid" 2>/dev/null'
    fi
    p="$pid"
    pid=""
    [ "$status" -eq 0 ] || e2e_fail "the program $p ended with status $status"
}

# e2e_ini <key>: the value of a key in the settings file.
e2e_ini() {
    tr -d '\r' <"$work/KVNscan.ini" | sed -n "s/^$1=//p" | head -n 1
}

# e2e_settings <key=value>...: writes the settings file as the program does.
e2e_settings() {
    : >"$work/KVNscan.ini"
    for kv in "$@"; do
        printf '%s\r\n' "$kv" >>"$work/KVNscan.ini"
    done
}

# e2e_size <file>: "width height" of a picture file.
e2e_size() {
    identify -format '%w %h' "$1" 2>/dev/null
}
