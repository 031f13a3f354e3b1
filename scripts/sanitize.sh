#!/usr/bin/env bash
# Builds the whole suite with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/
# and runs it headless. A finding ends the process that made it, so its test fails; the
# report is in that test's output. Arguments go to ctest (-R NAME runs only matching tests).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --packages-only
if [ ! -f build-asan/CMakeCache.txt ]; then
    echo "Configuring the sanitized build in build-asan/"
    launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHUBRIX_SANITIZE=ON "${launcher[@]}" \
        >/dev/null
fi
cmake --build build-asan -j"$(nproc)"
# Qt's and the system's libraries keep caches for the whole run, which the leak checker would
# count; the program's own objects are checked by the address checks all the same.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
QT_QPA_PLATFORM=offscreen ctest --test-dir build-asan --output-on-failure -j"$(nproc)" "$@"
