#!/usr/bin/env bash
# Builds Ambrel and Quorlink, registers Quorlink in the user's registry file and
# starts Ambrel. Without a parallel port the virtual evaluation board stands in.
# Where a port is present but cannot be used (no read/write right on the device,
# another driver holding it), it says why and what to do, and starts anyway.
set -euo pipefail
cd "$(dirname "$0")/.."

# The library's own roots, so the checks look where the program will.
dev_root=${QEL_PARPORT_DEV_ROOT:-/dev}
proc_root=${QEL_PARPORT_PROC_ROOT:-/proc}

# Tells why the port at device $1 cannot be used, if it cannot; nothing otherwise.
check_port() {
  local device=$1 name=${1##*/}
  local active="$proc_root/sys/dev/parport/$name/devices/active"
  local unusable=0
  if [ ! -r "$device" ] || [ ! -w "$device" ]; then
    local group
    group=$(stat -c %G "$device")
    echo "$device cannot be opened for reading and writing by $(id -un) ($(stat -c '%A, owner %U, group %G' "$device"))."
    echo "  Add yourself to the group '$group' (sudo usermod -aG $group $(id -un), then log in again)."
    unusable=1
  fi
  if [ -r "$active" ]; then
    local holder
    holder=$(head -n 1 "$active")
    if [ -n "$holder" ] && [ "$holder" != none ]; then
      case $holder in
        lp*) echo "$device is held by the printer driver ($holder): Ambrel's claims are refused while it holds the port."
             echo "  Wait for the printer to finish, or unload the printer driver (sudo modprobe -r lp)." ;;
        *)   echo "$device is held by $holder: Ambrel's claims are refused while it holds the port."
             echo "  Stop the program or driver that uses the port." ;;
      esac
      unusable=1
    fi
  fi
  if [ "$unusable" -eq 1 ]; then
    echo "  Until then Ambrel reads every switch of this port as off; QEL_BOARD=virtual runs it on the virtual evaluation board."
  fi
  return 0
}

bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"

if [ -z "${QEL_BOARD:-}" ]; then
  shopt -s nullglob
  ports=("$dev_root"/parport[0-9]*)
  shopt -u nullglob
  if [ ${#ports[@]} -eq 0 ]; then
    export QEL_BOARD=virtual
    echo "No parallel port ($dev_root/parport*) on this machine: Ambrel runs on the virtual evaluation board (QEL_BOARD=virtual)."
  else
    for port in "${ports[@]}"; do check_port "$port"; done
  fi
fi

build/bin/regsvr "$PWD/build/lib/libQuorlink.so"
exec build/bin/ambrel
