#!/usr/bin/env bash
# The arrows run one way: app -> lines (capi, callmonitor) -> line; app -> calllog, ui,
# settings, phonebook; every room may use base. ui may use calllog's CallLine.h, MissedCall.h
# and CallCsv.h alone: the row format of a call, which its views split, the missed-call rule
# and the CSV form, without the log writer.
# Each room may include only the rooms (or single files) listed for it; prints every
# include that breaks this.
# base holds small utilities below everything; every room may include it.
set -uo pipefail
cd "$(dirname "$0")/.."
declare -A allowed=(
    [base]="base"
    [line]="line base"
    [capi]="capi line base"
    [callmonitor]="callmonitor line base"
    [calllog]="calllog base"
    [ui]="ui base calllog/CallLine.h calllog/MissedCall.h calllog/CallCsv.h"
    [settings]="settings base"
    [phonebook]="phonebook base"
    [tools/simcore]="tools/simcore base"
    [tools/capisim]="tools/capisim tools/simcore capi base"
    [tools/routersim]="tools/routersim tools/simcore base"
    [phonebook]="phonebook base"
)
rc=0
for room in "${!allowed[@]}"; do
    while IFS= read -r hit; do
        file=${hit%%:*}
        target=$(sed -n 's/.*#include "\([^"]*\)".*/\1/p' <<<"${hit#*:}")
        ok=0
        for r in ${allowed[$room]}; do
            [[ $target == "$r/"* || $target == "$r" ]] && ok=1
        done
        if [ $ok -eq 0 ]; then
            echo "layering: $file includes $target"
            rc=1
        fi
    done < <(git grep -n '#include "' -- "$room/*.cpp" "$room/*.h" 2>/dev/null)
done
exit $rc
