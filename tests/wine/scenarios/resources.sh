#!/bin/bash
# The resource set of both executables as Windows sees it: resprobe opens each
# as a data file and reports strings, icons, bitmap, menu, accelerators (and
# what ALT with "?" or "/" does), both dialog templates byte by byte and as
# created dialogs, the version block and the manifest's activation context.
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

# ---- host side: the bytes as compiled, the pictures as generated
if command -v python3 >/dev/null 2>&1; then
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
else
  zw_note "python3 missing: host-side byte checks left out"
fi

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
    if [ "${line:0:1}" = "~" ]; then
      line=${line:1}
      key=${line%%=*} want=${line#*=}
      got=$(value "$key")
      printf '%s\n' "$got" | grep -Eqx -- "$want" || bad+=("$key: '$got' does not match /$want/")
    else
      key=${line%%=*} want=${line#*=}
      got=$(value "$key")
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
  want=$(LC_ALL=C sort <<'EOF'
resource=2/171/0412
resource=3/1/0412
resource=4/109/0412
resource=5/103/0409
resource=5/132/0412
resource=6/7/0412
resource=9/109/0412
resource=14/162/0412
resource=16/1/0412
resource=24/1/0412
EOF
)
  if [ "$got" = "$want" ]; then
    zw_ok "$label: the set of resources, one language each"
  else
    zw_fail "$label: the set of resources:"
    diff <(printf '%s\n' "$want") <(printf '%s\n' "$got") | sed 's/^/    /'
  fi

  expect_group "$label: strings 103 and 109" <<'EOF'
string.103=zarnowel2
string.109=ZARNOWEL2
EOF
  expect_group "$label: no icon 129, icon group 162 with its one 24-bit image" <<'EOF'
icon.129=absent
icon.162=present
icon.162.color=32x32
icon.162.group=type 1 count 1
icon.162.image.1=32x32 colours 0 planes 1 bpp 24 bytes 3240
icon.162.image.1.id=1
icon.162.image.1.stored=3240
EOF
  expect_group "$label: bitmap 171, 32 x 32 at 8 bpp on the dialog colour" <<'EOF'
bitmap.171.bytes=2088
bitmap.171=32x32
bitmap.171.bpp=8
bitmap.171.compression=0
bitmap.171.corner.1=236,233,216
bitmap.171.corner.2=236,233,216
bitmap.171.corner.3=236,233,216
bitmap.171.corner.4=236,233,216
EOF
  expect_group "$label: menu 109" <<'EOF'
menu.count=2
menu.1=popup &File
menu.1.count=1
menu.1.1=105 E&xit
menu.2=popup &Help
menu.2.count=1
menu.2.1=104 &About ...
EOF
  expect_group "$label: accelerators 109, ALT with ? or / gives 104" <<'EOF'
accel.count=2
accel.1=flags 0x10 key 63 cmd 104
accel.2=flags 0x10 key 47 cmd 104
accel.alt.question=104 source 1
accel.alt.slash=104 source 1
accel.alt.x=none
accel.plain.question=none
accel.plain.slash=none
EOF
  expect_group "$label: dialog 103 template" <<'EOF'
dialog.103=extended
dialog.103.style=0x80c808c0
dialog.103.exstyle=0x0
dialog.103.frame=22,17,168,42
dialog.103.menu=
dialog.103.class=
dialog.103.caption=Installation
dialog.103.font=8 System weight 0 italic 0 charset 1
dialog.103.controls=3
dialog.103.control.1=id -1 class 0x0082 style 0x5000000e exstyle 0x0 frame 14,9,16,16
dialog.103.control.1.text=#171
dialog.103.control.2=id -1 class 0x0082 style 0x50020000 exstyle 0x0 frame 44,8,108,8
dialog.103.control.2.text=Installing, now...
dialog.103.control.3=id -1 class 0x0082 style 0x50000000 exstyle 0x20 frame 44,18,117,11
dialog.103.control.3.text=Please wait a moment.
EOF
  expect_group "$label: dialog 132 template" <<'EOF'
dialog.132=plain
dialog.132.style=0x80c808c0
dialog.132.exstyle=0x0
dialog.132.frame=0,0,169,42
dialog.132.menu=
dialog.132.class=
dialog.132.caption=설치중
dialog.132.font=10 System
dialog.132.controls=3
dialog.132.control.1=id -1 class 0x0082 style 0x50020080 exstyle 0x0 frame 39,9,105,8
dialog.132.control.1.text=설치 중입니다.
dialog.132.control.2=id -1 class 0x0082 style 0x50020080 exstyle 0x0 frame 39,21,103,8
dialog.132.control.2.text=잠시만 기다려 주십시오.
dialog.132.control.3=id -1 class 0x0082 style 0x5000000e exstyle 0x0 frame 14,9,16,16
dialog.132.control.3.text=#171
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
  expect_group "$label: version block" <<'EOF'
version=VS_VERSION_INFO
version.signature=0xfeef04bd
version.file=1.0.1.10
version.product=1.0.1.10
version.flagsmask=0x3f
version.flags=0x0
version.os=0x40004
version.type=1
version.subtype=0
version.date=0.0
version.table=041204b0
version.string.FileDescription=zarnowel
version.string.FileVersion=1, 0, 1, 10
version.string.InternalName=zarnowel
version.string.OriginalFilename=zarnowel.exe
version.string.ProductVersion=1, 0, 1, 10
version.string.LegalTrademarks=
version.string.PrivateBuild=
version.string.SpecialBuild=
~version.string.Comments=.+
~version.string.CompanyName=.+
~version.string.LegalCopyright=.+
~version.string.ProductName=.+
version.Translation=0412,1200
EOF
  # The common controls come from the side-by-side store, version 6, of the
  # executable's own width.
  expect_group "$label: manifest binds the $arch common controls 6.0" <<EOF
manifest.bytes=$(wc -c <"$manifest" | tr -d ' ')
manifest.actctx=ok
~manifest.comctl32.path=C:\\\\windows\\\\winsxs\\\\${arch}_microsoft\\.windows\\.common-controls_6595b64144ccf1df_6\\.0\\.[^\\\\]+\\\\comctl32\\.dll
EOF
  # The system's manifest parser keeps the run level (3: requireAdministrator,
  # no UI access), the five operating systems (type 1: an OS) and the DPI
  # setting: a wrong namespace would leave them out without an error.
  expect_group "$label: manifest asks for administrator rights, declares Vista to 10/11, system DPI aware" <<'EOF'
manifest.runlevel=3 uiaccess 0
manifest.supportedos.count=5
manifest.supportedos.1={e2011457-1546-43c5-a5fe-008deee3d3f0} type 1
manifest.supportedos.2={35138b9a-5d96-4fbd-8e2d-a2440225f93a} type 1
manifest.supportedos.3={4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38} type 1
manifest.supportedos.4={1f676c76-80e1-4239-95bb-83d0f6d0da78} type 1
manifest.supportedos.5={8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a} type 1
manifest.dpiaware=true
EOF
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
