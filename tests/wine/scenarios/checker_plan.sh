#!/bin/bash
# zarnowel-check built for Windows prints the same plan, text and JSON, with
# the same exit code, as the Linux build for the same folder: the bundled
# example, a list full of mistakes with and without --silent, and a folder
# without a list. The folder lies outside drive_c, so Wine names it Z:\...,
# as the Linux build does; only line ends are normalised. The 32-bit build,
# emulated where the kernel runs no 32-bit code, is compared once (about 3 s).
source "$(dirname "$0")/../lib.sh"
zw_require_wine
zw_prefix win64

# The Linux build: ZW_HOST_DIR, else the build folder CTest runs this from,
# else the host preset's.
host_checker=
for d in "${ZW_HOST_DIR:-}" "$PWD/../.." "$ZW_SOURCE_DIR/build/host"; do
  if [ -n "$d" ] && [ -x "$d/zarnowel-check" ]; then host_checker="$d/zarnowel-check"; break; fi
done
[ -n "$host_checker" ] || zw_skip "zarnowel-check not built for Linux (build the host preset, or set ZW_HOST_DIR)"
win_checker="$ZW_WIN64_DIR/zarnowel-check.exe"
[ -f "$win_checker" ] || zw_skip "zarnowel-check.exe not built in $ZW_WIN64_DIR (build the win64 preset)"
[ "$(zw_pe_bits "$win_checker")" = 64 ] || zw_fail "$win_checker is not a 64-bit program"
zw_note "Linux: $host_checker; Windows: $win_checker"

media_root=$(realpath "$ZW_WORK")/media
mkdir -p "$media_root"

# compare NAME FOLDER ARGS...: both builds on FOLDER; the same output and exit code.
compare() {
  local name=$1 folder=$2
  shift 2
  local wfolder="Z:${folder//\//\\}"
  local lin="$ZW_WORK/$name.linux" win="$ZW_WORK/$name.windows"
  (cd / && "$host_checker" "$@" "$folder") >"$lin" 2>"$lin.err"
  LIN_RC=$?
  (cd "$WINEPREFIX/drive_c" && zw_wine "${CHECKER:-$win_checker}" "$@" "$wfolder") >"$win.raw" 2>"$win.err"
  WIN_RC=$?
  zw_check_crash "$win.err" "zarnowel-check.exe"
  tr -d '\r' <"$win.raw" >"$win"
  zw_expect_eq "$name: exit code, Windows = Linux" "$WIN_RC" "$LIN_RC"
  if cmp -s "$lin" "$win"; then
    zw_ok "$name: the same plan ($(wc -l <"$lin" | tr -d ' ') lines)"
  else
    zw_fail "$name: the plans differ (< Linux, > Windows):"
    diff "$lin" "$win" | head -40 | sed 's/^/    /'
  fi
  OUT=$(cat "$lin")
}

# ---- the bundled example with its stand-in installers
example="$media_root/example"
mkdir -p "$example"
cp -r "$ZW_SOURCE_DIR/examples/." "$example/"
for f in tool.exe runtime/rtsetup.exe rtpost.exe app/appsetup.exe; do
  mkdir -p "$(dirname "$example/$f")"
  echo x >"$example/$f"
done
compare example "$example"
zw_expect_eq "example: no warning" "$LIN_RC" 0
zw_expect_match "example: four items, the last under the dialog" "$OUT" 'starts     \.\\appsetup\.exe under the dialog'
compare example_json "$example" --json
zw_expect_match "example JSON: exit code in the document" "$OUT" '"exitCode": 0'
compare example_silent "$example" --silent
zw_expect_match "example --silent: the silent section" "$OUT" '^section \[SetupSilent\] \(with /s\)'

# ---- a list full of mistakes; names on the disk in other letter cases
bad="$media_root/Mistakes"
mkdir -p "$bad/Sub" "$bad/Drivers"
echo x >"$bad/SETUP.MSI"
echo x >"$bad/Sub/Prog.EXE"
echo x >"$bad/tool.exe"
echo x >"$bad/Drivers/Dev.INF"
long=$(printf 'w%.0s' $(seq 1 150))
zw_ini "$bad" <<EOF
[SetupSilent]
Setup2=1,never.exe, ,
[SetupList]
Setup1=1,setup.msi, ,msiexec.exe
Setup2=1,sub\\prog.exe,/q,a.exe~*.tmp,yes
Setup3=2,tool.exe, ,
Setup4=0,drivers\\dev.inf,PCI\\VEN_1234
Setup5=1,sub\\prog.exe, 
Setup6=2,D:\\x\\b.exe, ,a.exe*b.exe
Setup7=1,nodir\\x.exe,,x.exe,1
Setup8=1,prog.exe, ,$long
Setup10=1,after.exe, ,
EOF
compare mistakes "$bad"
zw_expect_eq "mistakes: warnings" "$LIN_RC" 1
for code in msiexec_wait wait_separator dialog_wildcard reboot_flag missing_file blank_dropped copy_drive_letter \
  empty_field value_cut key_gap; do
  zw_expect_match "mistakes: $code" "$OUT" "\\[$code\\]"
done
# The current directory keeps the letter case the list gives, as on Windows.
zw_expect_match "mistakes: the lasting directory change is followed" "$OUT" \
  'copies     \.\\tool\.exe in Z:.*\\Mistakes\\sub \(missing\)'
compare mistakes_json "$bad" --json
compare mistakes_silent "$bad" --silent
zw_expect_match "mistakes --silent: falls back to [SetupList]" "$OUT" '\[silent_fallback\]'
win32_checker="$ZW_WIN32_DIR/zarnowel-check.exe"
if [ -f "$win32_checker" ]; then
  CHECKER=$win32_checker compare mistakes_32bit "$bad"
else
  zw_note "no 32-bit build in $ZW_WIN32_DIR: only the 64-bit one compared"
fi

# ---- no list at all
empty="$media_root/empty"
mkdir -p "$empty"
compare nolist "$empty"
zw_expect_eq "no list: exit code 2" "$LIN_RC" 2

zw_finish
