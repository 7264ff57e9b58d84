#!/bin/bash
# The setup list as Windows' own profile reader gives it to the loader: the
# splitting rows, blanks around '=', comment lines, quoted values, the key gap,
# the 149-character cut, keys after Setup9, the silent section, a Korean
# system, and the list beside the executable whatever the working directory
# (a drive's root included). listprint runs the launcher's own loader and
# prints what it loaded; the host test LoadsTheProfileCheckListAsWindowsDoes
# reads the same list and table (tests/data/profile_check.ini).
source "$(dirname "$0")/../lib.sh"
zw_require_wine
zw_prefix win64
zw_scratch setuplist >/dev/null

APP="$ZW_DIR/app"
START="$ZW_DIR/start"
mkdir -p "$APP" "$START"
cp "$ZW_PROGS/listprint_core.exe" "$APP/listprint.exe"
cp "$ZW_WIN32_DIR/tests/wine/progs/listprint_core.exe" "$APP/listprint32.exe" 2>/dev/null
WAPP=$(zw_winpath "$APP")

# A list of its own where the start leaves the process: never to be read.
zw_ini "$START" <<'EOF'
[SetupList]
Setup1=1,wrong.exe, ,
EOF

# listprint [ARGS...]: $PROG (APP/listprint.exe) run from $FROM (START); output in OUT.
listprint() {
  OUT=$(cd "${FROM:-$START}" && zw_wine "${PROG:-$APP/listprint.exe}" "$@" 2>"$ZW_WORK/listprint.err" | tr -d '\r')
  zw_check_crash "$ZW_WORK/listprint.err" listprint
}

# expect_table WHAT EXPECTED: OUT's lines from "languageTag" to "item 9".
expect_table() {
  local got
  got=$(printf '%s\n' "$OUT" | LC_ALL=C sed -n '/^languageTag:/,/^item 9:/p')
  if [ "$got" = "$2" ]; then
    zw_ok "$1"
  else
    zw_fail "$1:"
    diff <(printf '%s\n' "$2") <(printf '%s\n' "$got") | sed 's/^/    /'
  fi
}

# expect_line WHAT KEY VALUE: OUT's line "KEY: [VALUE]".
expect_line() {
  zw_expect_eq "$1" "$(printf '%s\n' "$OUT" | LC_ALL=C sed -n "s/^$2: \[\(.*\)\]\$/\1/p")" "$3"
}

# ---- the splitting rows through the real reader, from another directory:
# the list and what it loads are one data file, read by the host test too
sed 's/\r$//' "$ZW_SOURCE_DIR/tests/data/profile_check.ini" | zw_ini "$APP"
table=$(printf 'languageTag: [eng]\nprogramDirectory: [%s]\ncurrentDirectory: [%s]\n' "$WAPP" "$WAPP"
  sed -n 's/^item\([0-9]\)=/item \1: /p' "$ZW_SOURCE_DIR/tests/data/profile_check.ini")
listprint
expect_table "64-bit loader, started from another directory" "$table"
if [ -f "$APP/listprint32.exe" ]; then
  PROG=$APP/listprint32.exe listprint
  expect_table "32-bit loader under WOW64" "$table"
else
  zw_fail "no 32-bit listprint in $ZW_WIN32_DIR (build the win32 preset)"
fi

# ---- silent: "SetupSilent" without Setup1 falls back to "SetupList"
listprint /s /r
expect_table "silent, silent section without Setup1" "$table"
expect_line "section read" section SetupList

# ---- silent with its own Setup1; not silent, the same file reads "SetupList"
zw_ini "$APP" <<'EOF'
[SetupList]
Setup1=1,loud.exe, ,
[SetupSilent]
Setup1=1,quiet.exe,/q
EOF
listprint /s /r
expect_line "silent section chosen" section SetupSilent
expect_line "silent item" "item 1" "1][quiet.exe][/q][]["
listprint /r
expect_line "not silent: the list section" section SetupList
expect_line "not silent item" "item 1" "1][loud.exe][ ][]["

# ---- an empty Setup1 loads nothing; a value over 149 characters is cut
long=$(printf 'p%.0s' $(seq 1 200))
zw_ini "$APP" <<EOF
[SetupList]
Setup1=
Setup2=1,b.exe, ,
[SetupSilent]
Setup1=1,a.exe,$long,w.exe,1
EOF
listprint /r
expect_line "empty Setup1: nothing loaded" itemsLoaded 0
listprint /s /r
expect_line "149-character cut: parameters stored cut, later fields gone" "item 1" \
  "1][a.exe][$(printf 'p%.0s' $(seq 1 141))][]["

# ---- keys after Setup9 are never items
{
  echo "[SetupList]"
  for n in $(seq 1 12); do echo "Setup$n=1,item$n.exe, ,"; done
} | zw_ini "$APP"
listprint /r
expect_line "nine items at most" itemsLoaded 9
expect_line "the tenth key exists" keysAfterLastItem 1
expect_line "item 9" "item 9" "1][item9.exe][ ][]["

# ---- a Korean system: "kor", and code page 949 text passes unchanged
saved_lang=${LANG-} saved_lc_all=${LC_ALL-}
zw_korean
printf '[SetupList]\nSetup1=1,설치.exe, ,\n' | ZW_INI_ENCODING=cp949 zw_ini "$APP"
listprint
expect_line "Korean system locale" languageTag kor
expect_line "code page 949 file name" "item 1" "$(printf '1][설치.exe][ ][][' | iconv -f UTF-8 -t CP949)"
export LANG=$saved_lang LC_ALL=$saved_lc_all
[ -n "$saved_lc_all" ] || unset LC_ALL
zw_wine_reset

# ---- the executable in the root of a drive: programDirectory "R:", and the
# list is the root's even when the start was elsewhere on that drive
ROOT="$ZW_DIR/rootdrv"
DRIVE="$WINEPREFIX/dosdevices/r:"
mkdir -p "$ROOT/sub"
rm -f "$DRIVE"
ln -s "$ROOT" "$DRIVE"
trap 'rc=$?; rm -f "$DRIVE"; (exit $rc); zw_cleanup' EXIT
cp "$APP/listprint.exe" "$ROOT/listprint.exe"
printf '[SetupList]\nSetup1=1,root.exe, ,\n' | zw_ini "$ROOT"
printf '[SetupList]\nSetup1=1,sub.exe, ,\n' | zw_ini "$ROOT/sub"
FROM=$ROOT/sub PROG='R:\listprint.exe' listprint
expect_line "root: programDirectory is the drive alone" programDirectory "R:"
expect_line "root: current directory is the drive's root" currentDirectory 'R:\'
expect_line "root: the root's list" "item 1" "1][root.exe][ ][]["
rm -f "$DRIVE"

zw_finish
