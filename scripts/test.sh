#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets everything up, builds, and runs the whole test suite: under AddressSanitizer and
# UndefinedBehaviorSanitizer with char unsigned (as on ARM), the threaded parts under
# ThreadSanitizer, each fuzz target for a short while, the suite on a machine kept busy, and
# finally the suite as users get it. Ends with the test summary.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# The fuzzers need clang and its libFuzzer; the package check validates the desktop entry and the
# AppStream metadata with their own validators and lays the manual pages out with groff; the
# loaded run keeps four processors' worth of work beside the suite.
bash scripts/install-packages.sh clang libclang-rt-dev desktop-file-utils appstream groff-base stress-ng

# Builds a configuration of its own in the given directory; the compiler's output goes to its log.
build() {
  local dir=$1
  shift
  mkdir -p "$dir"
  if ! { cmake -S . -B "$dir" -G Ninja "$@" && cmake --build "$dir" --parallel "$(nproc)"; } > "$dir/build.log" 2>&1; then
    tail -n 40 "$dir/build.log"
    echo "The build in $dir failed; the whole log is $dir/build.log." >&2
    exit 1
  fi
}

# char is unsigned on ARM (the Raspberry Pi) and signed here: this build takes ARM's, the
# others this machine's, so that the suite runs both ways at no extra cost.
echo "== The suite under AddressSanitizer and UndefinedBehaviorSanitizer, char unsigned as on ARM"
build build-asan -DCMAKE_BUILD_TYPE=Debug "-DSENTRAX_SANITIZE=address;undefined" -DCMAKE_CXX_FLAGS=-funsigned-char
# The tests that start the window as a program of its own keep whole allocation stacks: Qt 6.8
# leaves its desktop-portal query behind at exit, and only a whole stack shows that the leak is
# Qt's (tests/lsan.supp). Everywhere else the short stacks are kept: whole ones take ten times as
# long.
window='^(Program|Desktop)\.'
if ! (cd build-asan &&
  export LSAN_OPTIONS=suppressions=$PWD/../tests/lsan.supp UBSAN_OPTIONS=print_stacktrace=1 &&
  ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure --parallel 2 --timeout 900 -E "$window" > ctest.log 2>&1 &&
  ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0 ctest --output-on-failure --parallel 2 --timeout 900 \
    -R "$window" >> ctest.log 2>&1); then
  cat build-asan/ctest.log
  exit 1
fi
grep -E "tests passed|Total Test time" build-asan/ctest.log

echo "== The threaded parts under ThreadSanitizer"
build build-tsan -DCMAKE_BUILD_TYPE=Debug -DSENTRAX_SANITIZE=thread
for program in test_core test_serial test_link test_program; do
  TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp halt_on_error=1" build-tsan/bin/$program --gtest_brief=1
done

echo "== Fuzzing, 30 seconds a target"
CXX=clang++ build build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSENTRAX_BUILD_FUZZERS=ON \
  -DSENTRAX_BUILD_APP=OFF -DSENTRAX_BUILD_TESTS=OFF "-DSENTRAX_SANITIZE=address;undefined"
for target in receive catalog embedded lbserver telnet; do
  corpus=$(mktemp -d)
  cp fuzz/corpus/$target/* "$corpus"
  build-fuzz/bin/fuzz_$target -max_total_time=30 -print_final_stats=1 "$corpus" 2>&1 |
    grep -E "^stat::number_of_executed_units|ERROR|SUMMARY" | sed "s/^/$target: /"
  rm -rf "$corpus"
done

echo "== The suite on a busy machine (stress-ng keeps four processes busy beside it)"
stress-ng --cpu 4 --timeout 900s > /dev/null 2>&1 &
stress=$!
if ! (cd build && ctest --parallel 2 --timeout 600 > ctest-loaded.log 2>&1); then
  kill $stress 2>/dev/null || true
  cat build/ctest-loaded.log
  exit 1
fi
kill $stress 2>/dev/null || true
wait $stress 2>/dev/null || true
tail -n 3 build/ctest-loaded.log

echo "== The suite"
cd build
ctest --output-on-failure --parallel 2 --timeout 600
