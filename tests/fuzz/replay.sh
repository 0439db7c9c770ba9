#!/usr/bin/env bash
# Builds the libFuzzer targets into build/fuzz with clang++ and runs every input of each
# corpus through its target once (no fuzzing). Exits non-zero when a build fails or an
# input crashes, leaks, hangs or trips a sanitizer.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
# An optional argument names a build folder configured with -DVOLTRANE_FUZZ=ON already
# (CI builds the sanitized tests and the targets in one folder).
build="${1:-$root/build/fuzz}"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DVOLTRANE_FUZZ=ON -DVOLTRANE_TESTS=OFF \
    -DVOLTRANE_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target fuzz_splitter fuzz_xml fuzz_cache_record fuzz_zip_open fuzz_check

failed=0
for target in splitter xml cache_record zip_open check; do
  inputs=("$here/corpus/$target"/*)
  log="$build/replay-$target.log"
  # Artifacts of a failing input go to the build folder, not into the source tree.
  if "$build/tests/fuzz/fuzz_$target" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/replay-$target-" "${inputs[@]}" >"$log" 2>&1; then
    echo "fuzz_$target: ${#inputs[@]} inputs replayed"
  else
    echo "fuzz_$target: FAILED (log: $log)"
    grep -E "ERROR|Running:|SUMMARY|fuzz_" "$log" | tail -20 || true
    failed=1
  fi
done
exit $failed
