#!/usr/bin/env bash
# Installs what is missing, builds and starts Klingelwacht.
#   ./run.sh          the demo: capisim plays demo/calls.scenario on a free loopback port and
#                     Klingelwacht runs with a private HOME whose .capi20rc points at it
#   ./run.sh --line   Klingelwacht on the real line (your own HOME and ~/.capi20rc)
#   ./run.sh --router-demo
#                     the same kind of demo through the router's call monitor: routersim
#                     plays demo/router.scenario on a free loopback port and a copy of
#                     Klingelwacht in build/router-demo/ takes its calls from it
set -euo pipefail
cd "$(dirname "$0")"
source tools/packages.sh
kw_install_packages

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Only what the demos run: the program and the two peers.
cmake --build build -j"$(nproc)" --target klingelwacht capisim routersim

if [ "${1:-}" = "--line" ]; then
    exec build/app/klingelwacht
fi

demo_home="$(mktemp -d "${TMPDIR:-/tmp}/klingelwacht-demo.XXXXXX")"
sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$demo_home"
}
trap cleanup EXIT

# Starts build/tools/NAME/NAME on a free loopback port playing SCENARIO and waits for the
# port it chose.
start_peer() {
    local name=$1 scenario=$2
    shift 2
    "build/tools/$name/$name" --port 0 --port-file "$demo_home/port" \
        --transcript "$demo_home/transcript.txt" "$@" "$scenario" &
    sim_pid=$!
    for _ in $(seq 1 100); do
        [ -s "$demo_home/port" ] && return 0
        kill -0 "$sim_pid" 2>/dev/null || break
        sleep 0.05
    done
    echo "$name did not start" >&2
    exit 1
}

if [ "${1:-}" = "--router-demo" ]; then
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
    printf '[Telefonbuch]\r\nRouter=1\r\nBenutzer=demo\r\nTR064Port=%s\r\nLandesvorwahl=49\r\n' \
        "$(cat "$demo_home/tr064port")" >>"$demo_dir/klingelwacht.INI"
    echo "Router phonebooks: once, store the demo password \"demo\" in your keyring with"
    echo "  secret-tool store --label='Klingelwacht Router' application klingelwacht host 127.0.0.1 user demo"
    echo "Router demo: routersim on 127.0.0.1:$(cat "$demo_home/port"), calls in $demo_dir/caller.log"
    status=0
    HOME="$demo_home" "$demo_dir/klingelwacht" || status=$?
    exit "$status"
fi

start_peer capisim demo/calls.scenario

# libcapi20 drops the last character of every line: each line ends in a newline.
printf 'REMOTE fritzbox 127.0.0.1 %s\nTRACELEVEL 0\n' "$(cat "$demo_home/port")" >"$demo_home/.capi20rc"
echo "Demo: capisim on 127.0.0.1:$(cat "$demo_home/port"), transcript in $demo_home/transcript.txt"

# Not exec: capisim is ended when the program ends.
status=0
HOME="$demo_home" build/app/klingelwacht || status=$?
exit "$status"
