#!/usr/bin/env bash
# Installs what is missing, checks formatting and layering, builds the program twice
# (warnings as errors; ASan+UBSan) and runs every test of both builds through ctest, runs
# the fuzzers, runs the threaded parts' tests under ThreadSanitizer, then builds the Debian
# package and runs the package tests on it.
#
#     ./test.sh            every stage
#     ./test.sh STAGE      one stage: format, asan, fuzz, tsan, release or package
#                          (package needs the release build)
set -uo pipefail
cd "$(dirname "$0")"
stage=${1:-all}
case $stage in
all | format | asan | fuzz | tsan | release | package) ;;
*)
    echo "usage: $0 [format|asan|fuzz|tsan|release|package]" >&2
    exit 2
    ;;
esac
source tools/packages.sh
kw_install_packages "${KW_PACKAGES[@]}" "${KW_TEST_PACKAGES[@]}" || exit 1

jobs=$(nproc)
rc=0
wants() { [ "$stage" = all ] || [ "$stage" = "$1" ]; }

# Configures quietly, but shows everything when configuring fails.
configure() {
    local out
    if ! out=$(cmake "$@" 2>&1); then
        echo "$out"
        echo "cmake configure failed: $*"
        exit 1
    fi
}

if wants format; then
    echo "== clang-format"
    mapfile -t sources < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find . -name '*.cpp' -o -name '*.h')
    if ! clang-format-14 --dry-run --Werror "${sources[@]}"; then
        echo "clang-format: files need formatting"
        rc=1
    fi
    echo "== layering"
    tools/check-layering.sh || rc=1
fi

runtime=$(mktemp -d)
chmod 700 "$runtime"
trap 'rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR="$runtime"
export QT_QPA_PLATFORM=offscreen
unset DBUS_SESSION_BUS_ADDRESS

if wants asan; then
    echo "== ASan+UBSan build"
    configure -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKW_WERROR=ON -DKW_SANITIZE=ON \
        -DKW_BUILD_BENCH=OFF
    cmake --build build-asan -j"$jobs" || exit 1
    echo "== ASan+UBSan tests"
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --test-dir build-asan -j"$jobs" --output-on-failure --timeout 300 -LE package || rc=1
fi

if wants fuzz; then
    echo "== Fuzzing (libFuzzer, ASan+UBSan), ${KW_FUZZ_SECONDS:-60} s per target"
    CC=clang-14 CXX=clang++-14 configure -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKW_FUZZ=ON -DKW_BUILD_BENCH=OFF -DKW_FUZZ_SECONDS="${KW_FUZZ_SECONDS:-60}"
    cmake --build build-fuzz -j"$jobs" --target kw_fuzzers || exit 1
    ctest --test-dir build-fuzz -j"$jobs" --output-on-failure || rc=1
fi

# The parts with threads of their own: their test programs, and the tests in them (a ctest
# regex) that ThreadSanitizer runs. A new threaded part adds its program and its tests here.
tsan_targets=(capi_unit_tests calllog_unit_tests phonebook_unit_tests)
tsan_tests='CapiWorker|CapiLine|CallLog|PhonebookTest'

if wants tsan; then
    echo "== ThreadSanitizer build (${tsan_targets[*]})"
    tsan_start=$SECONDS
    configure -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKW_WERROR=ON -DKW_TSAN=ON \
        -DKW_BUILD_BENCH=OFF
    cmake --build build-tsan -j"$jobs" --target "${tsan_targets[@]}" || exit 1
    echo "== ThreadSanitizer tests ($tsan_tests)"
    # Reports inside Qt, GLib and libdbus (not built with TSan) are suppressed; ours never.
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tools/tsan.supp" \
        ctest --test-dir build-tsan -j"$jobs" --output-on-failure --timeout 300 -R "$tsan_tests" || rc=1
    echo "== ThreadSanitizer stage took $((SECONDS - tsan_start)) s"
fi

if wants release || wants package; then
    echo "== Release build"
    configure -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKW_WERROR=ON \
        -DKW_BUILD_TESTS=ON -DKW_BUILD_BENCH=ON
    cmake --build build -j"$jobs" || exit 1
fi
if wants release; then
    echo "== Tests"
    ctest --test-dir build -j"$jobs" --output-on-failure --timeout 300 -LE package || rc=1
fi

if wants package; then
    echo "== Debian package"
    # Built from a copy of the tree inside the build directory: dpkg-buildpackage puts its
    # outputs beside the tree it builds, which must not be the repository's parent.
    if deb=$(tests/package/build-deb.sh . build/tests/package/deb); then
        echo "$deb"
        KW_DEB="$deb" ctest --test-dir build --output-on-failure --timeout 300 -L package || rc=1
    else
        echo "dpkg-buildpackage failed"
        rc=1
    fi
fi
exit $rc
