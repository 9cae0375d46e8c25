#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds from scratch and runs every test: each
# fuzz target for a bounded time, the serial tests under Thread Sanitizer, the whole
# suite under Address and Undefined Behaviour Sanitizers, a short benchmark pass,
# the 32-bit Windows build under Wine, the Debian packages installed, used and
# purged on this machine and their units run under systemd in a container, then the
# test suite (last, so its summary closes the output). First of all, a check that
# every quoted include names its file. FUZZ_SECONDS sets the time
# per fuzz target (default 30).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/check-includes.sh
bash scripts/install-deps.sh
rm -rf build build-fuzz build-tsan build-asan
bash scripts/build.sh

echo "== Fuzz targets =="
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

echo "== Serial and receipt tests under Thread Sanitizer =="
cmake --preset tsan
cmake --build --preset tsan
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
./build-tsan/bin/serial_tests --gtest_brief=1
./build-tsan/bin/receipt_tests --gtest_brief=1
unset TSAN_OPTIONS

echo "== The whole suite under Address and Undefined Behaviour Sanitizers, leaks included =="
cmake --preset asan
cmake --build --preset asan
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset asan -j2

echo "== Benchmarks (short pass) =="
./build/bin/core_bench --benchmark_min_time=0.05
./build/bin/serial_bench --benchmark_min_time=0.05

echo "== Windows programs under Wine =="
bash scripts/test-windows.sh

echo "== Debian packages: install, a voucher use at the kiosk, purge =="
bash tests/packaging/PackageTest.sh
echo "== The packaged units under systemd, in a container =="
bash tests/packaging/UnitsUnderSystemd.sh

echo "== Tests =="
ctest --preset default -j2
