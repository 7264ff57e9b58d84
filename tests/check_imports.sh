#!/bin/bash
# Every executable we ship must be a PE program of the right width and kind,
# subsystem version 6.0, terminal-server aware, that imports only KnownDLLs:
# no libgcc, libstdc++ or winpthread beside it, and no system DLL that the
# loader would take from a copy beside the executable (newdev, cfgmgr32: the
# launcher loads those from System32 at run time), and no comctl32 at all:
# neither imported, nor named for a load, nor bound by the manifest, whose
# assembly dependencies Windows looks for in <exe>.local\ beside the
# executable first (a manifest may hold no <dependency>). Each image is
# relocatable at a random address, its data not executable (and on x64 with
# high-entropy addresses), and no section is both writable and executable.
#
#   check_imports.sh WIN32_DIR WIN64_DIR   the two build folders: both launchers
#                                          and, where built, their checkers
#   check_imports.sh --files EXE...        these files (the release package's);
#                                          the width is read from each header
#
# The launchers are GUI programs, zarnowel-check.exe a console program.
# Exit 0 all good, 1 a check failed, 77 a launcher of a build folder is not built.
set -u
# The KnownDLLs (HKLM\System\CurrentControlSet\Control\Session Manager\KnownDLLs)
# of Windows 7 to 11 that a program of ours could want, and ntdll (always
# mapped first).
known='^(kernel32|user32|gdi32|shell32|advapi32|setupapi|msvcrt|ole32|oleaut32|comdlg32|shlwapi|imm32|psapi|rpcrt4|ws2_32|ntdll)\.dll$'
# Other DLLs every Windows ships: refused too, with the reason.
system='^(cfgmgr32|newdev|version|winmm|winspool\.drv|uxtheme|dbghelp|crypt32|wintrust|userenv|netapi32)(\.dll)?$'
status=0

# pe_bits FILE: 32, 64, or nothing for a file that is no PE image.
pe_bits() {
  local off machine
  [ "$(head -c2 "$1" 2>/dev/null)" = MZ ] || return 0
  off=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  machine=$(od -An -tx2 -j$((off + 4)) -N2 "$1" | tr -d ' ')
  case $((16#${machine:-0})) in 332) echo 32 ;; 34404) echo 64 ;; esac # 0x14c, 0x8664
}

# check EXE [BITS]: BITS, when given, is the width EXE must have.
check() {
  local exe=$1 want_bits=${2:-} bits od dump format subsystem kind dll_chars dlls d
  bits=$(pe_bits "$exe")
  case $bits in
    32) od=i686-w64-mingw32-objdump format=pei-i386 ;;
    64) od=x86_64-w64-mingw32-objdump format=pei-x86-64 ;;
    *) echo "FAIL: $exe is not a 32- or 64-bit PE image"; status=1; return ;;
  esac
  if [ -n "$want_bits" ] && [ "$bits" != "$want_bits" ]; then
    echo "FAIL: $exe is $bits-bit, want $want_bits-bit"; status=1
  fi
  dump=$("$od" -p "$exe")
  echo "$dump" | grep -q "file format $format" || { echo "FAIL: $exe is not $format"; status=1; }
  case $(basename "$exe") in
    zarnowel-check*.exe) subsystem=3 kind="a console program" ;;
    *) subsystem=2 kind="a GUI program" ;;
  esac
  echo "$dump" | grep -Eq "Subsystem[[:space:]]+0*${subsystem}[[:space:]]" || { echo "FAIL: $exe is not $kind"; status=1; }
  # Launchers 6.0: Vista's rules (heap termination on corruption among them), as their manifests declare.
  if [ "$subsystem" = 2 ] && { ! echo "$dump" | grep -Eq "^MajorSubsystemVersion[[:space:]]+6$" || ! echo "$dump" | grep -Eq "^MinorSubsystemVersion[[:space:]]+0$"; }; then
    echo "FAIL: $exe has subsystem version $(echo "$dump" | sed -n 's/^MajorSubsystemVersion[[:space:]]*//p').$(echo "$dump" | sed -n 's/^MinorSubsystemVersion[[:space:]]*//p'), want 6.0"
    status=1
  fi
  # Terminal-server aware: IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE, 0x8000.
  dll_chars=$(echo "$dump" | sed -n 's/^DllCharacteristics[[:space:]]*//p')
  if [ -z "$dll_chars" ] || [ $((0x$dll_chars & 0x8000)) = 0 ]; then
    echo "FAIL: $exe is not terminal-server aware (DllCharacteristics ${dll_chars:-?})"; status=1
  fi
  # IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE 0x40, NX_COMPAT 0x100, HIGH_ENTROPY_VA 0x20.
  local bit name
  for bit in 0x40:ASLR 0x100:NX $([ "$bits" = 64 ] && echo 0x20:high-entropy-ASLR); do
    name=${bit#*:}
    [ -n "$dll_chars" ] && [ $((0x$dll_chars & ${bit%%:*})) != 0 ] ||
      { echo "FAIL: $exe has $name off (DllCharacteristics ${dll_chars:-?})"; status=1; }
  done
  # objdump -h: a section's flags line lists CODE, and READONLY unless it is writable.
  for name in $("$od" -h "$exe" | awk '/^ *[0-9]+ /{s=$2; next} s && /CODE/ && !/READONLY/{print s} {s=""}'); do
    echo "FAIL: $exe has section $name both writable and executable"; status=1
  done
  if grep -aq '<dependency' "$exe"; then
    echo "FAIL: $exe has a manifest with a <dependency>: Windows looks for the assembly beside it (.local) first"; status=1
  fi
  # The name, in ANSI or UTF-16, in an import or a load.
  if grep -aiq 'comctl32' "$exe" || LC_ALL=C grep -aiqP 'c\x00o\x00m\x00c\x00t\x00l\x003\x002\x00' "$exe"; then
    echo "FAIL: $exe imports or loads comctl32, which is no KnownDLL"; status=1
  fi
  dlls=$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  echo "$exe ($format) imports:" $dlls
  for d in $dlls; do
    echo "$d" | grep -Eq "$known" && continue
    if echo "$d" | grep -Eq "$system"; then
      echo "FAIL: $exe imports $d, a system DLL that is not a KnownDLL: a copy beside the executable would be loaded"
    else
      echo "FAIL: $exe imports non-system $d"
    fi
    status=1
  done
}

if [ "${1:-}" = --files ]; then
  shift
  [ $# -gt 0 ] || { echo "usage: $0 --files EXE..."; exit 2; }
  for exe in "$@"; do
    case $(basename "$exe") in
      zarnowel.exe) check "$exe" 32 ;;
      zarnowel64.exe) check "$exe" 64 ;;
      *) check "$exe" ;;
    esac
  done
else
  win32_dir=$1 win64_dir=$2
  for exe in "$win32_dir/zarnowel.exe" "$win64_dir/zarnowel64.exe"; do
    [ -f "$exe" ] || { echo "SKIP: $exe not built"; exit 77; }
  done
  check "$win32_dir/zarnowel.exe" 32
  check "$win64_dir/zarnowel64.exe" 64
  [ -f "$win32_dir/zarnowel-check.exe" ] && check "$win32_dir/zarnowel-check.exe" 32
  [ -f "$win64_dir/zarnowel-check.exe" ] && check "$win64_dir/zarnowel-check.exe" 64
fi
[ $status = 0 ] && echo "PASS: imports are KnownDLLs only"
exit $status
