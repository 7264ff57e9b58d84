#!/bin/bash
# Both executables must be PE GUI programs of the right width that import only
# DLLs every Windows ships: no libgcc, libstdc++ or winpthread beside them.
set -u
win32_dir=$1 win64_dir=$2
objdump_for() { case $1 in 32) echo i686-w64-mingw32-objdump ;; 64) echo x86_64-w64-mingw32-objdump ;; esac; }
allowed='^(kernel32|user32|gdi32|shell32|comctl32|advapi32|setupapi|cfgmgr32|newdev|msvcrt|ntdll|ole32)\.dll$'
status=0
check() {
  local exe=$1 bits=$2 format=$3
  if [ ! -f "$exe" ]; then echo "SKIP: $exe not built"; exit 77; fi
  local od; od=$(objdump_for "$bits")
  local dump; dump=$("$od" -p "$exe")
  echo "$dump" | grep -q "file format $format" || { echo "FAIL: $exe is not $format"; status=1; }
  echo "$dump" | grep -Eq 'Subsystem[[:space:]]+0*2[[:space:]]' || { echo "FAIL: $exe is not a GUI program"; status=1; }
  local dlls; dlls=$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  echo "$exe ($format) imports:" $dlls
  for d in $dlls; do
    echo "$d" | grep -Eq "$allowed" || { echo "FAIL: $exe imports non-system $d"; status=1; }
  done
}
check "$win32_dir/zarnowel.exe" 32 pei-i386
check "$win64_dir/zarnowel64.exe" 64 pei-x86-64
[ $status = 0 ] && echo "PASS: imports are system DLLs only"
exit $status
