#!/usr/bin/env bash
# Builds the text fuzzer with clang (libFuzzer + ASan + UBSan) and runs it.
#   scripts/fuzz.sh [seconds]    default 300; FUZZ_DIR picks the build folder (default build/fuzz)
# Not part of the normal build or of scripts/test.sh: it runs for minutes, not seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
dir=${FUZZ_DIR:-build/fuzz}
mkdir -p "$dir/corpus"

# clang cannot take -fexec-charset=GB18030; the fuzzed sources keep their GBK bytes as escapes.
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -Wall -Wextra -I. \
  fuzz/text_fuzz.cpp runtime/text_ops.cpp web/between.cpp \
  -o "$dir/text_fuzz"

"$dir/text_fuzz" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
  -artifact_prefix="$dir/" "$dir/corpus"
