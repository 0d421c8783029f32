#!/usr/bin/env bash
# Runs every Wine test script (tests/wine/test_*.sh), each in its own
# throwaway prefix, and ends with a "N passed, N failed" line.
set -u
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -x /usr/lib/wine/wine64 ]; then
  echo "wine: /usr/lib/wine/wine64 missing"
  exit 1
fi
passed=0
failed=0
log=$(mktemp)
for t in "$here"/test_*.sh; do
  [ -e "$t" ] || continue
  echo "-- $(basename "$t")"
  bash "$t" >"$log" 2>&1
  rc=$?
  cat "$log"
  p=$(grep -c '^PASS ' "$log")
  f=$(grep -c '^FAIL ' "$log")
  if [ $rc -ne 0 ] && [ "$f" -eq 0 ]; then
    echo "FAIL $(basename "$t"): exit $rc"
    f=1
  fi
  passed=$((passed + p))
  failed=$((failed + f))
done
rm -f "$log"
echo "wine: $passed passed, $failed failed"
[ $failed -eq 0 ]
