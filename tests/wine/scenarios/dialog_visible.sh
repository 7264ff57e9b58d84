#!/bin/bash
# The progress dialog of a supervised item (parameters other than " "), with
# an English and a Korean system locale: while the item's helper runs it sees
# a visible top-level dialog, "Installation" (Korean "설치중"), of the
# launcher's, with the two texts of its template; the dialog goes away once
# the helper has ended, and the next item (a direct start, which shows no
# dialog) starts after that. A watcher started before the launcher logs every
# change of the visible windows, so the dialog's appearance and disappearance
# have time stamps of their own.
#
# 64-bit prefix with zarnowel64.exe started directly; the 32-bit prefix with
# zarnowel.exe too (ZW_DIALOG_PREFIXES="win64" leaves it out).
source "$(dirname "$0")/../lib.sh"
zw_require_wine

BASE_LANG=${LANG:-C.UTF-8}
# The bitmap control's window text as Wine reports it: the resource ordinal
# of its template entry, U+FFFF and 171 (U+00AB), i.e. bitmap 171.
BITMAP=$(printf '\357\277\277\302\253')
korean=1
(zw_require_locale ko_KR.UTF-8) >/dev/null 2>&1 || korean=0

# awk over the watcher's "windows" lines: APPEARED and GONE, the time stamps of
# the first line that lists the dialog and of the first later one that does
# not; SHOWINGS, how many separate times it was listed.
dialog_times() {
  zw_log_lines watch windows | awk -F'\t' -v cap="$1" '
    { listed = index(" ; " $5 " ; ", " ; " cap " [#32770] {") > 0 }
    listed && !was { showings++; if (!appeared) appeared = $1 }
    !listed && was && !gone { gone = $1 }
    { was = listed }
    END { printf "%s %s %d\n", appeared ? appeared : 0, gone ? gone : 0, showings }'
}

# run_dialog ARCH EXE LANGUAGE SLACK_MS, in the prefix ARCH
run_dialog() {
  local arch=$1 exe=$2 language=$3 slack=$4 caption text1 text2 lcid
  if [ "$language" = kor ]; then
    caption="설치중" text1="설치 중입니다." text2="잠시만 기다려 주십시오." lcid=0x412
    zw_korean
  else
    caption="Installation" text1="Installing, now..." text2="Please wait a moment." lcid=0x409
    export LANG=$BASE_LANG
    unset LC_ALL
  fi
  local what="$arch $language"
  zw_wine_reset # every process after this sees the locale
  zw_scratch dialog_visible >/dev/null
  local app="$ZW_DIR/app"
  zw_install_launcher "$app"
  zw_helper "$app" busy.exe 4000
  zw_helper "$app" next.exe 500
  zw_helper "$ZW_DIR" watch.exe 600000
  zw_ini "$app" <<'EOF'
[SetupList]
Setup1=1,busy.exe,/quiet
Setup2=1,next.exe, ,
EOF

  zw_wine "$ZW_DIR/watch.exe" >/dev/null 2>&1 &
  local watcher=$!
  zw_wait_log watch windows 1 60 || return
  ZW_EXE=$exe zw_start_launcher "$app"
  # The dialog, its owner and its controls, while the item runs (answer only
  # looks at visible windows and, with no action given, only reports).
  local found rc
  found=$(zw_run_prog answer --caption "$caption" --class '#32770' --timeout 60000 2>/dev/null)
  rc=$?
  found=${found//$'\r'/}
  zw_expect_eq "$what: a visible dialog captioned '$caption' comes up" "$rc" 0
  zw_expect_match "$what: it is the launcher's" "$(grep $'^found\t' <<<"$found")" \
    " visible=1 pid=[0-9]+ image=${exe//./\\.} after="
  # No control id in the templates: -1, which a DIALOG (not DIALOGEX) template holds in 16 bits.
  zw_expect_eq "$what: its controls (bitmap and two texts) are visible statics" \
    "$(grep -Ec $'^text\tid=(-1|65535) class=Static visible=1 text=' <<<"$found")" 3
  zw_wait_launcher
  zw_note "$what: $exe ran $((ZW_END_MS - ZW_START_MS)) ms"
  zw_expect_eq "$what: exit code" "$ZW_RC" 0

  zw_expect_eq "$what: system locale seen by the item" "$(zw_log_text busy locale)" "lcid=$lcid acp=$([ "$language" = kor ] && echo 949 || echo 1252)"
  zw_expect_eq "$what: supervised item started once" "$(zw_log_count busy started)" 1
  zw_expect_eq "$what: ... with its parameters" "$(zw_log_text busy tail)" "[/quiet]"
  # The controls in template order: the English one has the bitmap first.
  local children="$BITMAP|$text1|$text2"
  [ "$language" = kor ] && children="$text1|$text2|$BITMAP"
  local want=" ; $caption [#32770] {$children} ; "
  if zw_log_lines busy windows | cut -f5- | sed 's/^/ ; /; s/$/ ; /' | grep -Fq -- "$want"; then
    zw_ok "$what: the item sees '$caption' with '$text1', '$text2' and bitmap 171"
  else
    zw_fail "$what: the item never saw '$caption [#32770] {$children}'; it saw:"
    zw_log_lines busy windows | cut -f5- | sed 's/^/    /'
  fi

  local appeared gone showings busy_end
  read -r appeared gone showings < <(dialog_times "$caption")
  busy_end=$(zw_log_ms busy ended)
  zw_note "$what: dialog listed at +$((appeared - ZW_START_MS)) ms, gone $((gone - busy_end)) ms after busy.exe ended"
  zw_expect_eq "$what: the watcher saw the dialog once" "$showings" 1
  zw_expect_between "$what: the dialog was up before the item ended (ms before its end)" \
    "$((busy_end - appeared))" 1 60000
  zw_expect_between "$what: the dialog went away after the item ended (ms)" "$((gone - busy_end))" 0 "$slack"
  zw_expect_eq "$what: next item started once" "$(zw_log_count next started)" 1
  zw_expect_between "$what: the next item started after the dialog had gone (ms)" \
    "$(($(zw_log_ms next started) - gone))" 0 30000
  zw_expect_no_match "$what: no dialog while the direct item runs" \
    "$(zw_log_lines next windows | cut -f5-)" "(^| ; )$caption \\[#32770\\]"

  zw_wine_reset
  wait "$watcher" 2>/dev/null
}

for arch in ${ZW_DIALOG_PREFIXES:-win64 win32}; do
  exe=zarnowel.exe slack=4000
  [ "$arch" = win64 ] && exe=zarnowel64.exe slack=2000
  zw_prefix "$arch"
  run_dialog "$arch" "$exe" eng "$slack"
  if [ "$korean" = 1 ]; then
    run_dialog "$arch" "$exe" kor "$slack"
  else
    zw_fail "$arch: the Korean run needs the locale ko_KR.UTF-8"
  fi
done
zw_finish
