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
    # Joining the device's group is the remedy only where that group is lp with
    # read and write; any other group may reach much more than the port.
    local user owner group mode rights
    user=$(id -un)
    read -r owner group mode rights < <(stat -c '%U %G %a %A' "$device")
    mode=$(printf '%04o' "0$mode")
    echo "$device cannot be opened for reading and writing by $user (owner $owner, group $group, mode $mode, $rights)."
    if [ "$group" = lp ] && [ "${rights:4:2}" = rw ]; then
      echo "  Add yourself to the group lp (sudo usermod -aG lp $user), then log in again."
    else
      if [ "${rights:4:2}" = rw ]; then echo "  Members of the group $group may use it."; fi
      if [ "$group" = lp ]; then
        echo "  Give the group lp read and write (sudo chmod g+rw $device, or a udev rule to keep it so),"
      else
        echo "  Give it to the group lp with read and write (sudo chgrp lp $device && sudo chmod g+rw $device,"
        echo "  or a udev rule to keep it so),"
      fi
      echo "  add yourself to lp (sudo usermod -aG lp $user) and log in again."
    fi
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
