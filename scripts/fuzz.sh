#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz (clang, ASan + UBSan) and runs
# each on its committed seed corpus, then fuzzes it for a while.
#
#   scripts/fuzz.sh [--seconds N] [--parallel P] [TARGET...]
#
# --seconds N   fuzzing time per target after its seeds (default 60)
# --parallel P  targets run at once (default: the number of cores)
# TARGET        names from build/fuzz/fuzz-targets.txt (default: all)
#
# New inputs that reach new code go to build/fuzz/corpus/TARGET, crashes to
# build/fuzz/crashes/. Exit status 1 when a target found a crash: add the
# input to tests/fuzz/corpus/TARGET/ together with the fix.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
parallel=$(nproc)
while (($#)); do
    case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --parallel) parallel=$2; shift 2 ;;
    --help | -h) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) break ;;
    esac
done
[[ $seconds =~ ^[0-9]+$ && $parallel =~ ^[1-9][0-9]*$ ]] || { echo "fuzz.sh: bad arguments" >&2; exit 2; }

build=build/fuzz
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
    -DDF_FUZZ=ON -DBUILD_TESTING=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target fuzz_all

targets=("$@")
((${#targets[@]})) || mapfile -t targets <"$build/fuzz-targets.txt"
mkdir -p "$build/crashes" "$build/logs"
export QT_QPA_PLATFORM=offscreen
export LSAN_OPTIONS=suppressions=$PWD/tests/fuzz/lsan.supp

run_target() { # name
    local name=$1
    mkdir -p "$build/corpus/$name"
    "$build/tests/fuzz/fuzz_$name" "$build/corpus/$name" "tests/fuzz/corpus/$name" \
        -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/crashes/$name-" >"$build/logs/$name.log" 2>&1
}

for name in "${targets[@]}"; do
    [[ -x $build/tests/fuzz/fuzz_$name ]] || { echo "fuzz.sh: no target '$name'" >&2; exit 2; }
done

declare -A pids=()
for name in "${targets[@]}"; do
    while (($(jobs -rp | wc -l) >= parallel)); do wait -n || true; done
    run_target "$name" &
    pids[$name]=$!
done

failed=0
for name in "${targets[@]}"; do
    code=0
    wait "${pids[$name]}" || code=$?
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/logs/$name.log")
    if ((code == 0)); then
        printf '%-16s %10s executions in %s s; %s inputs found so far beyond the seeds\n' "$name" \
            "${executions:-?}" "$seconds" "$(find "$build/corpus/$name" -type f | wc -l)"
    else
        failed=1
        echo "FAIL $name (exit $code); log $build/logs/$name.log:"
        grep -E 'ERROR|check failed|artifact' "$build/logs/$name.log" | head -5
    fi
done
exit "$failed"
