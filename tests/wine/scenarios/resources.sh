#!/bin/bash
# The resource set of both executables as Windows sees it: resprobe opens each
# as a data file and reports strings, icons, bitmap, menu, accelerators (and
# what ALT with "?" or "/" does), both dialogs as created (their template
# bytes are the host's check), the version block and the manifest's activation context.
# Under a Korean system the Korean dialog made by an ANSI program shows its
# Hangul caption and texts. Before Wine starts, the resource bytes are checked
# on the host as well (tools/check_resources.py) and the committed pictures
# against their generator (tools/make_images.py --check).
source "$(dirname "$0")/../lib.sh"
zw_require_wine

EXE32=$ZW_WIN32_DIR/zarnowel.exe
EXE64=$ZW_WIN64_DIR/zarnowel64.exe
[ -f "$EXE32" ] || zw_skip "zarnowel.exe not built in $ZW_WIN32_DIR (build the win32 preset)"
[ -f "$EXE64" ] || zw_skip "zarnowel64.exe not built in $ZW_WIN64_DIR (build the win64 preset)"
PROBE32=$ZW_WIN32_DIR/tests/wine/progs/resprobe.exe
PROBE64=$ZW_WIN64_DIR/tests/wine/progs/resprobe.exe
if [ ! -f "$PROBE32" ] || [ ! -f "$PROBE64" ]; then zw_skip "resprobe.exe not built in both preset folders"; fi
command -v python3 >/dev/null 2>&1 || zw_skip "python3 is not installed (the expected values are in tools/)"

# ---- host side: the bytes as compiled, the pictures as generated
if out=$(python3 "$ZW_SOURCE_DIR/tools/check_resources.py" "$EXE32" "$EXE64" 2>&1); then
  zw_ok "resource bytes of both executables"
else
  zw_fail "resource bytes:"
  printf '%s\n' "$out" | sed 's/^/    /'
fi
if out=$(python3 "$ZW_SOURCE_DIR/tools/make_images.py" --check 2>&1); then
  zw_ok "bitmap and icon are the generator's output"
else
  zw_fail "pictures: $out"
fi

# The expected values that the host byte check holds too: written once, in
# tools/check_resources.py; table ERE gives those lines of it.
TABLE=$(python3 "$ZW_SOURCE_DIR/tools/check_resources.py" --probe-table) || zw_skip "python3 cannot give the resource table"
table() { grep -E -- "$1" <<<"$TABLE"; }
# expect_group at the end of a pipeline counts in this shell.
shopt -s lastpipe

# probe PROGRAM EXE: resprobe's report on EXE, in OUT.
probe() {
  OUT=$(zw_wine "$1" "$(zw_winpath "$2")" 2>"$ZW_WORK/probe.err" | tr -d '\r')
  zw_check_crash "$ZW_WORK/probe.err" resprobe
}

# value KEY: the value of OUT's first line "KEY=...", or <missing>.
value() {
  printf '%s\n' "$OUT" | awk -v k="$1" 'index($0, k "=") == 1 { print substr($0, length(k) + 2); found = 1; exit }
                                        END { if (!found) print "<missing>" }'
}

# expect_group WHAT < lines "KEY=VALUE" (exact) or "~KEY=ERE" (whole value
# matches): one check for the group, every mismatch listed.
expect_group() {
  local what=$1 line key want got bad=()
  while IFS= read -r line; do
    [ -z "$line" ] && continue
    key=${line#\~} want=${line#*=}
    key=${key%%=*}
    got=$(value "$key")
    if [ "${line:0:1}" = "~" ]; then
      printf '%s\n' "$got" | grep -Eqx -- "$want" || bad+=("$key: '$got' does not match /$want/")
    else
      [ "$got" = "$want" ] || bad+=("$key: '$got', expected '$want'")
    fi
  done
  if [ ${#bad[@]} = 0 ]; then
    zw_ok "$what"
  else
    zw_fail "$what:"
    printf '    %s\n' "${bad[@]}"
  fi
}

# check_all LABEL ARCH MANIFEST-FILE: every locale-independent value.
check_all() {
  local label=$1 arch=$2 manifest=$3 got want
  got=$(printf '%s\n' "$OUT" | grep '^resource=' | LC_ALL=C sort)
  want=$(table '^resource=' | LC_ALL=C sort)
  if [ "$got" = "$want" ]; then
    zw_ok "$label: the set of resources, one language each"
  else
    zw_fail "$label: the set of resources:"
    diff <(printf '%s\n' "$want") <(printf '%s\n' "$got") | sed 's/^/    /'
  fi

  table '^string\.' | expect_group "$label: strings 103 and 109"
  { table '^icon\.'; cat <<'EOF'; } | expect_group "$label: no icon 129, icon group 162 with its one 24-bit image"
icon.129=absent
icon.162=present
icon.162.color=32x32
icon.162.group=type 1 count 1
icon.162.image.1.id=1
EOF
  { table '^bitmap\.'; cat <<'EOF'; } | expect_group "$label: bitmap 171, 32 x 32 at 8 bpp on the dialog colour"
bitmap.171=32x32
bitmap.171.bpp=8
bitmap.171.compression=0
bitmap.171.corner.1=236,233,216
bitmap.171.corner.2=236,233,216
bitmap.171.corner.3=236,233,216
bitmap.171.corner.4=236,233,216
EOF
  table '^menu\.' | expect_group "$label: menu 109"
  { table '^accel\.'; cat <<'EOF'; } | expect_group "$label: accelerators 109, ALT with ? or / gives 104"
accel.alt.question=104 source 1
accel.alt.slash=104 source 1
accel.alt.x=none
accel.plain.question=none
accel.plain.slash=none
EOF
  # A plain template's identifier is a WORD: -1 comes back as 65535.
  expect_group "$label: both dialogs as windows, three Statics, bitmap at 32 x 32" <<'EOF'
window.103.caption=Installation
window.103.children=3
window.103.child.1=class Static id -1 size 32x32
window.103.child.1.image=32x32
~window.103.child.2=class Static id -1 size [0-9]+x[0-9]+
window.103.child.2.text=Installing, now...
~window.103.child.3=class Static id -1 size [0-9]+x[0-9]+
window.103.child.3.text=Please wait a moment.
window.132.children=3
~window.132.child.1=class Static id (-1|65535) size [0-9]+x[0-9]+
~window.132.child.2=class Static id (-1|65535) size [0-9]+x[0-9]+
~window.132.child.3=class Static id (-1|65535) size 32x32
window.132.child.3.image=32x32
EOF
  { table '^version\.'; cat <<'EOF'; } | expect_group "$label: version block"
version=VS_VERSION_INFO
~version.string.Comments=.+
~version.string.CompanyName=.+
~version.string.LegalCopyright=.+
~version.string.ProductName=.+
EOF
  # The manifest binds no assembly: the common controls, if anything loads
  # them, are the system folder's, never the side-by-side store's.
  expect_group "$label: manifest binds no common controls" <<EOF
manifest.bytes=$(wc -c <"$manifest" | tr -d ' ')
manifest.actctx=ok
~manifest.comctl32.path=C:\\\\windows\\\\(system32|syswow64)\\\\comctl32\\.dll
EOF
  # The system's manifest parser keeps the run level (3: requireAdministrator,
  # no UI access), the five operating systems (type 1: an OS) and the DPI
  # setting: a wrong namespace would leave them out without an error.
  { table '^manifest\.'; cat <<'EOF'; } |
manifest.runlevel=3 uiaccess 0
manifest.dpiaware=true
EOF
    expect_group "$label: manifest asks for administrator rights, declares Vista to 10/11, system DPI aware"
}

# check_korean LABEL: the Korean dialog as an ANSI program gets it on a Korean system.
check_korean() {
  expect_group "$1: Korean system, dialog 132 shows its Hangul" <<'EOF'
acp=949
window.132.caption=설치중
window.132.caption.ansi=설치중
window.132.child.1.text=설치 중입니다.
window.132.child.2.text=잠시만 기다려 주십시오.
window.103.caption=Installation
window.103.child.2.text=Installing, now...
EOF
}

zw_prefix win64

probe "$PROBE64" "$EXE64"
check_all zarnowel64.exe amd64 "$ZW_SOURCE_DIR/res/zarnowel64.manifest"
# Outside Korea the same ANSI dialog can't show Hangul: the system code page decides.
zw_expect_no_match "zarnowel64.exe: English system, no Hangul in the ANSI caption" \
  "$(value window.132.caption.ansi)" '설치중'

probe "$PROBE32" "$EXE32"
check_all zarnowel.exe x86 "$ZW_SOURCE_DIR/res/zarnowel.manifest"

zw_wine_reset
zw_korean
probe "$PROBE32" "$EXE32"
check_korean zarnowel.exe
probe "$PROBE64" "$EXE64"
check_korean zarnowel64.exe

zw_finish
