#!/usr/bin/env bash
# Installs the cross toolchain, Wine and the installer tools on a Debian 12 or 13 machine, and
# makes sure this host can run Wine's 32-bit programs. Does nothing when everything is
# already there; needs root otherwise.
set -euo pipefail

need=()
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686-posix mingw-w64-tools)
command -v cmake >/dev/null || need+=(cmake)
command -v make >/dev/null || need+=(make)
command -v wine >/dev/null || need+=(wine wine64)
dpkg -s wine32:i386 >/dev/null 2>&1 || need+=(wine32:i386)
command -v xvfb-run >/dev/null || need+=(xvfb)
command -v xauth >/dev/null || need+=(xauth)
command -v msiinfo >/dev/null || need+=(msitools)
command -v faketime >/dev/null || need+=(faketime)
command -v wixl >/dev/null || need+=(wixl)
# The build records the XXH3 digest of every payload.
command -v xxhsum >/dev/null || need+=(xxhash)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
command -v convert >/dev/null && convert -version 2>/dev/null | grep -q ImageMagick || need+=(imagemagick)
command -v xwd >/dev/null || need+=(x11-apps)
# Japanese and Chinese glyphs: Wine draws the dialogs' shell font with this font in a ja or zh process.
[ -f /usr/share/fonts/truetype/wqy/wqy-microhei.ttc ] || need+=(fonts-wqy-microhei)
# Authenticode signing, and the throwaway certificates of its test.
command -v osslsigncode >/dev/null || need+=(osslsigncode)
command -v openssl >/dev/null || need+=(openssl)
command -v git >/dev/null || need+=(git)
# The slow-medium test's file system on a loop device.
command -v mkfs.ext4 >/dev/null || need+=(e2fsprogs)

export DEBIAN_FRONTEND=noninteractive

# apt-get update, tried again while a mirror fails for a while (an index caught in a mirror
# sync, a network hiccup). An index that failed counts even where apt goes on without it:
# its old or missing list can fail the install later (wine32:i386 must match the amd64 Wine).
update_tries=3
update_pause=20
apt_update() {
  local log try status failed
  log=$(mktemp)
  for ((try = 1; try <= update_tries; try++)); do
    set +e
    apt-get update -qq 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    set -e
    if [ "$status" -eq 0 ] && ! grep -Eq '^[WE]: (Failed to fetch|Some index files failed)' "$log"; then
      rm -f "$log"
      return
    fi
    if [ "$try" -lt "$update_tries" ]; then
      echo "apt-get update failed (try $try of $update_tries); trying again in $update_pause s" >&2
      sleep "$update_pause"
    fi
  done
  # The index: apt's "Failed to fetch URL", else the repository without a Release file, else
  # apt's last error.
  failed=$(sed -n 's/^[WE]: Failed to fetch \([^ ]*\).*/\1/p' "$log" | head -n 1)
  [ -n "$failed" ] || failed=$(sed -n "s/^E: The repository '\([^']*\)'.*/\1/p" "$log" | head -n 1)
  [ -n "$failed" ] || failed=$(sed -n 's/^E: //p' "$log" | tail -n 1)
  rm -f "$log"
  echo "error: apt-get update failed $update_tries times, $update_pause s apart, on ${failed:-an index apt did not name}: try again later (a mirror in sync recovers within hours), or use another Debian mirror in /etc/apt/sources.list or /etc/apt/sources.list.d/" >&2
  exit 1
}

if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${need[*]} (run this script as root to install them)" >&2
    exit 1
  fi
  echo "installing: ${need[*]}"
  dpkg --add-architecture i386
  apt_update
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# Wine's loader for 32-bit Windows programs is itself a 32-bit Linux program. A kernel
# booted without 32-bit emulation (ia32_emulation=off) cannot start it; there, the user-mode
# emulator qemu-i386, registered with binfmt_misc, runs every 32-bit program Wine starts.
binfmt=/proc/sys/fs/binfmt_misc
handler=qemu-i386
# An i386 ELF executable or shared object (e_type 2 or 3, e_machine 3).
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
# Debian 12's own qemu-user (7.2) needs about a minute for every Wine process to start;
# from 8.1 on it takes a fraction of a second.
minimum_qemu=1:8.1

runs_32bit_programs() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

cannot_run_32bit_programs() {
  echo "error: this kernel runs no 32-bit programs, so Wine cannot start the 32-bit Windows programs of this project, and $1." >&2
  echo "Boot the kernel with ia32_emulation=on, or run scripts/install-deps.sh as root on the host (not in a container) to run them under qemu-i386." >&2
  exit 1
}

qemu_version() {
  dpkg-query -W -f '${Version}' qemu-user 2>/dev/null || true
}

qemu_is_recent_enough() {
  local version
  version=$(qemu_version)
  [ -n "$version" ] && [ -x /usr/bin/qemu-i386 ] && dpkg --compare-versions "$version" ge "$minimum_qemu"
}

# A later Debian's own qemu-user is recent enough; Debian 12 takes it, and nothing else,
# from the backports suite of the mirror it already uses.
install_qemu() {
  apt_update
  local candidate codename mirror
  candidate=$(apt-cache policy qemu-user | awk '/Candidate:/ { print $2 }')
  if [ -n "$candidate" ] && [ "$candidate" != "(none)" ] &&
     dpkg --compare-versions "$candidate" ge "$minimum_qemu"; then
    apt-get install -y -qq --no-install-recommends qemu-user >/dev/null
    return
  fi
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ "$codename" = bookworm ] ||
    cannot_run_32bit_programs "no qemu-user $minimum_qemu or later can be installed on this system"
  if ! apt-get indextargets --format '$(RELEASE)' | grep -qx bookworm-backports; then
    mirror=$(apt-get indextargets --format '$(RELEASE) $(SITE)' | awk '$1 == "bookworm" { print $2; exit }')
    [ -n "$mirror" ] || cannot_run_32bit_programs "no Debian mirror for bookworm-backports was found"
    echo "deb $mirror bookworm-backports main" >/etc/apt/sources.list.d/bookworm-backports.list
    apt_update
  fi
  apt-get install -y -qq --no-install-recommends qemu-user/bookworm-backports >/dev/null
}

register_qemu() {
  grep -qw binfmt_misc /proc/filesystems ||
    cannot_run_32bit_programs "the kernel has no binfmt_misc to run them under qemu-i386"
  if ! mountpoint -q "$binfmt"; then
    mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null ||
      cannot_run_32bit_programs "binfmt_misc cannot be mounted here to run them under qemu-i386"
  fi
  if [ -e "$binfmt/$handler" ]; then
    echo -1 >"$binfmt/$handler" 2>/dev/null ||
      cannot_run_32bit_programs "the earlier qemu-i386 handler cannot be replaced here"
  fi
  # Flag F: the kernel opens the emulator now, so it also runs in chroots and containers.
  printf '%s' ":$handler:M::$magic:$mask:/usr/bin/qemu-i386:F" >"$binfmt/register" 2>/dev/null ||
    cannot_run_32bit_programs "this system may not register a binfmt_misc handler to run them under qemu-i386"
}

if ! runs_32bit_programs; then
  [ "$(id -u)" -eq 0 ] ||
    cannot_run_32bit_programs "only root can set up qemu-i386 to run them"
  qemu_is_recent_enough || install_qemu
  register_qemu
  runs_32bit_programs ||
    cannot_run_32bit_programs "the 32-bit Wine loader does not start under qemu-i386 either"
  echo "this kernel runs no 32-bit programs: registered qemu-i386 $(qemu_version) with binfmt_misc to run Wine's 32-bit programs"
fi
