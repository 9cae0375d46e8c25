#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds from scratch and runs every test: each
# fuzz target for a bounded time, the serial tests under Thread Sanitizer, the whole
# suite under Address and Undefined Behaviour Sanitizers, a short benchmark pass,
# the 32-bit Windows build under Wine, the Debian packages installed, used and
# purged on this machine and their units run under systemd in a container, then the
# test suite. First of all, a check that every quoted include names its file. At
# the end, passed or not, how long each stage took, then the suite's count, so that
# it closes the output. FUZZ_SECONDS sets the time per fuzz target (default 30).
# Qt for Windows is built once into a cache outside the tree, beside the first stages.
# The machine is left as it was: the emulator for 32-bit programs, where this run
# registered it, is removed at the end, passed or not; what changes the machine or
# a cache waits for another run doing the same (scripts/locks.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/locks.sh

# Each stage's time, for the table at the end.
times=()
begun=$(date +%s)
stage_name="Set-up and build"
stage_began=$begun
stage() {
  local now
  now=$(date +%s)
  times+=("$(printf '%6d s  %s' $((now - stage_began)) "$stage_name")")
  stage_name=$1
  stage_began=$now
  [ -z "$1" ] || echo "== $1 =="
}
suite_log=$(mktemp)
report() { # STATUS
  local status=$1
  stage ""
  echo "== Stage times$( ((status)) && echo ", up to the failure (exit status $status)") =="
  printf '%s\n' "${times[@]}"
  printf '%6d s  in all\n' $(($(date +%s) - begun))
  # ctest's count once more, as the closing line: "N passed, N failed".
  sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests failed out of \([0-9]*\)$/\2 \1/p' "$suite_log" |
    while read -r all failed; do echo "Tests: $((all - failed)) passed, $failed failed"; done
  rm -f "$suite_log"
}
trap 'status=$?; [ -z "${qt_build:-}" ] || kill -- -"$qt_build" 2>/dev/null || true; release_i386_emulation; report "$status"' EXIT

bash scripts/check-includes.sh
bash scripts/install-deps.sh
# Qt for Windows, which the Windows window is built with, is kept in a cache outside
# the tree (scripts/qt-windows.sh); a cold build takes about half an hour, so where
# it is missing it starts now, at the lowest priority, beside the stages that leave
# a core idle, and the Windows stage waits for it.
bash scripts/qt-windows.sh --deps
qt_log=$(mktemp)
setsid bash scripts/qt-windows.sh >"$qt_log" 2>&1 & # a group of its own, to end with its compilers
qt_build=$!

rm -rf build build-fuzz build-tsan build-asan
bash scripts/build.sh

stage "Fuzz targets"
cmake --preset fuzz
cmake --build --preset fuzz
seconds=${FUZZ_SECONDS:-30}
for target in fuzz_ini_profile fuzz_integer_text fuzz_reply fuzz_escpos fuzz_cp949 fuzz_paysim_request fuzz_module_reply fuzz_host_channel; do
  # Seeded from the committed corpus; what the run adds stays out of the tree.
  corpus=$(mktemp -d)
  cp tests/fuzz/corpus/"${target#fuzz_}"/* "$corpus"/
  log=$(mktemp)
  echo "-- $target for ${seconds}s"
  if ! ./build-fuzz/bin/$target -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 "$corpus" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "$target found a fault: keep the input under tests/fuzz/corpus/${target#fuzz_}/" >&2
    exit 1
  fi
  grep -E 'stat::number_of_executed_units' "$log" || true
  rm -rf "$corpus" "$log"
done

stage "Serial and receipt tests under Thread Sanitizer"
cmake --preset tsan
cmake --build --preset tsan
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
./build-tsan/bin/serial_tests --gtest_brief=1
./build-tsan/bin/receipt_tests --gtest_brief=1
unset TSAN_OPTIONS

stage "The whole suite under Address and Undefined Behaviour Sanitizers, leaks included"
cmake --preset asan
cmake --build --preset asan
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset asan -j2

stage "Benchmarks (short pass)"
./build/bin/core_bench --benchmark_min_time=0.05
./build/bin/serial_bench --benchmark_min_time=0.05
bash bench/office-chain.sh 500 100 # the head office's database: 100 counters' day shipped and paged

stage "Windows programs under Wine"
# 32-bit programs from here to the end: Wine, the packaged module host, the units.
use_i386_emulation
wait "$qt_build" || { cat "$qt_log" >&2; exit 1; }
qt_build=
tail -n 1 "$qt_log" && rm -f "$qt_log"
bash scripts/test-windows.sh

stage "Debian packages: install, a voucher use at the kiosk, purge"
bash tests/packaging/PackageTest.sh
stage "The packaged units under systemd, in a container"
bash tests/packaging/UnitsUnderSystemd.sh

stage "Tests"
ctest --preset default -j2 | tee "$suite_log"
