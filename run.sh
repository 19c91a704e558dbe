#!/usr/bin/env bash
# Installs what is missing, builds and starts Klingelwacht.
#   ./run.sh          the demo: capisim plays demo/calls.scenario on a free loopback port and
#                     Klingelwacht runs with a private HOME whose .capi20rc points at it
#   ./run.sh --line   Klingelwacht on the real line (your own HOME and ~/.capi20rc)
set -euo pipefail
cd "$(dirname "$0")"
source tools/packages.sh
kw_install_packages

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Only what the demo runs: the program and the CAPI peer.
cmake --build build -j"$(nproc)" --target klingelwacht capisim

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

build/tools/capisim/capisim --port 0 --port-file "$demo_home/port" \
    --transcript "$demo_home/transcript.txt" demo/calls.scenario &
sim_pid=$!
for _ in $(seq 1 100); do
    [ -s "$demo_home/port" ] && break
    kill -0 "$sim_pid" 2>/dev/null || { echo "capisim did not start" >&2; exit 1; }
    sleep 0.05
done
[ -s "$demo_home/port" ] || { echo "capisim did not start" >&2; exit 1; }

# libcapi20 drops the last character of every line: each line ends in a newline.
printf 'REMOTE fritzbox 127.0.0.1 %s\nTRACELEVEL 0\n' "$(cat "$demo_home/port")" >"$demo_home/.capi20rc"
echo "Demo: capisim on 127.0.0.1:$(cat "$demo_home/port"), transcript in $demo_home/transcript.txt"

# Not exec: capisim is ended when the program ends.
status=0
HOME="$demo_home" build/app/klingelwacht || status=$?
exit "$status"
