#!/usr/bin/env bash
# Runs the slow-medium cases: copies of a bootstrapper on a loop-mounted file system whose
# reads are throttled, as from a USB stick, a DVD or a network share, for the test program
# and every program it starts. One copy per case, so that no case reads from the page cache.
# Usage: slow-medium.sh EMULATOR TESTS.exe SETUP.exe
# Exits 77 (skipped) with the reason where this host cannot make such a medium.
set -euo pipefail
emulator=$1
tests=$2
setup=$3
rate=$((10 * 1048576)) # bytes per second
blkio=/sys/fs/cgroup/blkio
cases=(SHOWN CANCELLED PACKAGE)

skip() {
    echo "SKIPPED: $*"
    exit 77
}

[ "$(id -u)" -eq 0 ] || skip "a throttled loop device needs root"
for tool in mkfs.ext4 losetup findmnt lsblk; do
    command -v "$tool" >/dev/null || skip "$tool is missing"
done
[ -f "$blkio/blkio.throttle.read_bps_device" ] || skip "no cgroup v1 blkio controller at $blkio"

work=$(mktemp -d /tmp/orvanta-slow.XXXXXX)
medium=$work/medium
group=$blkio/orvanta-slow-$$
cleanup() {
    if [ -d "$group" ]; then
        # Wine's own services may have been started from the group and still run.
        while read -r pid; do
            echo "$pid" >"$blkio/cgroup.procs" 2>/dev/null || true
        done <"$group/cgroup.procs"
        rmdir "$group" 2>/dev/null || true
    fi
    if mountpoint -q "$medium"; then
        umount "$medium" 2>/dev/null || umount -l "$medium"
    fi
    rm -rf "$work"
}
trap cleanup EXIT

size=$(stat -c %s "$setup")
truncate -s $((${#cases[@]} * size + 64 * 1048576)) "$work/medium.img"
mkfs.ext4 -q -F "$work/medium.img" || skip "mkfs.ext4 failed"
mkdir "$medium"
mount -o loop "$work/medium.img" "$medium" 2>/dev/null || skip "a loop device cannot be mounted here"
for case in "${cases[@]}"; do
    cp "$setup" "$medium/$case.exe"
done
sync
for case in "${cases[@]}"; do
    # Out of the page cache, so that the program reads it from the device.
    dd if="$medium/$case.exe" iflag=nocache count=0 status=none
    windows_path="Z:${medium//\//\\}\\$case.exe"
    export "ORVANTA_SLOW_SETUP_$case=$windows_path"
done
device=$(findmnt -n -o SOURCE "$medium")
majmin=$(lsblk -n -o MAJ:MIN "$device" | tr -d ' ')
mkdir "$group" 2>/dev/null || skip "no cgroup can be made under $blkio"
echo "$majmin $rate" >"$group/blkio.throttle.read_bps_device" 2>/dev/null ||
    skip "reads of $device cannot be throttled"

echo "medium: $device ($majmin), reads throttled to $((rate / 1048576)) MiB/s"
status=0
(
    echo "$BASHPID" >"$group/cgroup.procs"
    exec "$emulator" "$tests"
) || status=$?
exit $status
