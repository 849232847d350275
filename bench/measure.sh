#!/usr/bin/env bash
# The measurements of the benchmark, run by bench/run.sh inside a display session with the
# prefix's Wine server started (scripts/wine-session.sh). Each round runs every measurement
# once, so that what is compared shares the machine's state at that moment.
#
# Usage: measure.sh <bin directory> <payload directory> <raw results file> <rounds>
# Raw results: one "round<TAB>label<TAB>value<TAB>exit code" line per run; values are
# milliseconds, or kilobytes for the rss_ labels.
set -euo pipefail
bin=$1
payloads=$2
raw=$3
rounds=$4
sets=(1M 64M 128M 256M 384M full)
work=$(dirname "$raw")
plan=$work/plan.tsv
root=$(cd "$(dirname "$0")/.." && pwd)
# Package creation is measured once the bootstrapper has it.
package=$work/extract/Orvanta-bench.msi
install_dir='C:\Program Files\Orvanta Vellumo Bench\'
with_extract=false
[ -f "$root/src/package/PackageCreation.cpp" ] && with_extract=true
mkdir -p "$(dirname "$package")"

win() { winepath -w "$1" 2>/dev/null; }

now_ns() { date +%s%N; }

# Every copy is preceded by an untimed one of the full set ("warm"): the virtual machine hands
# memory freed for a while back to its host, and taking it back costs time; after the warm
# copy each measured copy finds the same amount of just-freed memory.
warm=$(printf 'warm\texit\t%s\t"%s"' "$(win "$bin/plaincopy.exe")" "$(win "$payloads/full")")
{
    for set in "${sets[@]}"; do
        echo "$warm"
        printf 'install_%s\texit\t%s\t\n' "$set" "$(win "$bin/OrvantaSetup-$set.exe")"
        echo "$warm"
        printf 'plain_%s\texit\t%s\t"%s"\n' "$set" "$(win "$bin/plaincopy.exe")" \
            "$(win "$payloads/$set")"
    done
    # The full size once more, in the other order.
    echo "$warm"
    printf 'plain_full\texit\t%s\t"%s"\n' "$(win "$bin/plaincopy.exe")" "$(win "$payloads/full")"
    echo "$warm"
    printf 'install_full\texit\t%s\t\n' "$(win "$bin/OrvantaSetup-full.exe")"
    printf 'setupui_alone\texit\t%s\t\n' "$(win "$payloads/full/SetupUI.exe")"
    if $with_extract; then
        for _ in 1 2; do
            echo "$warm"
            printf 'extract_full\textract\t%s\t/extract\t%s\t%s\n' \
                "$(win "$bin/OrvantaSetup-full.exe")" "$(win "$package")" "$install_dir"
            echo "$warm"
            printf 'plain_package\texit\t%s\t/keep "%s"\n' "$(win "$bin/plaincopy.exe")" \
                "$(win "$payloads/package")"
        done
    fi
    # Start-up times are short and vary more: three of each per round.
    for _ in 1 2 3; do
        printf 'help_full\twindow\t%s\t/help\n' "$(win "$bin/OrvantaSetup-full.exe")"
        printf 'messagebox\twindow\t%s\t\n' "$(win "$bin/messageboxonly.exe")"
        printf 'help_bare\twindow\t%s\t/help\n' "$(win "$bin/OrvantaSetup-bare.exe")"
        printf 'messagebox_manifest\twindow\t%s\t\n' "$(win "$bin/messagebox-manifest.exe")"
        printf 'messagebox_imports\twindow\t%s\t\n' "$(win "$bin/messagebox-imports.exe")"
        printf 'messagebox_all\twindow\t%s\t\n' "$(win "$bin/messagebox-all.exe")"
        $with_extract && printf 'savedialog\twindow\t%s\t\n' "$(win "$bin/savedialogonly.exe")"
    done
} >"$plan"
timer=$(win "$bin/benchtimer.exe")

# One Windows process kept alive for the whole measurement keeps Wine's services running.
wine "$timer" --hold >/dev/null 2>&1 &
hold=$!
trap 'kill $hold 2>/dev/null || true' EXIT
sleep 2

echo "warm-up round (not counted): page cache, Wine's services, fonts"
wine "$timer" "$(win "$plan")" 0 "$(win "$work/warmup.tsv")"

# The user's temporary directory of the prefix: where the install run made its workspace.
temp=$(dirname "$(find "$WINEPREFIX/drive_c/users" -maxdepth 6 -type d -name OrvantaSetup | head -n 1)")
echo "temporary directory: $temp"
rm -rf "$temp"/PlainCopy-*

native_copy() { # round label command...
    local round=$1 label=$2 start end
    shift 2
    local target=$temp/native-$label
    rm -rf "$target"
    # The same warm-up as before the copies under Wine.
    cp -r "$payloads/full" "$target" && rm -rf "$target"
    start=$(now_ns)
    "$@" "$target"
    rm -rf "$target"
    end=$(now_ns)
    printf '%s\t%s\t%s\t0\n' "$round" "$label" "$(((end - start) / 1000))e-3" >>"$raw"
}

cp_tree() { cp -r "$payloads/full" "$1"; }

# read(2)/write(2) in 1 MiB blocks, as the Win32 programs do.
dd_tree() {
    local target=$1 file
    mkdir -p "$target"
    (cd "$payloads/full" && find . -type d) | while read -r dir; do mkdir -p "$target/$dir"; done
    (cd "$payloads/full" && find . -type f) | while read -r file; do
        dd if="$payloads/full/$file" of="$target/$file" bs=1M status=none
    done
}

peak_rss() { # round label program
    local out=$work/rss.txt
    /usr/bin/time -f %M -o "$out" wine "$3" >/dev/null 2>&1
    printf '%s\t%s\t%s\t0\n' "$1" "$2" "$(tail -n 1 "$out")" >>"$raw"
}

: >"$raw"
for round in $(seq 1 "$rounds"); do
    echo "round $round of $rounds"
    wine "$timer" "$(win "$plan")" "$round" "$(win "$raw")"
    rm -rf "$temp"/PlainCopy-*
    native_copy "$round" cp_full cp_tree
    native_copy "$round" dd_full dd_tree
    peak_rss "$round" rss_full "$bin/OrvantaSetup-full.exe"
    peak_rss "$round" rss_1M "$bin/OrvantaSetup-1M.exe"
done

# The executable on a slow medium (a USB stick, a DVD, a network share): a loop-mounted file
# system whose reads are throttled for the timer and what it starts. Timed from the start to
# the first visible window (the progress window) and to the end (the setup UI starts once the
# layout is over, and the stand-in ends at once).
slow_rate_mib=20
slow_note=$work/slow-medium.txt
slow_medium() {
    local blkio=/sys/fs/cgroup/blkio medium=$work/medium group device majmin round plan
    group=$blkio/orvanta-bench-$$
    [ "$(id -u)" -eq 0 ] || { echo "not measured: a throttled loop device needs root" >"$slow_note"; return; }
    [ -f "$blkio/blkio.throttle.read_bps_device" ] ||
        { echo "not measured: no cgroup v1 blkio controller" >"$slow_note"; return; }
    mkdir -p "$medium"
    truncate -s $(($(stat -c %s "$bin/OrvantaSetup-full.exe") + 128 * 1048576)) "$work/medium.img"
    mkfs.ext4 -q -F "$work/medium.img"
    mount -o loop "$work/medium.img" "$medium"
    cp "$bin/OrvantaSetup-full.exe" "$medium/"
    sync
    device=$(findmnt -n -o SOURCE "$medium")
    majmin=$(lsblk -n -o MAJ:MIN "$device" | tr -d ' ')
    mkdir "$group"
    echo "$majmin $((slow_rate_mib * 1048576))" >"$group/blkio.throttle.read_bps_device"
    plan=$work/slow-plan.tsv
    printf 'slow_full\tshown\t%s\t\n' "$(win "$medium/OrvantaSetup-full.exe")" >"$plan"
    for round in $(seq 1 "${BENCH_SLOW_ROUNDS:-3}"); do
        echo "slow medium, round $round"
        dd if="$medium/OrvantaSetup-full.exe" iflag=nocache count=0 status=none
        (echo "$BASHPID" >"$group/cgroup.procs" && exec wine "$timer" "$(win "$plan")" "$round" "$(win "$raw")")
    done
    while read -r pid; do echo "$pid" >"$blkio/cgroup.procs"; done <"$group/cgroup.procs"
    rmdir "$group"
    umount "$medium"
    rm -f "$work/medium.img"
    echo "executable on a loop device with reads throttled to $slow_rate_mib MiB/s" >"$slow_note"
}
slow_medium

# What the payload check costs by itself: each candidate digest over 256 MiB in memory, as
# "label<TAB>MB/s" lines.
wine "$bin/digestspeed.exe" >"$work/digest-speed.tsv" 2>/dev/null
echo "digest throughput (MB/s):"
cat "$work/digest-speed.tsv"

if $with_extract; then
    # What the last package creation committed.
    msiinfo export "$package" Property | tr -d '\r' | grep '_PROPERTY' >"$work/extract-properties.txt" || true
    echo "properties of the created package:"
    cat "$work/extract-properties.txt"
fi
