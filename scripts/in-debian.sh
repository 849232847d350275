#!/usr/bin/env bash
# Runs a command in a fresh root of a Debian release, on a clean clone of this checkout's
# committed state, with an empty environment, as a new user of that release would run it.
# Usage: in-debian.sh RELEASE COMMAND...   (RELEASE: 12 or bookworm, 13 or trixie, 11 or bullseye)
# Example: bash scripts/in-debian.sh 13 bash scripts/test.sh
#
# The release's base root is made once by debootstrap (minbase, from the mirror this host's
# apt uses, or ORVANTA_DEBIAN_MIRROR) and kept in ORVANTA_DEBIAN_CACHE (default
# /var/cache/orvanta-debian), one folder per release: base/ is the root, archives/ keeps the
# packages apt downloads in it. Each run works on a copy of base/ that is removed afterwards;
# delete a release's folder to make its root anew. Needs root.
set -euo pipefail

fail() {
    echo "error: $*" >&2
    exit 1
}

[ $# -ge 2 ] || fail "usage: bash scripts/in-debian.sh RELEASE COMMAND... (RELEASE 12 or 13, say)"
case $1 in
    11 | bullseye) release=11 codename=bullseye ;;
    12 | bookworm) release=12 codename=bookworm ;;
    13 | trixie) release=13 codename=trixie ;;
    *) fail "unknown Debian release '$1' (known: 11 bullseye, 12 bookworm, 13 trixie)" ;;
esac
shift

[ "$(id -u)" -eq 0 ] || fail "in-debian.sh needs root, for debootstrap, chroot and mounts"
# The root of a user namespace (a rootless container) may neither make device files nor own
# files as other users, both of which a Debian root needs.
read -r _ _ mapped </proc/self/uid_map
[ "$mapped" = 4294967295 ] ||
    fail "this root is the root of a user namespace (a rootless container?), which cannot make a Debian root; run in-debian.sh as the host's root"
for tool in debootstrap unshare chroot git flock findmnt; do
    command -v "$tool" >/dev/null ||
        fail "in-debian.sh needs $tool, which this host does not have (Debian: apt-get install debootstrap git util-linux)"
done
unshare --mount --pid --fork true 2>/dev/null ||
    fail "this host lets no process mount file systems in a namespace of its own (a container without CAP_SYS_ADMIN?), so no root can be set up here"

checkout=$(cd "$(dirname "$0")/.." && pwd)
git -C "$checkout" rev-parse -q --verify HEAD >/dev/null || fail "$checkout has no commit to clone"
if [ -n "$(git -C "$checkout" status --porcelain --untracked-files=no)" ]; then
    echo "note: the root gets the last commit of $checkout; its uncommitted changes are left out" >&2
fi

mirror=${ORVANTA_DEBIAN_MIRROR:-}
if [ -z "$mirror" ] && command -v apt-get >/dev/null; then
    # The site of the host's own release, else any Debian site but the security one.
    host=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}") || true
    sites=$(apt-get indextargets --format '$(RELEASE) $(SITE)' 2>/dev/null || true)
    mirror=$(awk -v host="$host" '$1 == host { print $2; exit }' <<<"$sites")
    [ -n "$mirror" ] || mirror=$(awk '$1 !~ /-security$/ { print $2; exit }' <<<"$sites")
fi
[ -n "$mirror" ] || fail "no Debian mirror found in this host's apt sources; name one in ORVANTA_DEBIAN_MIRROR"

cache=${ORVANTA_DEBIAN_CACHE:-/var/cache/orvanta-debian}/$codename
mkdir -p "$cache/archives/partial"
# One run per release at a time: the runs share the base and apt's package cache.
exec 9>"$cache/lock"
if ! flock -n 9; then
    echo "waiting for another in-debian.sh run in Debian $release to end" >&2
    flock 9
fi
# A run holds the lock until its last process ends, so a run's copy seen now was left by one
# that was killed outright.
for stale in "$cache"/run.*; do
    if [ -d "$stale" ]; then rm -rf --one-file-system "$stale"; fi
done

if [ ! -d "$cache/base" ]; then
    echo "making the Debian $release ($codename) base root in $cache/base from $mirror (once)"
    rm -rf --one-file-system "$cache/base.new"
    # debootstrap mounts /proc and /sys in the new root; a namespace of its own drops them
    # even when it fails half-way.
    if ! unshare --mount debootstrap --variant=minbase "$codename" "$cache/base.new" "$mirror" \
        >"$cache/debootstrap.log" 2>&1; then
        tail -n 5 "$cache/debootstrap.log" >&2
        fail "debootstrap of $codename from $mirror failed; its output is in $cache/debootstrap.log"
    fi
    # Packages installed in the root start no services.
    printf '#!/bin/sh\nexit 101\n' >"$cache/base.new/usr/sbin/policy-rc.d"
    chmod +x "$cache/base.new/usr/sbin/policy-rc.d"
    mv "$cache/base.new" "$cache/base"
fi

run=$(mktemp -d "$cache/run.XXXXXX")
root=$run/root
child=

# Processes whose root is the run's root; all of them are ended with the namespace.
in_root() {
    local link
    for link in /proc/[0-9]*/root; do
        [ "$(readlink "$link" 2>/dev/null)" = "$root" ] && return 0
    done
    return 1
}

cleanup() {
    local status=$?
    trap - EXIT INT TERM HUP
    if [ -n "$child" ] && kill -0 "$child" 2>/dev/null; then
        kill -KILL "$child" 2>/dev/null || true
        wait "$child" 2>/dev/null || true
    fi
    for _ in $(seq 50); do
        in_root || break
        sleep 0.2
    done
    # The mounts live in the run's own namespace; one seen here would take host files along.
    if findmnt -rn -o TARGET | grep -q "^$run/"; then
        echo "error: something is still mounted under $run; it is left for you to unmount and remove" >&2
        exit "$status"
    fi
    rm -rf --one-file-system "$run"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

cp -a --reflink=auto "$cache/base" "$root"
rm -f "$root/etc/resolv.conf"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
git clone -q --no-hardlinks "$checkout" "$root/root/orvanta"
echo "running in Debian $release ($codename), in /root/orvanta: $*"

# Inside a mount and PID namespace of the run's own: its mounts and its processes end with
# it, whatever way it ends. /tmp is the host's: X displays are numbered through lock files
# in /tmp and their sockets are shared with the host's network namespace, so xvfb-run -a in
# the root must see the displays of the host's own runs.
inner='
set -e
root=$1 archives=$2
shift 2
mount -t proc proc /proc
mount -t proc proc "$root/proc"
mount --rbind /sys "$root/sys"
mount --rbind /dev "$root/dev"
mount --bind /tmp "$root/tmp"
mount --bind "$archives" "$root/var/cache/apt/archives"
set +e
chroot "$root" /usr/bin/env -i \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    /bin/sh -c "cd /root/orvanta && exec \"\$@\"" sh "$@"
status=$?
# When this first process ends, the kernel kills the others at once. What the command left
# running (an X server that xvfb-run told to stop, which then removes its lock file from the
# shared /tmp) gets a TERM and up to 10 s to end first, as it would outside.
kill -TERM -1 2>/dev/null
for _ in $(seq 100); do
    alive=
    for stat in /proc/[0-9]*/stat; do
        [ "$stat" != /proc/1/stat ] && read -r _ _ state _ <"$stat" 2>/dev/null &&
            [ "$state" != Z ] && alive=1
    done
    [ -z "$alive" ] && break
    sleep 0.1
done
exit "$status"
'
unshare --mount --propagation private --pid --fork --kill-child \
    bash -c "$inner" inner "$root" "$cache/archives" "$@" <&0 &
child=$!
set +e
wait "$child"
status=$?
set -e
child=
exit "$status"
