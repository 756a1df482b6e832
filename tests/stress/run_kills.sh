#!/usr/bin/env bash
# SIGKILL at random moments while learning, while importing a word book and
# while saving a day file and while saving a document,
# RUNS times each (default 60), at the lowest priority; prints the figures.
#   tests/stress/run_kills.sh [runs] [seed]
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-60}
seed=${2:-14}
cmake -S . -B build-test -DWENDUL_BUILD_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
nice -n 19 cmake --build build-test -j2 --target kill_stress
status=0
for mode in learn import dayfile docsave; do
  nice -n 19 build-test/tests/kill_stress "$mode" "$runs" "$seed" || status=1
done
exit $status
