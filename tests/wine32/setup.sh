#!/usr/bin/env bash
# Lets this machine start 32-bit Linux programs through QEMU's user-mode
# emulation, which the 32-bit Wine loader needs for the i686 deliverables.
# Does only what is missing: the i386 architecture, qemu-user and
# wine32:i386, the binfmt_misc file system and the qemu-i386 entry.
#
# Exit 0 when a 32-bit program starts; exit 3 with one line on stdout that
# says why not when the emulation cannot be set up here.
set -u

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
log=$(mktemp)
trap 'rm -f "$log"' EXIT

unavailable() {
  local said
  said=$(grep -v '^[[:space:]]*$' "$log" 2>/dev/null | tail -n 1)
  echo "wine32: emulation unavailable: $1${said:+ ($said)}"
  exit 3
}

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

if ! installed qemu-user || ! installed wine32:i386; then
  echo "wine32: installing qemu-user wine32:i386"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386 >"$log" 2>&1 || unavailable "dpkg --add-architecture i386 failed"
  fi
  $sudo apt-get update >"$log" 2>&1 || unavailable "apt-get update failed"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y qemu-user wine32:i386 >"$log" 2>&1 ||
    unavailable "apt-get install qemu-user wine32:i386 failed"
fi

binfmt=/proc/sys/fs/binfmt_misc
if ! mountpoint -q "$binfmt"; then
  $sudo mount -t binfmt_misc binfmt_misc "$binfmt" >"$log" 2>&1 ||
    unavailable "binfmt_misc cannot be mounted on $binfmt"
fi
if [ ! -e "$binfmt/qemu-i386" ]; then
  entry=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F'
  # bash's echo leaves the \x escapes alone: the kernel decodes them.
  $sudo bash -c "echo '$entry' > $binfmt/register" >"$log" 2>&1 ||
    unavailable "the kernel refused the qemu-i386 binfmt_misc entry"
fi
[ "$(cat "$binfmt/status" 2>/dev/null)" = enabled ] || { : >"$log"; unavailable "binfmt_misc is disabled ($binfmt/status)"; }
head -n 1 "$binfmt/qemu-i386" 2>/dev/null | grep -qx enabled || { : >"$log"; unavailable "the qemu-i386 binfmt_misc entry is disabled"; }

# The proof: the 32-bit Wine loader itself, a 32-bit Linux program.
/usr/lib/wine/wine --version >"$log" 2>&1 || unavailable "the 32-bit Wine loader does not start"
exit 0
