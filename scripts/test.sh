#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice:
# a plain build and one under AddressSanitizer and UndefinedBehaviorSanitizer.
# The plain build's suite also makes the Debian package and checks it.
set -euo pipefail
cd "$(dirname "$0")/.."
# Debian's own tools check the package, its desktop entry, metadata and manual page.
bash scripts/install-deps.sh dpkg-dev file lintian desktop-file-utils appstream groff-base
jobs=$(nproc)
for variant in plain sanitize; do
    dir=build-test-$variant
    sanitize=OFF
    [ "$variant" = sanitize ] && sanitize=ON
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPVX_SANITIZE=$sanitize >/dev/null
    cmake --build "$dir" -j "$jobs"
    echo "== tests: $variant build"
    (cd "$dir" && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        ctest --output-on-failure -j "$jobs")
done
