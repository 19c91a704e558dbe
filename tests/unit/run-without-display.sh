#!/bin/sh
# run.sh without a display ends at once, before it installs or builds anything, and names
# both ways on: a desktop session, or the headless demo.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$1/run.sh" 2>&1)
status=$?
printf '%s\n' "$out"
[ "$status" -eq 2 ] && printf '%s' "$out" | grep -qF "desktop session" &&
    printf '%s' "$out" | grep -qF "./run.sh --headless"
