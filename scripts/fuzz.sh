#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (libFuzzer + ASan + UBSan) and runs them.
#   scripts/fuzz.sh [seconds] [target ...]    default 300 s for each of every target
# Targets: text, all_between, resolve_link, settings, submit_answer. FUZZ_DIR picks the build
# folder (default build/fuzz); each target's corpus grows there, starting from fuzz/seeds.
# scripts/test.sh runs every target for a few seconds; this is for the long runs.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(text all_between resolve_link settings submit_answer)
dir=${FUZZ_DIR:-build/fuzz}

CC=${FUZZ_CC:-clang-14} CXX=${FUZZ_CXX:-clang++-14} \
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRIN_BUILD_FUZZ=ON >/dev/null
cmake --build "$dir" -j "$(nproc)" >/dev/null

for target in "${targets[@]}"; do
  corpus="$dir/corpus/$target"
  mkdir -p "$corpus"
  seeds=()
  [[ -d fuzz/seeds/$target ]] && seeds=("fuzz/seeds/$target")
  log="$dir/$target.log"
  if ! "$dir/fuzz/${target}_fuzz" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
      -artifact_prefix="$dir/$target-" "$corpus" "${seeds[@]}" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz: $target failed; the input is kept as $dir/$target-*" >&2
    exit 1
  fi
  echo "fuzz: $target clean, $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') runs in ${seconds} s"
done
