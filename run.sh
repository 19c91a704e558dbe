#!/usr/bin/env bash
# Installs what is missing, builds and starts Klingelwacht.
#   ./run.sh          the demo: capisim plays demo/calls.scenario on a free loopback port and
#                     Klingelwacht runs with a private HOME whose .capi20rc points at it
#   ./run.sh --headless
#                     the same demo without a desktop: under Xvfb, every call printed as it
#                     is logged; ends when the demo's calls are done
#   ./run.sh --line   Klingelwacht on the real line (your own HOME and ~/.capi20rc)
#   ./run.sh --router-demo
#                     the same kind of demo through the router's call monitor: routersim
#                     plays demo/router.scenario on a free loopback port and a copy of
#                     Klingelwacht in build/router-demo/ takes its calls from it
set -euo pipefail
cd "$(dirname "$0")"
mode=${1:-}

# A desktop program needs a desktop: say so before anything is installed or built, instead
# of letting Qt abort without a display.
if [ "$mode" != --headless ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<'MSG'
run.sh: no display (neither DISPLAY nor WAYLAND_DISPLAY is set).
Klingelwacht is a desktop program. Either run ./run.sh inside a desktop session (X11 or
Wayland), or run

    ./run.sh --headless

which plays the same demo under Xvfb and prints every call as it is logged.
MSG
    exit 2
fi

source tools/packages.sh
kw_install_packages "${KW_PACKAGES[@]}"

# Tests and benchmarks are test.sh's: their frameworks are not installed here.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKW_BUILD_TESTS=OFF \
    -DKW_BUILD_BENCH=OFF >/dev/null
# Only what the demos run: the program and the two peers.
cmake --build build -j"$(nproc)" --target klingelwacht capisim routersim

if [ "$mode" = --line ]; then
    exec build/app/klingelwacht
fi

demo_home="$(mktemp -d "${TMPDIR:-/tmp}/klingelwacht-demo.XXXXXX")"
sim_pid=""
app_pid=""
xvfb_pid=""
# Ends what the script started, by PID: the program, the peer, the X server.
stop_pid() {
    if [ -n "$1" ]; then
        kill "$1" 2>/dev/null || true
        wait "$1" 2>/dev/null || true
    fi
}
cleanup() {
    stop_pid "$app_pid"
    stop_pid "$sim_pid"
    stop_pid "$xvfb_pid"
    rm -rf "$demo_home"
}
trap cleanup EXIT

# Starts build/tools/NAME/NAME on a free loopback port playing SCENARIO (more options may
# follow) and waits for the port it chose. Its stderr goes to $peer_err when set.
peer_err=/dev/stderr
start_peer() {
    local name=$1 scenario=$2
    shift 2
    "build/tools/$name/$name" --port 0 --port-file "$demo_home/port" \
        --transcript "$demo_home/transcript.txt" "$@" "$scenario" 2>"$peer_err" &
    sim_pid=$!
    for _ in $(seq 1 100); do
        [ -s "$demo_home/port" ] && return 0
        kill -0 "$sim_pid" 2>/dev/null || break
        sleep 0.05
    done
    echo "$name did not start" >&2
    exit 1
}

# The demos open the call list at once: a demo is there to be watched.
show=--show-window

if [ "$mode" = --router-demo ]; then
    # A copy of its own: the settings file and caller.log lie next to the executable.
    demo_dir=build/router-demo
    mkdir -p "$demo_dir"
    cp build/app/klingelwacht "$demo_dir/klingelwacht"
    # The router's TR-064 side serves two phonebooks to the user "demo" (password "demo").
    start_peer routersim demo/router.scenario --tr064-port-file "$demo_home/tr064port" \
        --user demo --password demo \
        --phonebook demo/router-telefonbuch.xml --phonebook demo/router-firma.xml
    printf '[Anrufmonitor]\r\nHost=127.0.0.1\r\nPort=%s\r\n' "$(cat "$demo_home/port")" \
        >"$demo_dir/klingelwacht.INI"
    # Names from the demo's vCard folder and the router's phonebooks, places for the rest.
    printf '[Telefonbuch]\r\nvCard1=%s\r\nRouter=1\r\nBenutzer=demo\r\nTR064Port=%s\r\nOrtsvorwahl=030\r\nLandesvorwahl=49\r\n' \
        "$PWD/demo/Kontakte" "$(cat "$demo_home/tr064port")" >>"$demo_dir/klingelwacht.INI"
    echo "Router phonebooks: once, store the demo password \"demo\" in your keyring with"
    echo "  secret-tool store --label='Klingelwacht Router' application klingelwacht host 127.0.0.1 user demo"
    echo "Router demo: routersim on 127.0.0.1:$(cat "$demo_home/port"), calls in $demo_dir/caller.log"
    status=0
    HOME="$demo_home" "$demo_dir/klingelwacht" "$show" || status=$?
    exit "$status"
fi

if [ "$mode" = --headless ]; then
    # capisim ends once the program has answered the last clearing: the demo is done. Only
    # the calls are printed, not its traffic.
    peer_err="$demo_home/capisim.err"
    start_peer capisim demo/calls.scenario --exit-at-end
else
    start_peer capisim demo/calls.scenario
fi

# libcapi20 drops the last character of every line: each line ends in a newline.
printf 'REMOTE fritzbox 127.0.0.1 %s\nTRACELEVEL 0\n' "$(cat "$demo_home/port")" >"$demo_home/.capi20rc"
echo "Demo: capisim on 127.0.0.1:$(cat "$demo_home/port"), transcript in $demo_home/transcript.txt"

if [ "$mode" != --headless ]; then
    # Not exec: capisim is ended when the program ends.
    status=0
    HOME="$demo_home" build/app/klingelwacht "$show" || status=$?
    exit "$status"
fi

# Headless: a copy of the program with a log of its own, on an X server of its own.
demo_dir=build/headless-demo
mkdir -p "$demo_dir"
cp build/app/klingelwacht "$demo_dir/klingelwacht"
rm -f "$demo_dir/caller.log"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$demo_home/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 1 100); do
    [ -s "$demo_home/display" ] && break
    sleep 0.05
done
[ -s "$demo_home/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
env -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS DISPLAY=":$(cat "$demo_home/display")" \
    QT_QPA_PLATFORM=xcb HOME="$demo_home" "$demo_dir/klingelwacht" "$show" \
    2>"$demo_home/klingelwacht.err" &
app_pid=$!
echo "Headless demo: the calls as they are logged to $demo_dir/caller.log"

# Prints the log's complete lines that are new since the last look.
printed=0
print_new() {
    local lines
    [ -f "$demo_dir/caller.log" ] || return 0
    lines=$(wc -l <"$demo_dir/caller.log")
    if [ "$lines" -gt "$printed" ]; then
        sed -n "$((printed + 1)),${lines}p" "$demo_dir/caller.log" | tr -d '\r'
        printed=$lines
    fi
}
while kill -0 "$sim_pid" 2>/dev/null && kill -0 "$app_pid" 2>/dev/null; do
    print_new
    sleep 0.5
done
if ! kill -0 "$app_pid" 2>/dev/null; then
    status=0
    wait "$app_pid" || status=$?
    app_pid=""
    print_new
    echo "Klingelwacht ended early (status $status):" >&2
    cat "$demo_home/klingelwacht.err" >&2
    exit 1
fi
wait "$sim_pid" || true
sim_pid=""
# The last record reaches the file a moment after the answer went out.
sleep 1
kill -TERM "$app_pid"
status=0
wait "$app_pid" || status=$?
app_pid=""
print_new
echo "Demo done."
exit "$status"
