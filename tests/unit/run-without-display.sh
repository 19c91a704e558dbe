#!/bin/sh
# run.sh without a display ends at once, before it installs or builds anything, and names
# both ways on: a desktop session, or the headless demo.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$1/run.sh" 2>&1)
status=$?
if [ "$status" -ne 2 ]; then
    echo "exit status $status, not 2: $out"
    exit 1
fi
for words in "desktop session" "./run.sh --headless"; do
    if ! printf '%s\n' "$out" | grep -qF -- "$words"; then
        echo "no \"$words\" in: $out"
        exit 1
    fi
done
