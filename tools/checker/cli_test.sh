#!/bin/bash
# The command line of zarnowel-check: exit codes 0, 1 and 2, the list given
# as a folder or as a file, and JSON that parses and agrees with the exit code.
# usage: cli_test.sh ZARNOWEL_CHECK EXAMPLES_DIR
set -u
check=$1 examples=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0
expect_rc() {
  local what=$1 want=$2
  shift 2
  "$check" "$@" >"$work/out" 2>"$work/err"
  local rc=$?
  if [ "$rc" = "$want" ]; then echo "ok: $what ($rc)"; else
    echo "FAIL: $what: exit code $rc, expected $want"; cat "$work/out" "$work/err"; fails=$((fails + 1)); fi
}

expect_rc "no argument" 2
expect_rc "unknown option" 2 --bogus "$examples"
expect_rc "two lists" 2 "$examples" "$examples"
expect_rc "no such folder" 2 "$work/none"
mkdir "$work/empty"
expect_rc "folder without a list" 2 "$work/empty"

mkdir -p "$work/media"
cp -r "$examples/." "$work/media/"
expect_rc "example without its stand-in installers" 1 "$work/media"
grep -q '\[missing_file\]' "$work/out" || { echo "FAIL: no missing_file warning"; fails=$((fails + 1)); }
for f in tool.exe runtime/rtsetup.exe rtpost.exe app/appsetup.exe; do
  mkdir -p "$(dirname "$work/media/$f")"
  echo x >"$work/media/$f"
done
expect_rc "example with them" 0 "$work/media"
cp "$work/out" "$work/by-folder"
expect_rc "the list file itself" 0 "$work/media/Zarnowel.ini"
cmp -s "$work/out" "$work/by-folder" || { echo "FAIL: the file and its folder give other plans"; fails=$((fails + 1)); }
expect_rc "--silent" 0 --silent "$work/media"
grep -q '^section \[SetupSilent\]' "$work/out" || { echo "FAIL: --silent reads no [SetupSilent]"; fails=$((fails + 1)); }

printf '[SetupList]\nSetup1=1,gone.exe, ,\n' >"$work/empty/Zarnowel.ini"
for dir in media empty; do
  want=$([ $dir = media ] && echo 0 || echo 1)
  expect_rc "--json on $dir" "$want" --json "$work/$dir"
  if command -v python3 >/dev/null 2>&1; then
    got=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["exitCode"])' "$work/out" 2>&1)
    [ "$got" = "$want" ] && echo "ok: JSON parses, exitCode $got" ||
      { echo "FAIL: JSON on $dir: $got"; fails=$((fails + 1)); }
  fi
done

# The agents' definitions of the run-again example, against their golden texts.
golden=$(cd "$(dirname "$0")/../../tests/data/agent" && pwd)
for agent in intune configmgr; do
  expect_rc "--agent $agent" 0 --agent $agent --timeout 50 "$golden"
  cmp -s "$work/out" "$golden/$agent.golden" && echo "ok: --agent $agent is its golden text" ||
    { echo "FAIL: --agent $agent differs:"; diff "$golden/$agent.golden" "$work/out"; fails=$((fails + 1)); }
done
grep -q 'removes the marker only' "$work/err" || { echo "FAIL: no word that uninstall removes the marker only"; fails=$((fails + 1)); }
printf '[SetupList]\nSetup1=1,a.exe, ,\n' >"$work/empty/Zarnowel.ini"
expect_rc "--agent without [Marker]" 2 --agent intune "$work/empty"

[ "$fails" = 0 ] && echo "PASS: zarnowel-check command line" && exit 0
echo "FAIL: $fails check(s)"
exit 1
