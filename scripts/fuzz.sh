#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (ASan + UBSan) in
# build-fuzz, makes their seed corpora from the simulator, and runs each for
# a bounded time, keeping what it learns in build-fuzz/fuzz-work/.
# Usage: scripts/fuzz.sh [SECONDS]   (per target; default TALVEK_FUZZ_SECONDS or 30)
# A crash, leak or hang stops with status 1 and leaves the input beside the
# target's log; turn it into a test of the normal suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --fuzz
seconds=${1:-${TALVEK_FUZZ_SECONDS:-30}}
dir=build-fuzz
targets=(profile_decoder paged_download type1_stream command_line image_reader xml_escape)

if [ ! -f "$dir/CMakeCache.txt" ]; then
  generator=()
  if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
  CXX=clang++ cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTALVEK_FUZZ=ON -DTALVEK_GUI=OFF -DTALVEK_TESTS=OFF
fi
cmake --build "$dir" -j"$(nproc)" --target talvek_fuzz
rm -rf "$dir/corpus"
"$dir/fuzz/talvek_fuzz_seeds" "$dir/corpus"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for t in "${targets[@]}"; do
  work="$dir/fuzz-work/$t"
  log="$dir/fuzz-work/$t.log"
  mkdir -p "$work"
  if "$dir/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=25 -print_final_stats=1 \
      -artifact_prefix="$dir/fuzz-work/$t-" "$work" "$dir/corpus/$t" >"$log" 2>&1; then
    done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec:[[:space:]]*//p' "$log")
    runs=$(sed -n 's/^stat::number_of_executed_units:[[:space:]]*//p' "$log")
    cov=$(sed -n 's/.* cov: \([0-9]*\) ft: \([0-9]*\).*/cov: \1 ft: \2/p' <<<"$done_line")
    echo "fuzz: $t: $runs runs in ${seconds} s, $rate exec/s, $cov"
  else
    echo "fuzz: $t FAILED (input and log in $dir/fuzz-work/)"
    grep -E 'ERROR|SUMMARY|Test unit|#[0-9]+ 0x' "$log" | head -30
    status=1
  fi
done
exit $status
