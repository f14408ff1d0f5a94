#!/usr/bin/env bash
# Builds Ambrel and Quorlink, registers Quorlink in the user's registry file and
# starts Ambrel. Without a parallel port the virtual evaluation board stands in.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"

if [ -z "${QEL_BOARD:-}" ] && ! compgen -G '/dev/parport*' >/dev/null; then
  export QEL_BOARD=virtual
  echo "No parallel port (/dev/parport*) on this machine: Ambrel runs on the virtual evaluation board (QEL_BOARD=virtual)."
fi

build/bin/regsvr "$PWD/build/lib/libQuorlink.so"
exec build/bin/ambrel
