#!/usr/bin/env bash
# Builds the first-directory reader's fuzz target natively (clang, libFuzzer, ASan, UBSan)
# and runs it for SECONDS on a corpus seeded with the project's TIFFs (and the shared
# corpus beside the checkout, where it is there).
#   run-fuzzer.sh SOURCE_DIR WORK_DIR SECONDS
# Exit 0: no finding; 1: a finding (the input is in WORK_DIR, crash-*); 77: no clang here.
set -euo pipefail
source_dir=$(cd "$1" && pwd) seconds=$3
mkdir -p "$2"
work=$(cd "$2" && pwd)
compiler=$(command -v clang++ || command -v clang++-14 || true)
if [ -z "$compiler" ]; then
  echo "SKIPPED: no clang++ on this machine (packages clang and libclang-rt-14-dev)"
  exit 77
fi
mkdir -p "$work/corpus"
fuzzer="$work/tiff_directory_fuzzer"
if [ ! -x "$fuzzer" ] || [ "$source_dir/src/decode/TiffDirectory.cpp" -nt "$fuzzer" ] ||
   [ "$source_dir/src/decode/TiffDirectory.h" -nt "$fuzzer" ] || [ "$source_dir/tests/fuzz/TiffDirectoryFuzzer.cpp" -nt "$fuzzer" ]; then
  "$compiler" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I "$source_dir/src" "$source_dir/src/decode/TiffDirectory.cpp" "$source_dir/tests/fuzz/TiffDirectoryFuzzer.cpp" \
    -o "$fuzzer"
fi
seeds=("$source_dir/tests/data" "$source_dir/tests/data/hostile")
[ -d "$source_dir/../shared/corpus" ] && seeds+=("$source_dir/../shared/corpus")
cd "$work"
# The first folder gathers what the fuzzer finds new; the others only seed it.
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 \
  corpus "${seeds[@]}"
