#!/usr/bin/env bash
# Line coverage of the product code by the whole test suite: builds with clang's source-based
# coverage into build/coverage, runs every test through ctest (the test binary and the real
# executable it starts each write their own profile into one folder), merges the profiles and
# reports the product folders only.
#   tools/coverage.sh            build, run, report
#   JOBS=2 tools/coverage.sh     build with two jobs (default: one)
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/coverage
profiles="$PWD/$build/profiles"
flags="-fprofile-instr-generate -fcoverage-mapping"
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVOLTRANE_TESTS=ON -DVOLTRANE_BENCH=OFF -DVOLTRANE_FUZZ=OFF "${launcher[@]}" \
  "-DCMAKE_CXX_FLAGS=$flags" "-DCMAKE_EXE_LINKER_FLAGS=$flags" >/dev/null
# Without CCACHE_BASEDIR: ccache would make the source paths relative, and the report could
# then neither merge a header's two spellings nor tell product from test files.
env -u CCACHE_BASEDIR cmake --build "$build" -j"${JOBS:-1}"

# Profiles of an earlier run would count twice.
rm -rf "$profiles"
mkdir -p "$profiles"
# Every process, the test binary and each executable it starts, writes its own profile into
# one folder (the children inherit the variable). %p names it by process; %m merges a later
# process that gets the same id (the machine's other work makes ids wrap) instead of losing
# the first one's counts.
# Left out: the runs that limit the file size to 100 bytes, less than the executable's profile,
# whose failed write then adds the profile runtime's complaint to the output the test checks.
# Their children's profiles are lost anyway, so the product figure loses nothing.
# A failing test still leaves its profile: report the coverage, then fail.
status=0
LLVM_PROFILE_FILE="$profiles/%p-%m.profraw" ctest --test-dir "$build" -j2 \
  -E '^Faults\.FullDiskEndsTheRunNamingOnlyTheDestination$' \
  --output-on-failure >"$build/ctest.log" 2>&1 || status=$?
grep -E '^[0-9]+% tests passed|\(Failed\)|\(Timeout\)' "$build/ctest.log" || true

llvm-profdata merge -sparse --failure-mode=all "$profiles"/*.profraw -o "$build/voltrane.profdata"
report=$(llvm-cov report "$build/cli/voltrane" -object "$build/tests/voltrane_tests" \
  -instr-profile="$build/voltrane.profdata" \
  -ignore-filename-regex="^$PWD/(tests|bench|build)/" -ignore-filename-regex='^/usr/')
echo "$report"
echo "$report" | awk '$1 == "TOTAL" { sub(/%$/, "", $10); printf "product line coverage: %s %%\n", $10 }'
exit "$status"
