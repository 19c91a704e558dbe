#!/usr/bin/env bash
# Installs what is missing, builds and starts Klingelwacht.
set -euo pipefail
cd "$(dirname "$0")"
source tools/packages.sh
kw_install_packages

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
exec build/app/klingelwacht
