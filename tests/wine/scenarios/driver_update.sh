#!/bin/bash
# Device lookup and driver update through the launcher's core (devsetup_core),
# against root-enumerated test devices registered in each prefix (64-bit prefix
# with the 64-bit build, 32-bit with the 32-bit one), the package
# tests/wine/driver/zwtest.inf. The devices, the copied file and Wine's copy of
# the INF are removed again at the end, also when the scenario fails half-way.
source "$(dirname "$0")/../lib.sh"
zw_require_wine

IDS=('ROOT\ZARNOWEL_TEST' 'ROOT\ZARNOWEL_MIXED' 'ROOT\ZARNOWEL_LONG')
# 버퍼가 부족합니다. / 오류 in code page 949, and as UTF-16 code units
BOX_TEXT_CP949='B9 F6 C6 DB B0 A1 20 BA CE C1 B7 C7 D5 B4 CF B4 D9 2E'
BOX_CAPTION_CP949='BF C0 B7 F9'
BOX_TEXT_UTF16='BC84 D37C AC00 0020 BD80 C871 D569 B2C8 B2E4 002E'
BOX_CAPTION_UTF16='C624 B958'
CLASS_KEY_RE='^\{4D36E97D-E325-11CE-BFC1-08002BE10318\}\\[0-9]{4}$'

# devsetup ARGS...: the test program's "key: value" lines; Wine's own
# messages (fixme lines of setupapi and newdev) go to $ZW_WORK/wine.err.
ds() {
  WINEDEBUG=-all,fixme+setupapi zw_run_prog devsetup_core "$@" 2>>"$ZW_WORK/wine.err" | tr -d '\r'
}
# field OUTPUT KEY [N]: the value of the Nth line "KEY: value".
field() { printf '%s\n' "$1" | sed -n "s/^$2: //p" | sed -n "${3:-1}p"; }
count() { printf '%s\n' "$1" | grep -c "^$2: "; }

remove_test_devices() {
  [ -n "${ZW_PROGS:-}" ] && [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX/drive_c" ] || return 0
  local id
  for id in "${IDS[@]}"; do ds remove "$id" >/dev/null; done
  rm -rf "$WINEPREFIX/drive_c/windows/zwtest"
  rm -f "$WINEPREFIX/drive_c/windows/inf/zwtest.inf" "$WINEPREFIX/drive_c/windows/inf/zwtest.pnf"
}
trap 'rc=$?; remove_test_devices; (exit $rc); zw_cleanup' EXIT

korean=0
if (zw_require_locale ko_KR.UTF-8) >/dev/null 2>&1; then korean=1; fi

run_prefix() {
  local arch=$1 models want out show inf
  zw_prefix "$arch"
  [ -f "$(zw_prog devsetup_core)" ] || { zw_fail "devsetup_core.exe not built in $ZW_PROGS"; return; }
  case $arch in win64) models=amd64 want=x64 ;; *) models=x86 want=x86 ;; esac
  zw_scratch driver >/dev/null
  mkdir -p "$ZW_DIR/pkg"
  cp "$ZW_SOURCE_DIR/tests/wine/driver/zwtest.inf" "$ZW_SOURCE_DIR/tests/wine/driver/zwtest.txt" "$ZW_DIR/pkg/"
  inf="$ZW_WDIR\\pkg\\zwtest.inf"
  : >"$ZW_WORK/wine.err"
  remove_test_devices  # what an interrupted earlier run may have left

  out=$(ds create ZarnowelTest 'ROOT\ZARNOWEL_TEST')
  zw_expect_eq "$arch: program width" "$(field "$out" arch)" "$want"
  zw_expect_match "$arch: test device registered" "$(field "$out" created)" '^ROOT\\ZARNOWELTEST\\[0-9]{4}$'
  show=$(ds show 'ROOT\ZARNOWEL_TEST')
  zw_expect_eq "$arch: no driver before the update" "$(field "$show" '  driver')" "(error 13)"
  zw_note "$arch: device node status as Wine reports it: $(field "$show" '  devNodeStatus')"

  # No device matches: nothing is installed, nothing is shown.
  out=$(ds step zarnowel_absent "$inf")
  zw_expect_eq "$arch: no match found" "$(field "$out" find.result)" 0
  zw_expect_eq "$arch: no match, no update" "$(field "$out" update)" "not called"
  zw_expect_eq "$arch: no match, no box" "$(count "$out" box.shownAfterMs)" 0

  # A missing INF file. Windows refuses it; Wine's update reports success
  # without looking at the file, and installs nothing.
  out=$(ds step zarnowel_test "$ZW_WDIR\\pkg\\missing.inf")
  zw_note "$arch: missing INF: result $(field "$out" update.result), last error $(field "$out" update.lastError)"
  zw_expect_eq "$arch: missing INF, Wine's result" "$(field "$out" update.result)" 1
  zw_expect_eq "$arch: missing INF, Wine's last error" "$(field "$out" update.lastError)" 0x0
  show=$(ds show 'ROOT\ZARNOWEL_TEST')
  zw_expect_eq "$arch: missing INF installed nothing" "$(field "$show" '  driver')" "(error 13)"

  # The real package, found by a fragment in another letter case: the driver
  # key, the package's value, the copied file, the models section Wine chose.
  out=$(ds step Zarnowel_Test "$inf")
  printf '%s\n' "$out" | sed "s/^/    [$arch step] /"
  zw_expect_eq "$arch: found" "$(field "$out" find.found)" 'ROOT\ZARNOWEL_TEST'
  zw_expect_eq "$arch: update succeeded" "$(field "$out" update.result)" 1
  zw_expect_eq "$arch: no restart needed" "$(field "$out" update.rebootRequired)" 0
  zw_expect_eq "$arch: no box" "$(count "$out" box.shownAfterMs)" 0
  show=$(ds show 'ROOT\ZARNOWEL_TEST')
  printf '%s\n' "$show" | sed "s/^/    [$arch show] /"
  zw_expect_match "$arch: device has a driver key" "$(field "$show" '  driver')" "$CLASS_KEY_RE"
  zw_expect_eq "$arch: install section recorded" "$(field "$show" '  driverKey.InfSection')" ZwTest.Install
  zw_expect_eq "$arch: INF recorded" "$(field "$show" '  driverKey.InfPath')" zwtest.inf
  zw_expect_eq "$arch: package's value in the driver key" "$(field "$show" '  driverKey.ZarnowelInstalled')" 1
  zw_expect_eq "$arch: models section for the platform" "$(field "$show" '  deviceDesc')" \
    "Zarnowel test device (installed, $models)"
  zw_expect_eq "$arch: no service (raw device)" "$(field "$show" '  service')" "(error 13)"
  zw_expect "$arch: package file copied to C:\\windows\\zwtest" \
    cmp -s "$ZW_DIR/pkg/zwtest.txt" "$WINEPREFIX/drive_c/windows/zwtest/zwtest.txt"
  zw_expect "$arch: INF kept in C:\\windows\\inf" test -f "$WINEPREFIX/drive_c/windows/inf/zwtest.inf"

  # Registered in lower case: the core finds and checks it in upper case, and
  # hands the upper-cased ID to the update, which Wine matches exactly.
  out=$(ds create ZarnowelMixed 'Root\Zarnowel_Mixed')
  zw_expect_match "$arch: lower-case device registered" "$(field "$out" created)" '^ROOT\\ZARNOWELMIXED\\[0-9]{4}$'
  out=$(ds step zarnowel_mixed "$inf")
  zw_expect_eq "$arch: lower-case device found" "$(field "$out" find.found)" 'ROOT\ZARNOWEL_MIXED'
  zw_expect_eq "$arch: lower-case device, Wine's result" "$(field "$out" update.result)" 1
  show=$(ds show 'ROOT\ZARNOWEL_MIXED')
  zw_expect_eq "$arch: lower-case device, Wine installed nothing" "$(field "$show" '  driver')" "(error 13)"

  # A list longer than the 356-byte buffer, enumerated before the match: the
  # Korean box comes up once during the update, which goes on once it closes.
  out=$(ds createlong ZarnowelLong 'ROOT\ZARNOWEL_LONG')
  zw_expect_between "$arch: long list registered (bytes)" "$(field "$out" hardwareIdBytes)" 357 100000
  if [ "$korean" = 1 ]; then
    out=$(LANG=ko_KR.UTF-8 LC_ALL=ko_KR.UTF-8 ds step zarnowel_test "$inf")
  else
    zw_note "$arch: ko_KR.UTF-8 not available: the box is checked by its bytes only"
    out=$(ds step zarnowel_test "$inf")
  fi
  printf '%s\n' "$out" | sed "s/^/    [$arch long] /"
  zw_expect_eq "$arch: one box, from the update's check" "$(count "$out" box.shownAfterMs)" 1
  zw_expect_eq "$arch: box caption bytes" "$(field "$out" box.captionBytes)" "$BOX_CAPTION_CP949"
  zw_expect_eq "$arch: box text bytes" "$(field "$out" box.textBytes)" "$BOX_TEXT_CP949"
  if [ "$korean" = 1 ]; then
    zw_expect_eq "$arch: Korean code page" "$(field "$out" acp)" 949
    zw_expect_eq "$arch: box caption in Korean" "$(field "$out" box.caption)" "$BOX_CAPTION_UTF16"
    zw_expect_eq "$arch: box text in Korean" "$(field "$out" box.text)" "$BOX_TEXT_UTF16"
  fi
  local called shown closed returned
  called=$(field "$out" update.calledAfterMs)
  shown=$(field "$out" box.shownAfterMs)
  closed=$(field "$out" box.closedAfterMs)
  returned=$(field "$out" update.returnedAfterMs)
  zw_expect_between "$arch: box during the update (shown, ms)" "${shown:-x}" "${called:-0}" "${returned:-0}"
  zw_expect_between "$arch: update went on after the box (returned, ms)" "${returned:-x}" "${closed:-0}" 600000
  zw_expect_eq "$arch: update after the box succeeded" "$(field "$out" update.result)" 1

  zw_note "$arch: Wine's own report:"
  sort -u "$ZW_WORK/wine.err" | grep -E 'fixme:(setupapi|newdev)' | sed -E 's/^[0-9a-f]+://; s/ (0x)?[0-9A-Fa-f]{8,16}//g' | sort -u |
    sed 's/^/    /' | head -20

  remove_test_devices
  show=$(ds show 'ROOT\ZARNOWEL_TEST')
  zw_expect_eq "$arch: test devices removed again" "$(field "$show" devices)" 0
}

run_prefix win64
run_prefix win32
zw_finish
