#!/bin/sh
# desktop-file-validate exits 0 on warnings and hints: any output is a finding here.
out=$(desktop-file-validate "$1" 2>&1)
status=$?
[ -z "$out" ] || printf '%s\n' "$out"
[ "$status" -eq 0 ] && [ -z "$out" ]
