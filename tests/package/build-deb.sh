#!/usr/bin/env bash
# Builds the Debian package from a copy of the source tree, so that dpkg-buildpackage writes
# its outputs (it puts them beside the tree) into OUT_DIR and not beside the repository.
# Usage: build-deb.sh SOURCE_DIR OUT_DIR; prints the path of the .deb.
set -euo pipefail
src=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
tree="$out/klingelwacht"

rm -rf "$tree" "$out"/klingelwacht*.deb "$out"/klingelwacht*.ddeb "$out"/klingelwacht_*.buildinfo \
    "$out"/klingelwacht_*.changes
mkdir -p "$tree"
# The files a commit would hold: tracked and new ones, not the build trees.
if git -C "$src" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    (cd "$src" && git ls-files -z --cached --others --exclude-standard |
        tar --null --files-from=- --ignore-failed-read -cf -) | tar -xf - -C "$tree"
else
    (cd "$src" && tar --exclude='./build*' --exclude=./.git -cf - .) | tar -xf - -C "$tree"
fi

# A fixed path lets ccache hit on the next build.
if [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ] && command -v ccache >/dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
(cd "$tree" && dpkg-buildpackage -us -uc -b -j"$(nproc)") >"$out/dpkg-buildpackage.log" 2>&1 || {
    tail -n 60 "$out/dpkg-buildpackage.log" >&2
    exit 1
}
rm -rf "$tree"
deb=$(ls "$out"/klingelwacht_*.deb)
echo "$deb"
