#!/usr/bin/env bash
# Installs what is missing, builds Porvix and starts it with the given arguments.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPVX_TESTS=OFF >/dev/null
cmake --build build --target porvix
exec ./build/porvix "$@"
