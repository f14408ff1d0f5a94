#!/usr/bin/env bash
# Runs parport2k_ppdev_bench inside a guest on Debian's own kernel under QEMU
# (see tests/kernel/guest.sh) and prints its medians.
#   bench/parport2k/run-in-guest.sh [BUILD_DIR]   (default build)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
bash "$here/../../tests/kernel/guest.sh" "$build" "$here/ppdev-bench-job.sh" "$build/bin/parport2k_ppdev_bench" |
  tr -d '\r' | tee "$log"
grep -qx 'qel-bench rc=0' "$log" || { echo "run-in-guest.sh: the benchmark did not finish" >&2; exit 1; }
awk '$1 ~ /_median$/ { name = $1; sub(/_median$/, "", name); t[name] = $2 * ($3 == "ns" ? 0.001 : $3 == "ms" ? 1000 : 1)
                       for (i = 1; i <= NF; i++) if ($i ~ /^ratio=/) { r = $i; sub(/^ratio=/, "", r) } }
     END { printf "median claim+release %.2f us (kernel release+claim %.2f us); OutByte %.3f us, PPWDATA %.3f us; side by side OutByte/PPWDATA %.3f\n",
                  t["LibraryClaimRelease"], t["KernelReleaseClaim"], t["LibraryOutByte"], t["KernelWriteData"], r }' "$log"
