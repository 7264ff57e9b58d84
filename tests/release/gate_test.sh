#!/bin/bash
# scripts/release-gate.sh on doctored copies of the built executables: each
# case is one folder as the release would stage it, one fault in it (or none),
# and whether the gate must let it through. Needs the win32 and win64 builds.
#   gate_test.sh WIN32_DIR WIN64_DIR
set -u
src=$(cd "$(dirname "$0")/../.." && pwd)
win32=$1 win64=$2
for f in "$win32/zarnowel.exe" "$win32/zarnowel-check.exe" "$win64/zarnowel64.exe"; do
  [ -f "$f" ] || { echo "SKIP: $f not built"; exit 77; }
done
command -v i686-w64-mingw32-objdump >/dev/null || { echo "SKIP: mingw-w64 binutils missing"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0

# edit FILE CODE: runs CODE (Python) over the file's bytes d, with opt the
# offset of its PE optional header and swap(old, new) replacing bytes found
# exactly once by as many others.
edit() {
  python3 - "$@" <<'PY'
import struct, sys
p = sys.argv[1]
d = bytearray(open(p, "rb").read())
opt = struct.unpack_from("<I", d, 0x3C)[0] + 24
def swap(old, new):
    global d
    assert len(old) == len(new) and d.count(old) == 1, "%r not found once" % old
    d = d.replace(old, new)
exec(sys.argv[2])
open(p, "wb").write(d)
PY
}
# A non-system DLL in place of ADVAPI32.dll in the import table.
foreign_import() { edit "$1" 'swap(b"ADVAPI32.dll", b"libstdc6.dll")'; }
# pad FILE BYTES: trailing data up to exactly BYTES (the loader ignores it).
pad() { truncate -s "$2" "$1"; }

fault_none() { :; }
fault_launcher32_import() { foreign_import "$1/zarnowel.exe"; }
fault_launcher64_import() { foreign_import "$1/zarnowel64.exe"; }
fault_checker_import() { edit "$1/zarnowel-check.exe" 'swap(b"KERNEL32.dll", b"pthread1.dll")'; }
# newdev.dll in place of SHELL32.dll: a system DLL, but not a KnownDLL.
fault_launcher64_newdev() { edit "$1/zarnowel64.exe" 'swap(b"SHELL32.dll\0", b"newdev.dll\0\0")'; }
# Subsystem version 4.0, as the toolchain's default for i686 was.
fault_launcher32_subsystem4() { edit "$1/zarnowel.exe" 'struct.pack_into("<HH", d, opt + 48, 4, 0)'; }
fault_stray_exe() { mkdir -p "$1/example/tools"; cp "$1/zarnowel.exe" "$1/example/tools/extra.exe"; foreign_import "$1/example/tools/extra.exe"; }
fault_launcher64_over() { pad "$1/zarnowel64.exe" 262145; }
fault_launcher64_at_limit() { pad "$1/zarnowel64.exe" 262144; }
fault_launcher32_over() { pad "$1/zarnowel.exe" 300000; }
fault_checker_large() { pad "$1/zarnowel-check.exe" 400000; }
fault_sibling_missing() { rm "$1/zarnowel64.exe"; }
fault_widths_swapped() { cp "$1/zarnowel64.exe" "$1/zarnowel.exe"; }
# clear FILE BIT: DllCharacteristics without BIT.
clear() { edit "$1" "struct.pack_into('<H', d, opt + 70, struct.unpack_from('<H', d, opt + 70)[0] & ~$2)"; }
fault_launcher32_aslr() { clear "$1/zarnowel.exe" 0x40; }
fault_launcher64_nx() { clear "$1/zarnowel64.exe" 0x100; }
fault_launcher64_high_entropy() { clear "$1/zarnowel64.exe" 0x20; }
# .text made writable (IMAGE_SCN_MEM_WRITE).
fault_launcher32_wx() { edit "$1/zarnowel.exe" '
s = opt + struct.unpack_from("<H", d, opt - 4)[0]
while bytes(d[s:s + 5]) != b".text": s += 40
struct.pack_into("<I", d, s + 36, struct.unpack_from("<I", d, s + 36)[0] | 0x80000000)'; }
# The manifest given a dependency, and comctl32 in place of ADVAPI32.dll.
fault_launcher32_manifest() { edit "$1/zarnowel.exe" 'swap(b"<description>", b"<dependency/>")'; }
fault_launcher64_comctl32() { edit "$1/zarnowel64.exe" 'swap(b"ADVAPI32.dll", b"COMCTL32.dll")'; }
# DllCharacteristics without TERMINAL_SERVER_AWARE (0x8000).
fault_not_tsaware() { edit "$1/zarnowel.exe" 'struct.pack_into("<H", d, opt + 70, struct.unpack_from("<H", d, opt + 70)[0] & ~0x8000)'; }

# case | exit code of the gate | what its output must say (ERE)
cases=(
  "none|0|gate passed: 3 executables"
  "launcher32_import|1|FAIL: .*/zarnowel\.exe imports non-system libstdc6\.dll"
  "launcher64_import|1|FAIL: .*/zarnowel64\.exe imports non-system libstdc6\.dll"
  "checker_import|1|FAIL: .*/zarnowel-check\.exe imports non-system pthread1\.dll"
  "launcher64_newdev|1|FAIL: .*/zarnowel64\.exe imports newdev\.dll, a system DLL that is not a KnownDLL"
  "launcher32_subsystem4|1|FAIL: .*/zarnowel\.exe has subsystem version 4\.0, want 6\.0"
  "stray_exe|1|FAIL: .*/example/tools/extra\.exe imports non-system"
  "launcher64_over|1|REFUSED: zarnowel64\.exe is 262145 bytes, more than 262144"
  "launcher64_at_limit|0|zarnowel64\.exe: 262144 bytes \(at most 262144\)"
  "launcher32_over|1|REFUSED: zarnowel\.exe is 300000 bytes"
  "checker_large|0|gate passed"
  "sibling_missing|1|REFUSED: .*/zarnowel64\.exe is missing"
  "widths_swapped|1|zarnowel\.exe is 64-bit, want 32-bit"
  "not_tsaware|1|zarnowel\.exe is not terminal-server aware"
  "launcher32_aslr|1|zarnowel\.exe has ASLR off"
  "launcher64_nx|1|zarnowel64\.exe has NX off"
  "launcher64_high_entropy|1|zarnowel64\.exe has high-entropy-ASLR off"
  "launcher32_wx|1|zarnowel\.exe has section \.text both writable and executable"
  "launcher32_manifest|1|zarnowel\.exe has a manifest with a <dependency>"
  "launcher64_comctl32|1|zarnowel64\.exe imports or loads comctl32"
)
for row in "${cases[@]}"; do
  IFS='|' read -r name want_rc want_text <<<"$row"
  dir=$work/$name
  mkdir -p "$dir"
  cp "$win32/zarnowel.exe" "$win32/zarnowel-check.exe" "$win64/zarnowel64.exe" "$dir/"
  "fault_$name" "$dir"
  out=$(bash "$src/scripts/release-gate.sh" "$dir" 2>&1)
  rc=$?
  if [ "$rc" = "$want_rc" ] && printf '%s\n' "$out" | grep -Eq -- "$want_text"; then
    echo "ok: $name (exit $rc)"
  else
    echo "FAIL: $name: exit $rc (want $want_rc), output must match /$want_text/:"
    printf '%s\n' "$out" | sed 's/^/    /'
    fails=$((fails + 1))
  fi
done
[ $fails = 0 ] && echo "PASS: release gate (${#cases[@]} cases)" || echo "FAIL: release gate ($fails of ${#cases[@]} cases)"
[ $fails = 0 ]
