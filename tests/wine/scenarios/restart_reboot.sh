#!/bin/bash
# The restart itself, in throw-away copies of both prefixes: the question
# answered Yes, and the silent run (/s), which asks nothing. A relay trace of
# the launcher shows each step reaching Wine in order with its arguments (the
# table below), no error report, and WM_QUIT posted afterwards; the launcher
# ends by itself with exit code 1641 (a restart was started).
#
# Wine's ExitWindowsEx starts "wineboot --kill": every other process of the
# prefix ends unfinished (bystander.exe), then the RunOnce entries of a
# restarted Windows run (afterboot.exe, its parent wineboot.exe). The prefix
# has been "restarted": hence the copies.
#
# 64-bit prefix: zarnowel64.exe started directly, so that the trace is of the
# process that restarts. 32-bit prefix: zarnowel.exe, every process emulated.
source "$(dirname "$0")/../lib.sh"
zw_require_wine

RELAY="advapi32.OpenProcessToken;advapi32.LookupPrivilegeValueA;advapi32.AdjustTokenPrivileges"
RELAY+=";advapi32.InitiateShutdownW;user32.ExitWindowsEx;user32.MessageBoxA;user32.PostQuitMessage"
RUNONCE='HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce'

# throwaway ARCH: from here on WINEPREFIX is a copy of the cached prefix (whose
# lock is held), removed with the scenario's work folder at exit.
throwaway() {
  zw_prefix "$1"
  local copy="$ZW_WORK/prefix-$1" t0
  t0=$(zw_now_ms)
  cp -a --reflink=auto "$WINEPREFIX" "$copy" || zw_skip "could not copy the $1 prefix into $copy"
  export WINEPREFIX=$copy
  zw_note "$1: throw-away copy of the prefix made in $(($(zw_now_ms) - t0)) ms"
  # Relay only these calls: the trace stays small and the timing near normal.
  wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ /d "$RELAY" /f >/dev/null 2>&1
}

# calls FUNCTION: the relay lines of the launcher's calls of FUNCTION.
calls() { grep -aE "^[0-9a-f]+:(Call|Ret) +[a-z0-9]+\.$1\(" "$ZW_ERR"; }

# restart_run ARCH EXE yes|silent SLACK_MS
restart_run() {
  local exe=$2 mode=$3 slack=$4 what="$1 $3"
  zw_scratch restart_reboot >/dev/null
  app="$ZW_DIR/app"
  zw_install_launcher "$app"
  zw_helper "$app" item.exe 500
  zw_helper "$app" bystander.exe 600000
  zw_helper "$app" afterboot.exe 500
  zw_ini "$app" <<'EOF'
[SetupList]
Setup1=1,item.exe, ,absent.exe,1
[SetupSilent]
Setup1=1,item.exe, ,absent.exe,1
EOF
  wine reg add "$RUNONCE" /v zwafterboot /t REG_SZ /d "$(zw_winpath "$app/afterboot.exe")" /f >/dev/null 2>&1
  zw_expect "$what: afterboot.exe registered to run once" \
    wine reg query "$RUNONCE" /v zwafterboot >/dev/null 2>&1
  zw_wine "$app/bystander.exe" >/dev/null 2>&1 &
  local bystander=$!
  zw_wait_log bystander windows 1 90

  local switch=(/s) before=""
  [ "$mode" = yes ] && switch=()
  ZW_EXE=$exe WINEDEBUG=+relay,+process zw_start_launcher "$app" "${switch[@]}"
  if [ "$mode" = yes ]; then
    zw_run_prog answer --caption "System Rebooting" --timeout 180000 >/dev/null 2>&1
    # bystander.exe looks every 100 ms: let it see the question before it goes.
    zw_wait_log_match bystander windows 'System Rebooting \[' 30
    zw_run_prog answer --caption "System Rebooting" --press yes --timeout 10000 >/dev/null 2>&1
    zw_expect_eq "$what: the question answered Yes" "$?" 0
    before="MessageBoxA "
  fi
  zw_wait_launcher
  # 1641: the restart was started (its low 8 bits, 105, reach the shell).
  zw_expect_eq "$what: exit code" "$ZW_RC" 105
  zw_expect_eq "$what: the item ran once" "$(zw_log_count item ended)" 1

  # The steps as Wine received them: one message box at most (the question),
  # so no step was reported as failed.
  zw_expect_eq "$what: calls in order" \
    "$(grep -aoE '^[0-9a-f]+:Call +(advapi32|user32)\.[A-Za-z]+' "$ZW_ERR" | sed 's/.*\.//' | tr '\n' ' ')" \
    "${before}OpenProcessToken LookupPrivilegeValueA AdjustTokenPrivileges InitiateShutdownW ExitWindowsEx PostQuitMessage "
  # MODE;FUNCTION;WHAT;ERE over the relay lines of FUNCTION. InitiateShutdownW
  # is found by name: SHUTDOWN_RESTART | SHUTDOWN_FORCE_OTHERS | SHUTDOWN_FORCE_SELF,
  # 30 s; 0x80040002: SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION
  # | SHTDN_REASON_FLAG_PLANNED. A 64-bit relay line shows whole registers: a
  # DWORD may come with stale high digits.
  local only fn desc re
  while IFS=';' read -r only fn desc re; do
    [ "$only" = all ] || [ "$only" = "$mode" ] || continue
    zw_expect_match "$what: $desc" "$(calls "$fn")" "$re"
  done <<'EOF'
yes;MessageBoxA;the question's texts and style (Yes/No, question icon, topmost);^[0-9a-f]+:Call user32\.MessageBoxA\(0+,[0-9a-f]+ "Reboot system now\?",[0-9a-f]+ "System Rebooting",00040024\)
yes;MessageBoxA;answered IDYES;Ret +user32\.MessageBoxA\(\) retval=00000006
all;OpenProcessToken;own token opened with 0x28;^[0-9a-f]+:Call advapi32\.OpenProcessToken\((ffffffff|ffffffffffffffff),00000028,
all;OpenProcessToken;token opened;retval=00000001
all;LookupPrivilegeValueA;shutdown privilege looked up on the local system;LookupPrivilegeValueA\(0+,[0-9a-f]+ "SeShutdownPrivilege",
all;AdjustTokenPrivileges;privilege adjusted, not all disabled, no previous state;AdjustTokenPrivileges\([0-9a-f]+,00000000,[0-9a-f]+,00000000,0+,0+\)
all;InitiateShutdownW;InitiateShutdownW first: local, the notice, 30 s, restart forcing every session;Call advapi32\.InitiateShutdownW\(0+,[0-9a-f]+ L"The installation has finished\. The system restarts to complete it\.",[0-9a-f]*0000001e,[0-9a-f]*00000007,[0-9a-f]*80040002\)
all;InitiateShutdownW;Wine answers ERROR_CALL_NOT_IMPLEMENTED;Ret +advapi32\.InitiateShutdownW\(\) retval=00000078
all;ExitWindowsEx;reboot forced (EWX_REBOOT | EWX_FORCE), a planned installation;Call user32\.ExitWindowsEx\(00000006,80040002\)
all;ExitWindowsEx;Wine accepted the request;Ret +user32\.ExitWindowsEx\(\) retval=00000001
all;PostQuitMessage;WM_QUIT with 1641 (a restart started) posted after it;PostQuitMessage\(00000669\)
EOF
  local tid
  tid=$(calls ExitWindowsEx | head -n1 | cut -d: -f1)
  zw_expect_match "$what: the launcher ended by itself (its DLLs detached), not killed" \
    "$(grep -a "^$tid:Call PE DLL" "$ZW_ERR" | grep -a 'ntdll.dll' | tail -n1)" 'reason=PROCESS_DETACH'

  # What Wine made of it.
  local boot
  boot=$(grep -a 'NtCreateUserProcess' "$ZW_ERR" | grep -a 'wineboot' | head -n1)
  zw_note "$what: the launcher's calls as Wine saw them:"
  grep -aE '^[0-9a-f]+:(Call|Ret) +(advapi32|user32)\.' "$ZW_ERR" | sed 's/ ret=[0-9a-f]*$//; s/^/    /'
  zw_note "$what: Wine started: ${boot#*cmdline }"
  zw_expect_match "$what: ExitWindowsEx started wineboot --kill" "$boot" 'wineboot\.exe --kill'
  zw_wait_log afterboot ended 1 120
  zw_expect_match "$what: the restarted prefix ran the RunOnce entry" "$(zw_log_text afterboot started)" \
    ' parent=wineboot\.exe$'
  zw_until 30 zw_gone "$bystander"
  zw_expect "$what: bystander.exe is gone" zw_gone "$bystander"
  zw_expect_eq "$what: bystander.exe was ended by the restart, not by itself" "$(zw_log_count bystander ended)" 0
  zw_note "$what: afterboot.exe started $(($(zw_log_ms afterboot started) - ZW_START_MS)) ms after the launcher," \
    "$(($(zw_log_ms afterboot started) - ZW_END_MS)) ms after it ended"
  zw_expect_between "$what: the restart came soon after the launcher ended (ms)" \
    "$(($(zw_log_ms afterboot started) - ZW_END_MS))" -5000 $((15000 + slack))
  zw_expect "$what: the RunOnce entry is gone" \
    bash -c "! wine reg query '$RUNONCE' /v zwafterboot >/dev/null 2>&1"
  local boxes
  boxes=$(zw_windows_seen bystander | grep '#32770' | sort -u)
  if [ "$mode" = yes ]; then
    zw_expect_eq "$what: the only message box seen is the question" "$boxes" \
      "System Rebooting [#32770] {&Yes|&No|Reboot system now?}"
  else
    zw_expect_eq "$what: no message box at all" "$boxes" ""
  fi
  zw_wine_reset
}

throwaway win64
restart_run win64 zarnowel64.exe yes 5000
restart_run win64 zarnowel64.exe silent 5000
# Every process is emulated in the 32-bit prefix: starts take seconds.
throwaway win32
restart_run win32 zarnowel.exe yes "${ZW_EMULATED_SLACK_MS:-15000}"
restart_run win32 zarnowel.exe silent "${ZW_EMULATED_SLACK_MS:-15000}"
zw_finish
