#!/usr/bin/env bash
# Installs the build dependencies that are missing on this machine (Debian, as root);
# with --test also what the tests need beyond the build (the kernel test's QEMU guest).
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev libgl-dev xvfb xauth)
if [ "${1:-}" = --test ]; then
  packages+=(qemu-system-x86 busybox-static cpio xz-utils)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages need root: run this script as root, or install: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  # Waits for another package manager (unattended upgrades) instead of failing at once.
  apt-get -o DPkg::Lock::Timeout=300 update -qq
  apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends "${missing[@]}"
fi
