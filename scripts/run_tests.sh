#!/usr/bin/env bash
# Every test: a release build and an AddressSanitizer + UndefinedBehaviorSanitizer
# build (clang, with the fuzz targets), all unit and integration tests in both,
# a short run of every fuzz target, and every benchmark once on small inputs.
# Expects the packages of scripts/build.sh to be installed.
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
jobs=$(nproc)
fuzz_seconds=${TAPWATCH_FUZZ_SECONDS:-30}

step() { printf '\n==== %s\n' "$*"; }

configure_and_build() {  # <dir> <cmake options...>
  local dir=$1
  shift
  mkdir -p "$dir"
  cmake -S "$top" -B "$dir" -G Ninja "$@" > "$dir/configure.log" 2>&1 ||
    { cat "$dir/configure.log"; return 1; }
  cmake --build "$dir" -j "$jobs"
}

# A display for the tests that need a real window; tests start their own
# window and compositing managers where they need them.
xvfb_pid=""
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT
if command -v Xvfb > /dev/null; then
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1600x1000x24 -nolisten tcp -noreset > /dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    sleep 1
    break
  done
fi

step "Release build"
configure_and_build build-release -DCMAKE_BUILD_TYPE=Release
step "Tests (release)"
(cd build-release && ctest -j "$jobs" --output-on-failure --timeout 600)

step "Sanitizer build (clang, ASan + UBSan, fuzz targets)"
CC=clang CXX=clang++ configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug \
  -DTAPWATCH_SANITIZE=ON -DTAPWATCH_FUZZ=ON -DTAPWATCH_BENCH=OFF
step "Tests (ASan + UBSan)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$top/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest -j "$jobs" --output-on-failure --timeout 900)

step "ThreadSanitizer build and run of the threaded intake and capture tests"
tsan_tests=(tests/intake/packet_intake_test tests/capture/capture_session_test
  tests/tools/live_console_test tests/app/capture_source_test)
mkdir -p build-tsan
CC=clang CXX=clang++ cmake -S "$top" -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DTAPWATCH_TSAN=ON -DTAPWATCH_GUI=OFF -DTAPWATCH_BENCH=OFF > build-tsan/configure.log 2>&1 ||
  { cat build-tsan/configure.log; exit 1; }
cmake --build build-tsan -j "$jobs" --target "${tsan_tests[@]##*/}"
for t in "${tsan_tests[@]}"; do
  echo "-- $t"
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 "build-tsan/$t" --gtest_brief=1
done

step "Fuzzing, ${fuzz_seconds}s per target"
shopt -s nullglob
for fuzzer in build-asan/fuzz/*_fuzz; do
  name=$(basename "$fuzzer" _fuzz)
  work=$(mktemp -d)
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/"
  echo "-- $name"
  "$fuzzer" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$work/" "$work" 2>&1 | tail -n 3
  rm -rf "$work"
done

step "Benchmarks, once on small inputs"
unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS
"$top/scripts/run_benchmarks.sh" build-release small

step "All tests passed"
