#!/usr/bin/env bash
# Builds all three presets and runs every test: the host unit and scenario
# tests (under address and undefined-behaviour sanitizers), the import-table
# check of each Windows deliverable, and the Wine tests where they exist.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh all

for preset in host win32 win64; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j2
done

echo "== import tables"
deliverables=()
for f in build/win32/updater/Norbix.exe build/win32/keyprune/keyprune.exe; do
  [ -f "$f" ] && deliverables+=("$f")
done
tools/check-imports.sh --arch i686 "${deliverables[@]}"
if [ -f build/win64/hushrun64/hushrun64.exe ]; then
  tools/check-imports.sh --arch x86_64 build/win64/hushrun64/hushrun64.exe
fi

if [ -x tests/wine/run.sh ]; then
  echo "== wine"
  tests/wine/run.sh
fi

echo "== host tests"
ctest --test-dir build/host --output-on-failure -j2

if [ -x tests/wine32/run.sh ]; then
  echo "== wine32"
  tests/wine32/run.sh
fi
