#!/usr/bin/env bash
# A short libFuzzer run of each fuzz target (the INI reader, the per-field settings reader),
# built with clang in a build folder of its own. Fails when a target crashes.
#   FUZZ_SECONDS  time per target (30)     FUZZ_BUILD  build folder (build/fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${FUZZ_BUILD:-build/fuzz}
seconds=${FUZZ_SECONDS:-30}
targets=(ini fieldsettings)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_FUZZ=ON -DBUILD_TESTING=OFF \
    -DQM_BENCH=OFF -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j 2 --target "${targets[@]/#/fuzz_}"

for t in "${targets[@]}"; do
    # New inputs go into the first folder, so the committed seeds stay as they are.
    mkdir -p "$build/corpus/$t" "$build/artifacts"
    echo "== fuzz_$t for ${seconds}s"
    "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$t-" "$build/corpus/$t" "fuzz/corpus/$t"
done
