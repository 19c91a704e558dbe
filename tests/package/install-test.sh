#!/usr/bin/env bash
# The package as a user gets it: installed into a throwaway root with dpkg, its file list
# checked, the installed program run as an unprivileged user with their own HOME under Xvfb
# against capisim (one call must reach ~/.local/share/klingelwacht/caller.log, mode 0600),
# then purged without a file left behind.
# Usage: install-test.sh DEB CAPISIM APP_ID
set -uo pipefail

deb=$1
capisim=$2
app_id=$3
user=65534

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: dpkg --root and the change to an unprivileged user need root"
    exit 77
fi

work=$(mktemp -d)
chmod 755 "$work"
root="$work/root"
home="$work/home"
pids=()
cleanup() {
    local p
    for p in "${pids[@]}"; do
        kill -TERM "$p" 2>/dev/null
    done
    for p in "${pids[@]}"; do
        wait "$p" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
die() {
    echo "FAIL: $*"
    exit 1
}

# Polls a command every 0.1 s for up to $1 seconds.
wait_for() {
    local seconds=$1
    shift
    local i
    for ((i = 0; i < seconds * 10; i++)); do
        "$@" && return 0
        sleep 0.1
    done
    "$@"
}

dpkg_root() { dpkg --root="$root" --log="$work/dpkg.log" --force-depends "$@"; }
tree() { (cd "$root" && find . -path ./var/lib/dpkg -prune -o -print | sort); }

# --- Install ---------------------------------------------------------------------------
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
tree >"$work/before.txt"
dpkg_root -i "$deb" >"$work/install.out" 2>&1 || {
    cat "$work/install.out"
    die "dpkg -i failed"
}
status=$(dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Status}' klingelwacht)
[ "$status" = "install ok installed" ] || fail "package status is '$status'"
depends=$(dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Depends}' klingelwacht)
[[ ", $depends," == *", libcapi20-3,"* ]] || fail "Depends lacks libcapi20-3: $depends"

# --- The file list: exactly these files, each present and readable -------------------------
expected=(
    /etc/xdg/autostart/$app_id.desktop
    /usr/bin/klingelwacht
    /usr/share/applications/$app_id.desktop
    /usr/share/doc/klingelwacht/changelog.gz
    /usr/share/doc/klingelwacht/copyright
    /usr/share/doc/klingelwacht/klingelwacht.INI
    /usr/share/doc/klingelwacht/70-klingelwacht-uinput.rules
    /usr/share/man/man1/klingelwacht.1.gz
    /usr/share/metainfo/$app_id.metainfo.xml
    /usr/share/icons/hicolor/scalable/apps/$app_id.svg
)
for size in 16 22 24 32 48 64 128 256; do
    expected+=("/usr/share/icons/hicolor/${size}x$size/apps/$app_id.png")
done
printf '%s\n' "${expected[@]}" | sort >"$work/expected.txt"
dpkg-query --admindir="$root/var/lib/dpkg" -L klingelwacht |
    while read -r f; do [ -d "$root$f" ] || echo "$f"; done | sort >"$work/listed.txt"
diff -u "$work/expected.txt" "$work/listed.txt" || fail "the package's file list differs (- expected, + listed)"
for f in "${expected[@]}"; do
    [ -f "$root$f" ] || fail "$f is not installed"
done
[ -x "$root/usr/bin/klingelwacht" ] || fail "the program is not executable"
conffiles=$(dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Conffiles}' klingelwacht)
[[ $conffiles == *"/etc/xdg/autostart/$app_id.desktop"* ]] || fail "the autostart entry is no conffile"
grep -qx "Exec=klingelwacht" "$root/usr/share/applications/$app_id.desktop" || fail "menu entry: Exec"
grep -qx "Icon=$app_id" "$root/usr/share/applications/$app_id.desktop" || fail "menu entry: Icon"
grep -qx "Icon=$app_id" "$root/etc/xdg/autostart/$app_id.desktop" || fail "autostart entry: Icon"
grep -q "<id>$app_id</id>" "$root/usr/share/metainfo/$app_id.metainfo.xml" || fail "metainfo: id"
zcat "$root/usr/share/man/man1/klingelwacht.1.gz" | grep -q '^\.SH "EXIT STATUS"' || fail "man page"

# --- Run the installed program as an unprivileged user -----------------------------------
mkdir -p "$home/xdg"
chmod 700 "$home" "$home/xdg"

# Xvfb on a free display; it tells the number itself.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.err" &
pids+=($!)
wait_for 20 test -s "$work/display" || die "Xvfb did not start: $(cat "$work/xvfb.err")"
display=":$(head -n1 "$work/display")"

# One call; each step waits for the program's answer.
cat >"$work/scenario.txt" <<'SCENARIO'
wait-for LISTEN_REQ timeout=60
connect plci=0x101 called=345 calling=3012345 ton=0x21 pi=0x80
wait-for ALERT_REQ plci=0x101 timeout=60
disconnect plci=0x101 reason=0x349A
wait-for DISCONNECT_RESP plci=0x101 timeout=60
SCENARIO
# libcapi20 keeps its ApplID table for the whole machine: one of our own.
"$capisim" --port 0 --port-file "$work/port" --transcript "$work/transcript.txt" \
    --applid $((100 + $$ % 800)) "$work/scenario.txt" 2>"$work/capisim.err" &
pids+=($!)
wait_for 20 test -s "$work/port" || die "capisim did not start: $(cat "$work/capisim.err")"
# The library drops the last character of every line: each ends in a newline.
printf 'REMOTE fritzbox 127.0.0.1 %s\nTRACELEVEL 0\n' "$(cat "$work/port")" >"$home/.capi20rc"
chown -R "$user:$user" "$home"

setpriv --reuid=$user --regid=$user --clear-groups \
    env -i HOME="$home" XDG_RUNTIME_DIR="$home/xdg" DISPLAY="$display" QT_QPA_PLATFORM=xcb \
    LC_ALL=de_DE.UTF-8 PATH=/usr/bin:/bin "$root/usr/bin/klingelwacht" \
    >"$work/kw.out" 2>"$work/kw.err" &
app=$!
pids+=($app)

if ! wait_for 90 grep -q "DISCONNECT_RESP.*plci=0x101" "$work/transcript.txt"; then
    fail "the call was not answered to the end"
    echo "--- transcript"; cat "$work/transcript.txt"
fi
kill -TERM "$app"
for ((i = 0; i < 150; i++)); do
    kill -0 "$app" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$app" 2>/dev/null; then
    fail "the program did not end within 15 s of SIGTERM"
else
    wait "$app"
    code=$?
    [ "$code" -eq 0 ] || fail "the program exited with $code"
fi

data="$home/.local/share/klingelwacht"
log="$data/caller.log"
if [ -f "$log" ]; then
    [ "$(stat -c %a "$log")" = 600 ] || fail "caller.log has mode $(stat -c %a "$log"), not 600"
    [ "$(stat -c %u "$log")" = $user ] || fail "caller.log is not the user's"
    [ "$(stat -c %a "$data")" = 700 ] || fail "$data has mode $(stat -c %a "$data"), not 700"
    grep -qP '^03012345\t345\t\d\d\.\d\d\.\d{4}\t\d\d:\d\d:\d\d\tAngenommen am S0-Bus\r$' "$log" ||
        fail "the call's line is not in caller.log"
    grep -qP '^#  .*   Ende\r$' "$log" || fail "caller.log has no end marker"
else
    fail "no caller.log in $data"
fi
if [ "$failures" -gt 0 ]; then
    echo "--- klingelwacht's stderr"; cat "$work/kw.err"
    [ -f "$log" ] && { echo "--- caller.log"; cat -A "$log"; }
fi

# --- Purge: nothing of the package stays -------------------------------------------------
dpkg_root --purge klingelwacht >"$work/purge.out" 2>&1 || {
    cat "$work/purge.out"
    die "dpkg --purge failed"
}
tree >"$work/after.txt"
diff -u "$work/before.txt" "$work/after.txt" || fail "files left behind after the purge (+)"
left=$(cd "$root/var/lib/dpkg/info" && ls klingelwacht.* 2>/dev/null)
[ -z "$left" ] || fail "dpkg still holds files of the package: $left"
dpkg-query --admindir="$root/var/lib/dpkg" -W klingelwacht >/dev/null 2>&1 &&
    fail "dpkg still knows the package after the purge"

[ "$failures" -eq 0 ] || exit 1
echo "PASS: installed, $(wc -l <"$work/listed.txt") files, one call logged, purged clean"
