#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UBSan on) and
# runs each for RUNS executions or SECS seconds, whichever comes first, one
# after another at the lowest priority. Findings stop the target and are
# kept as build-fuzz/findings/<target>/crash-*.
#   tests/fuzz/run_fuzz.sh [target|all] [secs] [runs]
set -euo pipefail
cd "$(dirname "$0")/../.."
which=${1:-all}
secs=${2:-1800}
runs=${3:-10000000}

CXX=${CXX:-clang++} cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER="${CXX:-clang++}" -DWENDUL_FUZZ=ON -DWENDUL_BUILD_TESTS=OFF >/dev/null
nice -n 19 cmake --build build-fuzz -j2 --target fuzz_all

targets=()
for src in tests/fuzz/fuzz_*.cpp; do
  t=$(basename "$src" .cpp)
  [ "$which" = all ] || [ "$which" = "$t" ] && targets+=("$t")
done
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz target named $which" >&2; exit 2; }

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for t in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$t
  findings=build-fuzz/findings/$t
  mkdir -p "$corpus" "$findings" build-fuzz/logs
  # The seeds in the repository stay as they are; what the fuzzer learns goes to the build folder.
  dict=()
  [ -f "tests/fuzz/$t.dict" ] && dict=(-dict="tests/fuzz/$t.dict")
  log=build-fuzz/logs/$t.log
  set +e
  nice -n 19 "build-fuzz/tests/fuzz/$t" "$corpus" "tests/fuzz/corpus/$t" "${dict[@]}" \
    -runs="$runs" -max_total_time="$secs" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$findings/" -print_final_stats=1 >"$log" 2>&1
  rc=$?
  set -e
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  took=$(sed -n 's/.*Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
  if [ $rc -eq 0 ]; then
    printf '%-16s %12s executions  %6ss  clean\n' "$t" "${execs:-?}" "${took:-?}"
  else
    printf '%-16s %12s executions  FINDING (rc %d), see %s\n' "$t" "${execs:-?}" "$rc" "$log"
    status=1
  fi
done
exit $status
