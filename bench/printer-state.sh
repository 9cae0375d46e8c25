#!/usr/bin/env bash
# The printer's state asked before a payment, against the check without it (the
# line alone), in one run of serial_bench: the time each adds to a payment, its
# ratio to that baseline and to a receipt's printing through the same route. Target: a printer that answers adds at most 50 ms; a
# silent one pays its wait at the first payment after start only.
#   bash bench/printer-state.sh [BUILD_BIN]
set -euo pipefail
bin=${1:-build/bin}
"$bin/serial_bench" --benchmark_filter='Readiness|LineByLine' --benchmark_repetitions=3 \
  --benchmark_report_aggregates_only=true --benchmark_format=json 2>/dev/null | python3 -c '
import json, sys
runs = {b["run_name"]: b for b in json.load(sys.stdin)["benchmarks"] if b.get("aggregate_name") == "median"}
scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
ms = {name.removeprefix("BM_Readiness"): b["real_time"] * scale[b["time_unit"]] for name, b in runs.items()}
receipt = ms.pop("BM_SerialReceiptLineByLine")
base = ms["LineCheckOnly"]
print("%-40s %12s %12s %10s %12s" % ("check before a payment", "median", "added", "/ baseline", "/ a receipt"))
for name, t in ms.items():
    print(f"{name:40} {t:9.3f} ms {t - base:9.3f} ms {t / base:9.1f}x {(t - base) / receipt:11.3f}x")
print(f"(a 1.2 KB receipt through the route: {receipt:.3f} ms)")
added = ms["AnsweringPrinter"] - base
later = ms["SilentPrinterLaterPayments"] - base
verdict = lambda ok: "ok" if ok else "OVER"
print(f"answering printer adds {added:.3f} ms (target <= 50 ms): {verdict(added <= 50)}")
print(f"silent printer after its first payment adds {later:.3f} ms (target <= 5 ms): {verdict(later <= 5)}")
sys.exit(0 if added <= 50 and later <= 5 else 1)
'
