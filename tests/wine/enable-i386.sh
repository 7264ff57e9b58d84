#!/bin/bash
# Makes 32-bit x86 Linux programs (Wine's 32-bit loader) runnable.
#
# Some virtual machines run 64-bit user code only: the kernel answers every
# i386 execve with ENOEXEC, so wine32 cannot start and neither can any 32-bit
# Windows program. There the i386 loader is run under qemu-user, registered
# with binfmt_misc. qemu 7.2 (Debian 12) ignores MAP_FIXED_NOREPLACE, so Wine
# cannot place its shared user data and every process takes about a minute to
# fail; the qemu of bookworm-backports (10.x) works.
#
#   enable-i386.sh            register the emulator if needed (root); exit 0 when
#                             i386 programs run, 1 when they can't be made to
#   enable-i386.sh --install  also install qemu-user-static from bookworm-backports
#   enable-i386.sh --check    only tell, change nothing
set -u
mode=${1:-}
loader=/usr/lib/wine/wine
qemu=/usr/bin/qemu-i386-static
min_qemu_major=10

runs_i386() { [ -x "$loader" ] && "$loader" --version >/dev/null 2>&1; }

if [ ! -x "$loader" ]; then echo "enable-i386: $loader missing (package wine32:i386)"; exit 1; fi
if runs_i386; then exit 0; fi
[ "$mode" = --check ] && { echo "enable-i386: this kernel does not run i386 programs"; exit 1; }
if [ "$(id -u)" != 0 ]; then echo "enable-i386: i386 programs don't run and only root can register an emulator"; exit 1; fi

qemu_major() { "$qemu" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p'; }

current=$(qemu_major)
if [ "$mode" = --install ] && [ "${current:-0}" -lt "$min_qemu_major" ]; then
  list=/etc/apt/sources.list.d/zarnowel-backports.sources
  if ! apt-cache policy 2>/dev/null | grep -q bookworm-backports; then
    printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm-backports' \
      'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' >"$list"
    apt-get update -qq
  fi
  echo "enable-i386: installing qemu-user-static from bookworm-backports"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends -t bookworm-backports \
    qemu-user-static >/dev/null
fi
if [ ! -x "$qemu" ]; then echo "enable-i386: $qemu missing (run with --install)"; exit 1; fi
major=$(qemu_major)
if [ "${major:-0}" -lt "$min_qemu_major" ]; then
  echo "enable-i386: qemu-i386 $major is too old for Wine (need $min_qemu_major or later; run with --install)"
  exit 1
fi

binfmt=/proc/sys/fs/binfmt_misc
[ -e $binfmt/register ] || mount -t binfmt_misc binfmt_misc $binfmt || { echo "enable-i386: cannot mount $binfmt"; exit 1; }
# Our entry may point at an older emulator (F opens the file at registration);
# entries registered later are tried first, so ours wins over stale ones.
[ -e $binfmt/zarnowel-i386 ] && echo -1 >$binfmt/zarnowel-i386
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
echo ":zarnowel-i386:M::$magic:$mask:$qemu:F" >$binfmt/register || { echo "enable-i386: registration refused"; exit 1; }
if runs_i386; then
  echo "enable-i386: i386 programs now run under qemu-i386 $major"
  exit 0
fi
echo "enable-i386: registered qemu-i386 $major, but $loader still does not run"
exit 1
