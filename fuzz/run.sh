#!/usr/bin/env bash
# A short libFuzzer run of each fuzz target (the INI reader, the per-field settings reader, the
# INI functions on a real file, the stand-in's database loader and its session reader, the change
# log's reader), built with clang in a build folder of its own. Fails when a target crashes.
#   FUZZ_SECONDS  time per target (20)     FUZZ_BUILD  build folder (build/fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${FUZZ_BUILD:-build/fuzz}
seconds=${FUZZ_SECONDS:-20}
targets=(ini fieldsettings inifile standindb session changelog)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_FUZZ=ON -DBUILD_TESTING=OFF \
    -DQM_BENCH=OFF -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j 2 --target "${targets[@]/#/fuzz_}"

passed=0
failed=0
for t in "${targets[@]}"; do
    # New inputs go into the first folder, so the committed seeds stay as they are.
    mkdir -p "$build/corpus/$t" "$build/artifacts"
    log="$build/fuzz_$t.log"
    if "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len=4096 -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$t-" "$build/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1; then
        echo "fuzz_$t: $(grep -m1 -o 'Done [0-9]* runs in [0-9]* second(s)' "$log"), no crash"
        passed=$((passed + 1))
    else
        echo "fuzz_$t FAILED; the end of its log ($log):"
        tail -n 40 "$log"
        failed=$((failed + 1))
    fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
