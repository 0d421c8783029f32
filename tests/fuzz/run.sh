#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (address and undefined
# sanitizers) and runs each for a while: tests/fuzz/run.sh [SECONDS]
# Not part of scripts/test.sh; needs clang (apt-get install clang).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-30}
out=$root/build/fuzz
mkdir -p "$out"
flags=(-std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -I"$root/updater" -I"$root" -I"$root/platform/include")
package=("$root"/updater/package/dat_text.cpp "$root"/updater/package/eeprom_block.cpp
         "$root"/updater/package/update_format.cpp "$root"/updater/package/dfu_crc.cpp
         "$root"/updater/package/version_text.cpp)
clang++ "${flags[@]}" "$root/tests/fuzz/dat_text_fuzz.cpp" "${package[@]}" -o "$out/dat_text_fuzz"
clang++ "${flags[@]}" "$root/tests/fuzz/update_image_fuzz.cpp" "${package[@]}" -o "$out/update_image_fuzz"
clang++ "${flags[@]}" "$root/tests/fuzz/keyprune_command_line_fuzz.cpp" \
  "$root/keyprune/command_line.cpp" -o "$out/keyprune_command_line_fuzz"
for target in dat_text_fuzz update_image_fuzz keyprune_command_line_fuzz; do
  mkdir -p "$out/corpus-$target"
  echo "== $target"
  "$out/$target" -max_total_time="$seconds" -max_len=70000 "$out/corpus-$target" 2>&1 | tail -3
done
