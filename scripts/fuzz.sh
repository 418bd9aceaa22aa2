#!/usr/bin/env bash
# Builds the fuzz targets (preset fuzz: clang, libFuzzer, ASan, UBSan) and
# runs each for SECONDS (default 60; 0 runs without a time limit, for a run
# bounded by FUZZ_ARGS such as -runs=10000000). TARGET... picks targets; by
# default all of them. Each target first replays its kept regression inputs
# (fuzz/regressions/TARGET/), then fuzzes from its seeds (fuzz/corpus/TARGET/)
# and what earlier runs here found (build/fuzz/work/TARGET/). An input that
# crashes or breaks a property is written to build/fuzz/findings/TARGET/;
# the script then exits non-zero, after the remaining targets have run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(firmware_name reply port_description)
read -r -a extra <<<"${FUZZ_ARGS:-}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null

failed=0
for t in "${targets[@]}"; do
    bin=build/fuzz/fuzz/fuzz_$t
    work=build/fuzz/work/$t
    findings=build/fuzz/findings/$t
    log=build/fuzz/logs/$t.log
    mkdir -p "$work" "$findings" "$(dirname "$log")"

    regressions=()
    if [ -d "fuzz/regressions/$t" ]; then
        while IFS= read -r -d '' f; do regressions+=("$f"); done \
            < <(find "fuzz/regressions/$t" -type f -print0 | sort -z)
    fi
    if [ ${#regressions[@]} -gt 0 ] && ! "$bin" "${regressions[@]}" >"$log" 2>&1; then
        echo "fuzz: $t: a kept regression input fails again:"
        grep -E "^Running:|property broken|runtime error|ERROR:|SUMMARY:" "$log" | tail -n 8
        failed=1
        continue
    fi

    if "$bin" -max_total_time="$seconds" -max_len=512 -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$findings/" "${extra[@]}" "$work" "fuzz/corpus/$t" >"$log" 2>&1; then
        execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        time=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log")
        echo "fuzz: $t: ${execs:-?} executions in ${time:-?} s, ${#regressions[@]} regression inputs, no finding"
    else
        echo "fuzz: $t: FINDING (input kept in $findings/, log in $log):"
        grep -E "property broken|runtime error|ERROR:|SUMMARY:|Test unit written" "$log" | head -n 8
        failed=1
    fi
done
exit "$failed"
