#!/usr/bin/env bash
# Builds Quillmark with AddressSanitizer and UBSan, warnings as errors, and runs every test,
# then a short run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
jobs=$(nproc)

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQM_SANITIZE=ON -DQM_WERROR=ON -DQM_BENCH=OFF >/dev/null
cmake --build build/asan -j "$jobs"
export QT_QPA_PLATFORM=offscreen
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
ctest --test-dir build/asan --output-on-failure -j "$jobs"

if [ -f fuzz/run.sh ]; then
    bash fuzz/run.sh
fi
