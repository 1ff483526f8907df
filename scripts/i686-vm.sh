#!/usr/bin/env bash
# Runs the 32-bit test programs under Wine, in a small virtual machine.
#
# Why a machine: this machine's kernel cannot run 32-bit x86 code at all. Not
# only 32-bit Linux programs fail ("Exec format error"): a 64-bit process
# cannot enter 32-bit compatibility mode either (a far return to a 32-bit code
# segment faults, whether the segment is the kernel's or one made with
# modify_ldt, and "int $0x80" faults). Wine's "new WoW64" mode, which runs
# 32-bit Windows code with 64-bit Linux binaries only, needs exactly that mode
# switch, so on this kernel it crashes at its first 32-bit process. QEMU's
# emulated processor (TCG, no KVM here) has the mode switch.
#
# The machine is Debian unstable, amd64 only (no i386 packages), whose Wine
# (10.0~repack-12 and later) is built in new WoW64 mode. It is made once with
# debootstrap and kept, with its Wine prefix, in a cache of this machine
# (/var/cache/tessalock/i686-vm, or TL_I686_VM_CACHE), shared by every
# checkout and clone, and made again when its recipe in this script changes.
# Kept with a build tree, a clean clone would pay for the machine and its
# prefix again on every run (5 to 15 minutes of the test command). It boots
# the Debian kernel directly, sees the source tree and the 32-bit build
# folder at their host paths through 9p, and runs scripts/i686-vm-guest.sh,
# which runs ctest there.
#
# Usage: scripts/i686-vm.sh I686_BUILD_DIR [ctest arguments...]
# Needs root (debootstrap, chroot); without it, says so and exits 0.
# TL_I686_VM_TIMEOUT: seconds one boot of the machine may run (default 1800);
# a boot that ends without a test result is tried once more.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$(cd "$1" && pwd)"
shift
CACHE="${TL_I686_VM_CACHE:-/var/cache/tessalock/i686-vm}"
SUITE=unstable

if [[ $(id -u) -ne 0 ]]; then
    echo "i686 tests skipped: making their test machine needs root (debootstrap, chroot)"
    exit 0
fi
case "$ROOT$BUILD" in
*[[:space:]]*)
    echo "the source and build paths must not contain spaces (they go on a kernel command line)" >&2
    exit 1
    ;;
esac

# The Debian mirror this machine's apt uses (not the security archive).
debian_mirror() {
    if [[ -n "${TL_DEBIAN_MIRROR:-}" ]]; then
        echo "$TL_DEBIAN_MIRROR"
        return 0
    fi
    cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources \
        2>/dev/null | grep -oE '^(deb|URIs:)[[:space:]]+https?://[^[:space:]]+' |
        awk '{print $2}' | grep -E '/debian/?$' | head -n1 || true
}

# The machine's init: mounts the two shared folders named on the kernel
# command line, runs the guest script from the source tree and powers off.
write_init() {
    cat >"$1" <<'EOF'
#!/bin/sh
PATH=/usr/sbin:/usr/bin:/sbin:/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
# /tmp before the shared folders, which may lie below it.
mount -t tmpfs tmpfs /tmp
for arg in $(cat /proc/cmdline); do
    case "$arg" in
    tl.src=*) src="${arg#tl.src=}" ;;
    tl.build=*) build="${arg#tl.build=}" ;;
    esac
done
modprobe 9pnet_virtio
modprobe 9p
# Entropy from the host: without it the first getrandom() of wineboot waits
# for the kernel to gather jitter, seconds of emulated scheduling.
modprobe virtio-rng
opts=trans=virtio,version=9p2000.L,cache=mmap,msize=524288
mkdir -p "$src" && mount -t 9p -o "$opts,ro" tlsrc "$src"
mkdir -p "$build" && mount -t 9p -o "$opts" tlbuild "$build"
sleep 0
bash "$src/scripts/i686-vm-guest.sh" "$src" "$build"
sync
echo o >/proc/sysrq-trigger
exec sleep 60
EOF
    chmod 755 "$1"
}

make_machine() {
    local fs="$CACHE/rootfs" mirror
    mirror="$(debian_mirror)"
    [[ -n "$mirror" ]] || { echo "no Debian mirror found in apt's sources" >&2; return 1; }
    rm -rf "$CACHE"
    mkdir -p "$CACHE"
    echo "Making the i686 test machine (Debian $SUITE, once; log: $CACHE/make.log)"
    debootstrap --variant=minbase --arch=amd64 "$SUITE" "$fs" "$mirror" >"$CACHE/make.log" 2>&1
    # A mirror that serves a fixed snapshot has unstable's Release file past
    # its Valid-Until date; the signatures are still checked.
    echo 'Acquire::Check-Valid-Until "false";' >"$fs/etc/apt/apt.conf.d/99tessalock"
    printf '#!/bin/sh\nexit 101\n' >"$fs/usr/sbin/policy-rc.d"
    chmod 755 "$fs/usr/sbin/policy-rc.d"
    chroot "$fs" apt-get update -q >>"$CACHE/make.log" 2>&1
    # initramfs-tools is named because the kernel's other choice, dracut,
    # boots through systemd, which writes terminal codes to the console.
    chroot "$fs" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
        wine wine64 fonts-wine xvfb cmake linux-image-amd64 initramfs-tools kmod \
        >>"$CACHE/make.log" 2>&1
    chroot "$fs" apt-get clean
    # This Wine has no wineserver on PATH; the Wine set-up calls it by name.
    ln -sfn /usr/lib/x86_64-linux-gnu/wine/wineserver "$fs/usr/local/bin/wineserver"
    write_init "$fs/sbin/tl-init"
    cp "$fs"/boot/vmlinuz-* "$CACHE/vmlinuz"
    cp "$fs"/boot/initrd.img-* "$CACHE/initrd"
    mke2fs -q -t ext4 -d "$fs" "$CACHE/root.img" 8G
    rm -rf "$fs"
    recipe_hash >"$CACHE/stamp"
}

mkdir -p "$(dirname "$CACHE")"
exec 9>"$(dirname "$CACHE")/i686-vm.lock"
flock 9
# The machine is made again when the recipe below changes.
recipe_hash() { { echo "$SUITE"; declare -f write_init make_machine; } | sha256sum; }
if ! cmp -s <(recipe_hash) "$CACHE/stamp" 2>/dev/null; then
    start=$SECONDS
    # Called plainly, not in a condition, so that any failing step stops it.
    set -E
    trap 'echo "could not make the i686 test machine; the end of $CACHE/make.log:" >&2
          tail -n 20 "$CACHE/make.log" >&2' ERR
    make_machine
    trap - ERR
    set +E
    echo "i686 test machine made in $((SECONDS - start)) s"
fi

RUN="$BUILD/vm-run"
mkdir -p "$RUN"
: >"$RUN/ctest-args"
(($#)) && printf '%s\0' "$@" >"$RUN/ctest-args"

# Kernel options:
# - tsc=unstable: the emulated time stamp counter drifts, and the kernel
#   would otherwise find that out while running and patch its scheduler clock
#   code in place; with two emulated processors, one of them can then run the
#   stale breakpoint of that patch, an oops inside an interrupt, and the
#   kernel panics (seen in CI, 15 s into the Wine set-up). Marked unstable at
#   boot, the code is never patched.
# - panic=-1 oops=panic: any kernel fault ends the machine at once (with
#   -no-reboot, QEMU exits) instead of leaving it hung until the timeout.
# - -accel tcg, not kvm: /dev/kvm exists on these machines, but the machines
#   are themselves virtual and their KVM emulates the guest's memory
#   accesses with an instruction emulator that lacks newer instructions. The
#   compressed kernel stops in its decompressor at a BMI2 shift ("KVM
#   internal error ... emulation failure"); the uncompressed kernel booted
#   through its PVH entry gets past that and stops the same way at a
#   "lock cmpxchg16b" while starting. QEMU then waits instead of exiting, so
#   no fallback could tell it apart from a slow boot before the timeout.
# -serial stdio streams the machine's console (ctest's output) into ours,
# with the terminal's carriage returns taken out, a line at a time (tr would
# otherwise hold back 4 KiB when its output is a log file, and a CI log
# showed nothing of the machine for many minutes).
boot_machine() {
    timeout "${TL_I686_VM_TIMEOUT:-1800}" qemu-system-x86_64 \
        -machine q35 -accel tcg,thread=multi -smp 2 -m 4G \
        -nodefaults -display none -serial stdio -no-reboot \
        -device virtio-rng-pci \
        -kernel "$CACHE/vmlinuz" -initrd "$CACHE/initrd" \
        -append "root=/dev/vda rw console=ttyS0 quiet loglevel=3 mitigations=off tsc=unstable panic=-1 oops=panic init=/sbin/tl-init tl.src=$ROOT tl.build=$BUILD" \
        -drive "file=$CACHE/root.img,format=raw,if=virtio,cache=unsafe" \
        -virtfs "local,path=$ROOT,mount_tag=tlsrc,security_model=passthrough,readonly=on" \
        -virtfs "local,path=$BUILD,mount_tag=tlbuild,security_model=passthrough" \
        </dev/null | stdbuf -oL tr -d '\r'
    return "${PIPESTATUS[0]}"
}

# A machine that ends without a result (a kernel fault on the emulated
# processor, or the timeout) says nothing about the tests: it is booted once
# more. A test that fails gives a result and is never run again.
for attempt in 1 2; do
    rm -f "$RUN/status"
    machine_status=0
    boot_machine || machine_status=$?
    ((machine_status == 0)) || echo "the i686 test machine stopped with status $machine_status" >&2
    [[ -s "$RUN/status" ]] && exit "$(cat "$RUN/status")"
    echo "the i686 test machine ended without a test result (boot $attempt of 2)" >&2
done
exit 1
