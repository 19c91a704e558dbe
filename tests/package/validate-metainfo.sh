#!/bin/sh
# appstreamcli passes a file with infos (a missing content rating is one): any error, warning
# or info is a finding here.
out=$(appstreamcli validate --no-net "$1" 2>&1)
status=$?
printf '%s\n' "$out"
[ "$status" -eq 0 ] && ! printf '%s\n' "$out" | grep -q '^[EWI]:'
