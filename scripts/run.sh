#!/usr/bin/env bash
# Builds Quillmark and starts it on the bundled demo ACT! database (starting the ACT! stand-in
# on it when no stand-in session runs).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DQM_BENCH=OFF >/dev/null
cmake --build build/release

standin=build/release/bin/act-standin
if ! "$standin" status --quiet; then
    "$standin" start
fi
"$standin" status
exec build/release/bin/quillmark "$@"
