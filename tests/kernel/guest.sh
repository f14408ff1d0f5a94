#!/usr/bin/env bash
# Boots Debian's own kernel under QEMU with its emulated ISA parallel port at
# 0x378, a busybox initramfs holding the parport, parport_pc, ppdev and lp
# modules, the given programs with their shared libraries, and a job script
# that the guest's init sources; the guest's console goes to standard output.
#
#   guest.sh BUILD_DIR JOB_SCRIPT PROGRAM...
#
# The kernel package is fetched with apt-get download once and kept (vmlinuz and
# the four modules only) in ${XDG_CACHE_HOME:-$HOME/.cache}/qel-kernel.
# QEL_GUEST_PARALLEL: where the port's strobed bytes go (a QEMU character
# device, default null); QEL_GUEST_APPEND: kernel options in place of "quiet
# loglevel=3"; QEL_GUEST_TIMEOUT: seconds (150).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
job=$2
shift 2
modules=(parport parport_pc ppdev lp)

kernel_package() {
  apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}'
}

# Prints the cache folder that holds vmlinuz and the modules.
cached_kernel() {
  local cache=${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/qel-kernel package
  package=$(kernel_package)
  if [ -z "$package" ]; then
    apt-get update -qq >&2 || true
    package=$(kernel_package)
  fi
  if [ -z "$package" ]; then  # no package index: any kernel cached before will do
    package=$(ls "$cache" 2>/dev/null | grep '^linux-image-' | tail -n 1 || true)
    [ -n "$package" ] || { echo "guest.sh: cannot find the linux-image-amd64 kernel package" >&2; return 1; }
  fi
  local dir=$cache/$package
  if [ ! -f "$dir/vmlinuz" ]; then
    echo "guest.sh: fetching $package" >&2
    local work
    work=$(mktemp -d)
    (cd "$work" && { apt-get download "$package" >&2 2>/dev/null || { apt-get update -qq >&2 && apt-get download "$package" >&2; }; })
    dpkg-deb -x "$work"/*.deb "$work/root"
    mkdir -p "$work/keep"
    cp "$work"/root/boot/vmlinuz-* "$work/keep/vmlinuz"
    local module file
    for module in "${modules[@]}"; do
      file=$(find "$work/root/lib/modules" -name "$module.ko*" | head -n 1)
      [ -n "$file" ] || { echo "guest.sh: $package has no $module module" >&2; rm -rf "$work"; return 1; }
      case $file in
        *.xz) xz -dc "$file" >"$work/keep/$module.ko" ;;
        *) cp "$file" "$work/keep/$module.ko" ;;
      esac
    done
    mkdir -p "$cache"
    find "$cache" -mindepth 1 -maxdepth 1 -name 'linux-image-*' -exec rm -rf {} +
    mv "$work/keep" "$dir"
    rm -rf "$work"
  fi
  echo "$dir"
}

# Copies a program and the shared libraries it loads; the build's own libraries
# keep their place beside the program (its run path), the system's their paths.
add_program() {
  local root=$1 program=$2 library
  cp "$program" "$root/qel/bin/"
  for library in $(ldd "$program" | grep -o '/[^ ]*'); do
    case $(readlink -f "$library") in
      "$build"/lib/*) cp -L "$library" "$root/qel/lib/" ;;
      *) mkdir -p "$root$(dirname "$library")" && cp -L "$library" "$root$library" ;;
    esac
  done
}

kernel=$(cached_kernel)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
mkdir -p "$root"/{bin,dev,proc,sys,tmp,etc,modules,qel/bin,qel/lib}
cp /bin/busybox "$root/bin/busybox"
cp "$here/init" "$root/init"
cp "$job" "$root/qel/job"
for module in "${modules[@]}"; do cp "$kernel/$module.ko" "$root/modules/"; done
for program in "$@"; do add_program "$root" "$program"; done
printf 'root:x:0:0:root:/:/bin/sh\nnobody:x:65534:65534:nobody:/:/bin/sh\n' >"$root/etc/passwd"
printf 'root:x:0:\nlp:x:7:\nnogroup:x:65534:\n' >"$root/etc/group"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initramfs.gz"

# Software emulation: on machines that are themselves virtual, KVM can open and
# then never run the guest. QEL_GUEST_ACCEL=kvm asks for it where it works.
timeout "${QEL_GUEST_TIMEOUT:-150}" qemu-system-x86_64 -accel "${QEL_GUEST_ACCEL:-tcg}" -m 512 \
  -kernel "$kernel/vmlinuz" -initrd "$work/initramfs.gz" \
  -append "console=ttyS0 ${QEL_GUEST_APPEND:-quiet loglevel=3} panic=-1" \
  -display none -vga none -monitor none -serial stdio -parallel "${QEL_GUEST_PARALLEL:-null}" -net none -no-reboot </dev/null
