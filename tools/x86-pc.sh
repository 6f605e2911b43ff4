#!/usr/bin/env bash
# Runs the packaged 32-bit profsync.exe, taken from its ZIP as users get it,
# through end-to-end cases under 32-bit Wine, inside an emulated PC with a
# Pentium II: no SSE at all, like the oldest machines the KYRO drivers run on.
# The emulator interprets every instruction (no KVM), so most instructions
# that CPU lacks stop the program as they would there: SSE on xmm registers,
# sfence, ldmxcsr. Some it runs all the same (pshufw, pminub, prefetchnta):
# those only tools/check-windows-package.sh finds. Wine reports Windows 98 to
# the program, so that its Windows 98 and ME branches run, but for the cases
# that need NT (tests/run_cases.py --windows-98 says which).
#
#     tools/x86-pc.sh ZIP CASE...
#
# Needs qemu-system-x86, mmdebstrap, e2fsprogs and cpio (tools/test.sh pc
# installs them), and root for mmdebstrap.
#
# The PC's disk, Debian 12 i386 with Wine, is made from Debian's packages on
# the first run (about 25 minutes) and kept in $PROFSYNC_PC_CACHE, by default
# /var/cache/profsync-x86-pc; remove that folder to make it anew. Runs never
# change it: each boots a throw-away copy of it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${PROFSYNC_PC_CACHE:-/var/cache/profsync-x86-pc}
zip=$(realpath "$1")
shift

# What the PC starts with: a small initramfs (busybox, the modules for the
# disk, the job) that mounts the disk and runs the job's script on it.
initrd() {  # initrd JOB_FOLDER OUTPUT
    local ramfs
    ramfs=$(mktemp -d)
    mkdir -p "$ramfs/bin" "$ramfs/modules"
    cp "$cache/busybox" "$ramfs/bin/busybox"
    cp "$cache"/modules/* "$ramfs/modules/"
    cp -r "$1" "$ramfs/job"
    cat >"$ramfs/init" <<'EOF'
#!/bin/busybox sh
/bin/busybox mkdir -p /proc /dev /disk
/bin/busybox mount -t proc proc /proc
/bin/busybox --install -s /bin
mount -t devtmpfs dev /dev
for m in $(cat /modules/order); do insmod /modules/$m.ko; done
mount -t ext4 /dev/vda /disk
cp -r /job /disk/job
umount /dev /proc
exec switch_root /disk /bin/sh /job/start
EOF
    chmod +x "$ramfs/init"
    (cd "$ramfs" && find . | cpio -o -H newc --quiet | gzip -1) >"$2"
    rm -rf "$ramfs"
}

# Boots the PC on the job and prints what it prints; the job's own script
# comes after the system's mounts and ends by powering off.
boot() {  # boot JOB_FOLDER [snapshot]
    cat >"$1/start" <<'EOF'
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm; mount -t devpts devpts /dev/pts; mount -t tmpfs shm /dev/shm
mount -t tmpfs run /run  # /tmp stays on the disk: a Wine prefix outgrows memory
(cd /job && sh ./job)
rm -rf /job
sync
busybox poweroff -f
EOF
    initrd "$1" "$1.initrd"
    timeout 3000 qemu-system-i386 -cpu pentium2 -smp 1 -m 1024 -nographic -no-reboot -nic none -monitor none \
        -kernel "$cache/vmlinuz" -initrd "$1.initrd" -append "console=ttyS0 quiet panic=1" \
        -drive "file=$cache/disk.img,if=virtio,format=raw${2:+,snapshot=on}" </dev/null
}

# The disk: Debian's i386 packages unpacked here (no i386 program runs on
# this machine), then installed by the PC itself on its first boot.
make_disk() {
    local tree=$cache/tree
    rm -rf "$cache" && mkdir -p "$cache"
    echo "-- unpacking Debian 12 i386 with Wine"
    mmdebstrap --arch=i386 --variant=extract --skip=check/qemu --skip=cleanup/apt/cache \
        --include='?essential' --include='?priority(required)' \
        --include=apt,wine,wine32,python3,locales,busybox-static,linux-image-686 \
        bookworm "$tree" - </etc/apt/sources.list.d/debian.sources
    cp "$tree"/boot/vmlinuz-* "$cache/vmlinuz"
    cp "$tree/bin/busybox" "$cache/busybox"
    # The disk's drivers, each after those it needs.
    mkdir "$cache/modules"
    echo virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci virtio_blk \
        crc16 mbcache jbd2 crc32c_generic ext4 >"$cache/modules/order"
    for module in $(cat "$cache/modules/order"); do
        find "$tree/lib/modules" -name "$module.ko" -exec cp {} "$cache/modules/" \;
    done
    mkfs.ext4 -q -d "$tree" "$cache/disk.img" 6G
    echo "-- unpacked and on the disk after $SECONDS s"
    rm -rf "$tree"
    echo "-- first boot: installing the packages"
    local job=$cache/setup
    mkdir "$job"
    cat >"$job/job" <<'EOF'
export DEBIAN_FRONTEND=noninteractive
dpkg --install --force-depends /var/cache/apt/archives/*.deb >/tmp/dpkg.log 2>&1
dpkg --configure -a >>/tmp/dpkg.log 2>&1
rm -f /var/cache/apt/archives/*.deb
if [ -z "$(dpkg --audit)" ] && [ -x /usr/lib/wine/wine ]; then
    touch /var/lib/profsync-pc-ready
    echo "installed: $(dpkg -l | grep -c '^ii') packages"
else
    tail -n 40 /tmp/dpkg.log
fi
EOF
    boot "$job"
    echo "-- first boot done after $SECONDS s"
    rm -rf "$job" "$job.initrd"
    # A disk whose setup failed is no disk: the next run makes it again.
    debugfs -R 'stat /var/lib/profsync-pc-ready' "$cache/disk.img" 2>/dev/null | grep -q Inode ||
        { rm -rf "$cache"; echo "the PC's packages did not install"; return 1; }
}

[ -f "$cache/disk.img" ] || make_disk

job=$(mktemp -d)
trap 'rm -rf "$job" "$job.initrd"' EXIT
cp "$zip" "$job/package.zip"
cp "$here/../tests/run_cases.py" "$job/"
mkdir "$job/cases"
cp -r "$@" "$job/cases/"
cat >"$job/job" <<'EOF'
python3 -m zipfile -e package.zip package
echo  # the boot screen leaves the console mid-line
WINEARCH=win32 python3 run_cases.py --wine /usr/lib/wine/wine /tmp/prefix --server wineserver32 --windows-98 \
    package/profsync.exe cases/*
echo "cases done: exit code $?"
EOF
echo "-- booting the PC for the cases"
start=$SECONDS
boot "$job" snapshot | tee "$job/console"
echo "-- the cases took $((SECONDS - start)) s"
# Every case given ran and passed, but those skipped with their reason: a run
# that skipped them all, or stopped early, is no pass.
tr -d '\r' <"$job/console" >"$job/report"
given=$#
ran=$(grep -c '^ok ' "$job/report" || true)
skipped=$(grep -c '^skip ' "$job/report" || true)
if ! grep -q '^cases done: exit code 0$' "$job/report" || [ "$ran" -eq 0 ] || [ "$ran" -ne $((given - skipped)) ]; then
    echo "x86-pc: $ran cases passed of the $given given, $skipped skipped"
    exit 1
fi
