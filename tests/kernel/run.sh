#!/usr/bin/env bash
# The parallel-port library on Debian's own kernel drivers under QEMU: boots the
# guest once and runs kernel_port_test there without and then with the printer
# driver. Fails on any failed test, a phase that did not finish, or a timeout.
#
#   tests/kernel/run.sh [BUILD_DIR]   (default build; a RelWithDebInfo build)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
program=$build/bin/kernel_port_test
[ -x "$program" ] || { echo "run.sh: $program is not built" >&2; exit 1; }

log=$(mktemp)
printed=$(mktemp)
trap 'rm -f "$log" "$printed"' EXIT
status=0
QEL_GUEST_PARALLEL=file:$printed bash "$here/guest.sh" "$build" "$here/test-job.sh" "$program" |
  tr -d '\r' | tee "$log" || status=$?

failed=0
for phase in plain printer-driver; do
  if ! grep -qx "qel-phase $phase rc=0" "$log"; then
    echo "kernel test: phase $phase did not pass" >&2
    failed=1
  fi
done
if grep -q '^\[  FAILED  \]' "$log" || grep -q '^qel-guest:' "$log"; then failed=1; fi
if ! grep -q 'qel-kernel-test printed this' "$printed"; then
  echo "kernel test: nothing the printer driver printed reached the port" >&2
  failed=1
fi
if [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then
  echo "kernel test: the guest ended with status $status" >&2
  failed=1
fi
[ "$failed" -eq 0 ] && echo "kernel test: passed"
exit "$failed"
