#!/bin/bash
# Before it opens a Windows Installer package the launcher waits while another
# installation holds the installer's mutex (Global\_MSIExecute); it ends only
# an msiexec.exe that the run itself started, so installations of others
# survive. Stand-ins (helper copies named msiexec.exe, in a folder of the
# scratch area, started from outside before the launcher) log "started", and
# "ended" only when they run their course; a watch inside Wine (procprobe)
# reads their exit code. None of them is ended. Round 1: two of them, the
# package started directly (no waitList), while the Windows Installer service
# runs as a third msiexec.exe (a stand-in registered as msiserver): the
# service manager names its process, which is never ended. Round 2: three of
# them, the package through the ProgressDialog: all three run their course
# (20 s) and are waited for as "msiexec.exe". Round 3: two of them again, no
# waitList, while a stand-in installation (procprobe --hold-mutex) holds the
# mutex for 5 s from just before the launcher starts: the package does not
# start until it is released. (Wine's own msiexec does not take the mutex.)
# 64-bit prefix, zarnowel64.exe (native: no emulation).
source "$(dirname "$0")/../lib.sh"
source "$ZW_LIB_DIR/msi/msi.sh"
zw_require_wine
zw_prefix win64
zw_msi_require
zw_scratch msi_terminate >/dev/null

app="$ZW_DIR/app"
fakes="$ZW_DIR/busy"
zw_install_launcher "$app"
zw_msi_build "$app" || zw_finish
zw_helper "$app" after.exe 300
mkdir -p "$fakes"
cp "$ZW_PROGS/helper.exe" "$fakes/msiexec.exe"

FAKE_PIDS=() # Unix pids of their loaders
# start_fake MS: one more stand-in msiexec.exe running MS milliseconds.
start_fake() {
  local before
  before=$(zw_log_count msiexec conf)
  zw_helper_time msiexec.exe "$1"
  (cd "$fakes" && exec /usr/lib/wine/wine64 "$fakes/msiexec.exe") >/dev/null 2>&1 &
  FAKE_PIDS+=($!)
  # It reads its run time right after "started": wait for that before the
  # next one gets another.
  zw_wait_log msiexec conf $((before + 1)) 60
}

# [SERVICE=1] [HOLD_MS=MS] [WAITLIST=W] round NAME FAKES MS PARAMETERS:
# FAKES stand-ins running MS milliseconds, then the list, its package started
# with PARAMETERS and the waitList W (default msiexec.exe). SERVICE=1: the
# Windows Installer service runs (a stand-in named msiexec.exe as well) from
# before the stand-ins. HOLD_MS: the installer's mutex is held that long from
# just before the launcher starts.
round() {
  local name=$1 count=$2 ms=$3 params=$4 hold=${HOLD_MS:-} service='' i
  zw_wine_reset
  : >"$ZW_LOG_FILE"
  FAKE_PIDS=()
  zw_msi_remove
  [ -z "${SERVICE:-}" ] || zw_msi_service_stand_in || return 1
  zw_ini "$app" <<EOF
[SetupList]
Setup1=1,zwpackage.msi,$params,${WAITLIST-msiexec.exe}
Setup2=1,after.exe,/x
EOF
  zw_msi_watch
  if [ -n "${SERVICE:-}" ]; then
    zw_msi_service_start || return 1
    service=$ZW_MSI_SERVICE_PID
  fi
  for i in $(seq 1 "$count"); do
    start_fake "$ms"
  done
  local fakePids
  fakePids=$(zw_log_lines msiexec started | cut -f3 | sort -n)
  zw_expect_eq "$name: $count stand-ins run before the launcher starts" "$(grep -c . <<<"$fakePids")" "$count"
  local holder=
  if [ -n "$hold" ]; then
    zw_run_prog procprobe --hold-mutex 'Global\_MSIExecute' "$hold" >/dev/null 2>&1 &
    holder=$!
    zw_wait_log procprobe mutex-held 1 60
  fi
  ZW_EXE=zarnowel64.exe ZW_TIMEOUT=180 zw_run_launcher "$app"
  zw_msi_watch_stop
  if [ -n "$holder" ]; then
    wait "$holder"
    zw_expect_eq "$name: the stand-in installation held the mutex and released it" "$?" 0
  fi
  zw_expect_eq "$name: exit code" "$ZW_RC" 0
  zw_expect "$name: the package's file is installed" cmp -s "$ZW_MSI_INSTALLED" "$ZW_MSI_SRC/zwpayload.txt"

  # The package's own msiexec is the one process of that name that is no stand-in.
  local real
  real=$(zw_msi_events seen | awk -v s="$service" 'NR == FNR { fake[$1] = 1; next } !($2 in fake) && $2 != s { print $2 }' \
    <(echo "$fakePids") -)
  if [ -n "$service" ]; then
    # The service is the first msiexec.exe of all in the snapshot's order,
    # which is the order of creation, so it is the first the launcher meets.
    local serviceCreated fakeCreated p
    serviceCreated=$(zw_log_lines procprobe seen | cut -f5 | grep "^pid=$service " | sed -n 's/.* created_ft=\([0-9]*\) .*/\1/p')
    zw_expect "$name: the watch saw the service's msiexec.exe" test -n "$serviceCreated"
    for p in $fakePids; do
      fakeCreated=$(zw_log_lines procprobe seen | cut -f5 | grep "^pid=$p " | sed -n 's/.* created_ft=\([0-9]*\) .*/\1/p')
      zw_expect "$name: the service started before stand-in $p" \
        test -n "$serviceCreated" -a -n "$fakeCreated" -a "${serviceCreated:-0}" -lt "${fakeCreated:-0}"
    done
    zw_expect_eq "$name: the service's process was not ended (never gone during the run)" \
      "$(zw_log_lines procprobe gone | cut -f5 | grep -c "^pid=$service ")" 0
    zw_expect_eq "$name: the service was not stopped" "$(zw_log_count procprobe service-stopped)" 0
  fi
  zw_expect_eq "$name: one msiexec.exe of the package's own" "$(grep -c . <<<"$real")" 1
  local realSeen
  realSeen=$(zw_msi_time seen "$real")
  local realCreatedFt
  realCreatedFt=$(zw_log_lines procprobe seen | cut -f5 | grep "^pid=$real " | sed -n 's/.* created_ft=\([0-9]*\) .*/\1/p')
  zw_expect "$name: the creation time of the package's msiexec is known" test "${realCreatedFt:-0}" -gt 0
  local ended=0 killed=0 running=0 lastGone=0 p gone
  for p in $fakePids; do
    gone=$(zw_msi_time gone "$p")
    [ -n "$gone" ] && [ "$gone" -gt "$lastGone" ] && lastGone=$gone
    if zw_log_lines msiexec ended | cut -f3 | grep -qx "$p"; then
      ended=$((ended + 1))
      continue
    fi
    # Still there when the watch stopped, after the launcher had ended.
    if [ -z "$gone" ]; then
      running=$((running + 1))
      continue
    fi
    killed=$((killed + 1))
    # The watch looks every 20 ms, often seeing a stand-in gone in the same pass
    # that first sees the package's msiexec: the order is told by the system's
    # own exit and creation times.
    local endedFt
    endedFt=$(zw_log_lines procprobe gone | cut -f5 | grep "^pid=$p " | sed -n 's/.* ended_ft=\([0-9]*\) .*/\1/p')
    zw_expect "$name: stand-in $p ended before the package's msiexec was created" \
      test "${endedFt:-0}" -gt 0 -a "${endedFt:-0}" -lt "${realCreatedFt:-0}"
    zw_expect "$name: stand-in $p seen gone no later than the pass after the package's msiexec appeared" \
      test -n "$gone" -a "${gone:-0}" -le $((realSeen + 40))
    zw_expect_between "$name: stand-in $p ended after the launcher started (ms)" $((gone - ZW_START_MS)) 0 15000
  done
  zw_expect_eq "$name: stand-ins ended from outside (no 'ended' line)" "$killed" 0
  # The package's msiexec tells when the launcher came to the package.
  REACHED_MS=$((realCreatedFt / 10000 - 11644473600000 - ZW_START_MS))
  if [ -n "$hold" ]; then
    local releasedFt releasedMs
    releasedFt=$(zw_log_text procprobe mutex-released | sed -n 's/.* ft=\([0-9]*\)$/\1/p')
    releasedMs=$((${releasedFt:-0} / 10000 - 11644473600000))
    # Without the mutex (round 1) the launcher comes to the package within
    # REACHED_MS of its start; here the mutex outlasts that by seconds.
    zw_expect_between "$name: the mutex was released well after the launcher would have come to the package (ms)" \
      $((releasedMs - ZW_START_MS - ROUND1_REACHED_MS)) 2000 10000
    zw_expect_between "$name: the package's msiexec was created once the mutex was released (ms)" \
      $(((realCreatedFt - ${releasedFt:-0}) / 10000)) 0 3000
    zw_expect "$name: the package's msiexec was created after the release" test "${realCreatedFt:-0}" -gt "${releasedFt:-0}"
  fi
  zw_expect_eq "$name: stand-ins that ran their course or still ran after the launcher" "$((ended + running))" "$count"
  # No stand-in ended during the run but by itself (TerminateProcess would
  # have left 259).
  zw_expect_eq "$name: exit codes of the stand-ins ended from outside (none)" \
    "$(for p in $fakePids; do zw_log_lines msiexec ended | cut -f3 | grep -qx "$p" ||
      zw_log_lines procprobe gone | cut -f5 | grep "^pid=$p " | sed 's/.*exit=//'; done | sort | uniq -c | awk '{ print $1 "x" $2 }')" ""
  # The stand-ins that still run end with the prefix.
  [ "$running" = 0 ] || zw_wine_reset
  local pid
  for pid in "${FAKE_PIDS[@]}"; do wait "$pid"; done
  zw_expect_match "$name: the package's msiexec ended normally" "$(zw_log_lines procprobe gone | cut -f5 | grep "^pid=$real ")" ' exit=0$'

  local realGone started
  realGone=$(zw_msi_time gone "$real")
  [ "$lastGone" -gt "${realGone:-0}" ] || lastGone=$realGone
  started=$(zw_log_ms after started)
  zw_expect "$name: the helper item started after every msiexec.exe had gone" test -n "$started" -a "${started:-0}" -gt "$lastGone"
  zw_note "$name: the package's msiexec was created ${REACHED_MS} ms after the launcher started;" \
    "helper started $((started - lastGone)) ms after the last msiexec.exe had gone"
}

# The service runs on: a waitList naming msiexec.exe would wait for it.
SERVICE=1 WAITLIST='' round "the service and two stand-ins, direct start" 2 600000 " "
zw_msi_service_undo
ROUND1_REACHED_MS=${REACHED_MS:-0}
# None is ended; they run their 20 s, which outlast the package, so the
# dialog waits for them.
round "three stand-ins, dialog" 3 20000 "/qn"
zw_expect "round 2: the helper item waited for the surviving stand-ins" \
  test "$(zw_log_ms after started)" -gt "$(zw_log_ms msiexec ended -1)"
# No waitList: the stand-ins, someone else's, run on for minutes.
WAITLIST='' HOLD_MS=5000 round "two stand-ins, the installer busy for 5 s" 2 600000 " "

zw_msi_remove
zw_finish
