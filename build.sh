#!/usr/bin/env bash
# Wendul's one entry for setting up, building, running and testing.
#   ./build.sh run [editor options]   install what is missing, build, start the editor
#   ./build.sh test                   install what is missing, build, run every test
#   ./build.sh bench [filter]         build and run the benchmarks (on demand)
#   ./build.sh sanitize               every test under AddressSanitizer and UBSan
#   ./build.sh fuzz [target] [secs]   build the libFuzzer targets (clang) and run them
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake g++ make pkg-config qt6-base-dev libsqlite3-dev libicu-dev
          libgtest-dev libgmock-dev libbenchmark-dev libpcre2-dev libuchardet-dev
          libxcb1-dev libxcb-xkb-dev libmecab-dev mecab-ipadic-utf8 fonts-ipafont-gothic)
# The real window through real input methods (tests/ime/).
IME_TEST_PACKAGES=(xvfb xdotool x11-xkb-utils dbus-daemon dbus-bin dbus-x11 sqlite3 openbox
                   ibus ibus-mozc mozc-server mozc-utils-gui fcitx5 fcitx5-mozc fcitx5-frontend-qt6)
BENCH_PACKAGES=(manpages-ja man-db groff-base)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

install_missing() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

build() {
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j2
}

cmd=${1:-run}; shift || true
case "$cmd" in
  run)
    install_missing "${PACKAGES[@]}" qt6-translations-l10n
    build build -DWENDUL_BUILD_TESTS=OFF
    exec ./build/app/wendul "$@"
    ;;
  test)
    install_missing "${PACKAGES[@]}" "${IME_TEST_PACKAGES[@]}"
    build build-test -DWENDUL_BUILD_TESTS=ON
    cd build-test
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 300
    ;;
  bench)
    install_missing "${PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
    build build-bench -DWENDUL_BUILD_TESTS=OFF -DWENDUL_BUILD_BENCH=ON
    for b in build-bench/bench/*_bench; do
      echo "== $b"
      "$b" --benchmark_filter="${1:-.}" || exit 1
    done
    ;;
  sanitize)
    install_missing "${PACKAGES[@]}"
    build build-sanitize -DWENDUL_BUILD_TESTS=ON -DWENDUL_SANITIZE=ON
    cd build-sanitize
    # A finding stops the test with a report instead of passing silently.
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    export LSAN_OPTIONS=suppressions=$PWD/../tests/lsan.supp
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 900
    ;;
  fuzz)
    install_missing "${PACKAGES[@]}" clang
    exec tests/fuzz/run_fuzz.sh "$@"
    ;;
  *)
    echo "usage: $0 run|test|bench|sanitize|fuzz" >&2; exit 2 ;;
esac
