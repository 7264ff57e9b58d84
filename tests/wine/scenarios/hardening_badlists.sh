#!/bin/bash
# Bad setup lists: binary garbage, a 1 MiB line, 10,000 keys, NUL bytes, every
# byte as the first byte of a value, values of 148/149/150 characters, file
# names of 99/100 characters and paths of 259/260/300, 50 leading "..\"
# segments, an empty file, a directory named Zarnowel.ini. In every case the
# launcher ends within the bound stated for the case with an exit code it
# gives by design (0; 2 for a missing list or file; 13 for a list without
# items or with an unknown kind; exactly the one stated where a case states
# it), shows
# no Wine crash report, and starts exactly the programs the list names as the
# profile reader gives it: decoy programs wait where a cut or mis-joined name
# would lead (and beside a list of its own in the start directory), and none
# of them may start. Prints a table (case, exit code, ms, bound, outcome).
# 64-bit prefix, zarnowel64.exe (native: 32-bit code runs emulated here, and
# these are nearly 300 runs).
source "$(dirname "$0")/../lib.sh"
zw_require_wine
zw_prefix win64
zw_scratch hardening_badlists >/dev/null

START="$ZW_DIR/start" # the launcher is started from here, never from its own folder
BIN="$ZW_DIR/bin"     # one copy of each program: the rest are hard links to it
LOGS="$ZW_DIR/logs"
RES="$ZW_WORK/results"
mkdir -p "$START" "$BIN" "$LOGS" "$RES"
cp "$ZW_PROGS/helper.exe" "$BIN/helper.exe"
cp "$ZW_WIN64_DIR/zarnowel64.exe" "$BIN/zarnowel64.exe"
CASE_TIMEOUT=90
ROOT_FILES=() # decoys in C:\, removed at the end
trap 'rc=$?; for f in "${ROOT_FILES[@]}"; do rm -f "$WINEPREFIX/drive_c/$f"; done; (exit $rc); zw_cleanup' EXIT

# plant DIR NAME [MS]: a helper named NAME in DIR, running MS ms (default 200).
plant() {
  mkdir -p "$1"
  ln -f "$BIN/helper.exe" "$1/$2"
  echo "${3:-200} 0" >"$ZW_CONF_DIR/${2%.*}.ms"
}

# new_app NAME: a launcher folder for one case, with the decoy wrong.exe that a
# list read from the start directory would name.
new_app() {
  local dir="$ZW_DIR/$1"
  mkdir -p "$dir"
  ln -f "$BIN/zarnowel64.exe" "$dir/zarnowel64.exe"
  plant "$dir" wrong.exe
  echo "$dir"
}

plant "$START" wrong.exe
printf '[SetupList]\r\nSetup1=1,wrong.exe,p\r\n' >"$START/Zarnowel.ini"

# launch CASE DIR ARGS...: the launcher of DIR in the background, its helpers
# logging to logs/CASE.txt; "rc start-ms end-ms" goes to results/CASE.rc.
declare -A LAUNCH_DIR LAUNCH_ARGS
launch() {
  local name=$1 dir=$2
  shift 2
  LAUNCH_DIR[$name]=$dir
  LAUNCH_ARGS[$name]=${1:-}
  (
    export ZW_LOG="$ZW_WDIR\\logs\\$name.txt"
    : >"$LOGS/$name.txt"
    t0=$(zw_now_ms)
    cd "$START" && timeout -k 5 "$CASE_TIMEOUT" /usr/lib/wine/wine64 "$dir/zarnowel64.exe" "$@" \
      >"$RES/$name.out" 2>"$RES/$name.err"
    rc=$?
    echo "$rc $t0 $(zw_now_ms)" >"$RES/$name.rc"
  ) &
  CASE_PID=$!
}

TABLE=()
# judge CASE BOUND_MS "EXPECTED..." [EXTRA_FAILURE]: checks the finished case.
# EXPECTED is the base names of the programs that must start, once each, in
# this order (empty: none may start).
judge() {
  local name=$1 bound=$2 want=$3 extra=${4:-} rc t0 t1 ms got outcome="" retried=""
  read -r rc t0 t1 <"$RES/$name.rc"
  ms=$((t1 - t0))
  # Wine's loader itself, very rarely, gives up before any Windows code runs
  # (exit code 1 within a few ms; the smallest program takes 22 ms or more to
  # start and end). Such a start is made again, once, and the table says so.
  if [ "$rc" != 0 ] && [ "$ms" -lt 20 ] && [ -n "${LAUNCH_DIR[$name]:-}" ]; then
    local said
    said=$(head -c 200 "$RES/$name.err" | tr '\n' ' ')
    retried="retried after the loader failed (exit $rc in $ms ms, ${said:+stderr: }${said:-nothing on stderr})"
    zw_note "$name: $retried"
    launch "$name" "${LAUNCH_DIR[$name]}" ${LAUNCH_ARGS[$name]:+"${LAUNCH_ARGS[$name]}"}
    wait "$CASE_PID"
    read -r rc t0 t1 <"$RES/$name.rc"
    ms=$((t1 - t0))
  fi
  got=$(awk -F'\t' '$4 == "started" { printf "%s%s", sep, $2; sep = " " }' "$LOGS/$name.txt")
  if { [ -n "${WANT_RC:-}" ] && [ "$rc" != "$WANT_RC" ]; } || { [ -z "${WANT_RC:-}" ] && [ "$rc" != 0 ] && [ "$rc" != 2 ] && [ "$rc" != 13 ]; }; then
    outcome+="exit code $rc${WANT_RC:+, expected $WANT_RC}; "
    sed 's/^/    /' "$RES/$name.err" | head -20
  fi
  [ "$ms" -le "$bound" ] || outcome+="took longer than the bound; "
  if grep -Eq 'Unhandled exception|Unhandled page fault|page fault on|Backtrace:|to unimplemented function' \
    "$RES/$name.err"; then
    outcome+="Wine crash report; "
    sed 's/^/    /' "$RES/$name.err" | head -20
  fi
  [ "$got" = "$want" ] || outcome+="started [${got}], expected [${want}]; "
  [ -n "$extra" ] && outcome+="$extra; "
  if [ -z "$outcome" ]; then
    outcome="ok: ${want:+started $want}"
    [ -n "$want" ] || outcome+="nothing started"
    [ -n "$retried" ] && outcome+=" ($retried)"
    zw_ok "$name: exit $rc in $ms ms (bound $bound), ${outcome#ok: }"
  else
    outcome="FAIL: ${outcome%; }"
    zw_fail "$name: $outcome"
  fi
  TABLE+=("$(printf '%-22s %4s %7s %7s  %s' "$name" "$rc" "$ms" "$bound" "$outcome")")
}

# run_case CASE DIR BOUND_MS "EXPECTED..." [ARGS...]: one run, then judge.
run_case() {
  local name=$1 dir=$2 bound=$3 want=$4
  shift 4
  launch "$name" "$dir" "$@"
  wait "$CASE_PID"
  judge "$name" "$bound" "$want"
}

# gen KIND ...: bytes on stdout (deterministic).
gen() {
  python3 - "$@" <<'EOF'
import random, sys
out = sys.stdout.buffer
kind = sys.argv[1]
rnd = random.Random(20240611)
def garbage(n):
    b = bytearray(rnd.getrandbits(8) for _ in range(n))
    # No byte-order mark at the start: that case is written on purpose.
    if b[:2] in (b"\xff\xfe", b"\xfe\xff") or b[:3] == b"\xef\xbb\xbf":
        b[0] = 0x41
    return bytes(b)
if kind == "garbage":
    out.write(garbage(65536))
elif kind == "garbage-bom":
    out.write(b"\xff\xfe" + garbage(65536))
elif kind == "garbage-around":
    out.write(garbage(32768) + b"\r\n[SetupList]\r\nSetup1=1,g1.exe,p\r\n" + garbage(32768))
elif kind == "line-1mib":
    # Beyond the 149 characters of a value lie keys and items that a reader
    # cutting the line into pieces would find.
    unit = b",Setup3=1,d1.exe, ,w.exe,1"
    line = b"Setup1=1,m1.exe," + b"p" * 139 + b"Q" + unit * ((1 << 20) // len(unit))
    out.write(b"[SetupList]\r\n" + line + b"\r\nSetup2=1,m2.exe,q\r\n")
elif kind == "keys-10000":
    out.write(b"[SetupList]\r\n")
    for n in range(1, 10001):
        name = b"absent%d.exe" % n if n < 9 else b"k%d.exe" % n
        out.write(b"Setup%d=1,%s,p\r\n" % (n, name))
elif kind == "nul-bytes":
    out.write(b"[SetupList]\r\nSetup1=1,n1\x00decoy.exe,p\r\n" + b"\x00" * 16 + b"\r\n"
              b"Setup2=1,n2.exe,p\r\nSetup3=1,n3.exe,p\x00,w.exe,1\r\n")
elif kind == "utf16-no-bom":
    out.write("[SetupList]\r\nSetup1=1,u1.exe,p\r\n".encode("utf-16-le"))
elif kind == "kind":
    b = int(sys.argv[2])
    out.write(b"[SetupList]\r\nSetup1=" + bytes([b]) + b",k%02X.exe,p\r\n" % b)
EOF
}

# ---------------------------------------------------------------- garbage, long lines, many keys
app=$(new_app garbage)
gen garbage >"$app/Zarnowel.ini"
run_case garbage-64k "$app" 10000 ""

app=$(new_app garbage_bom)
gen garbage-bom >"$app/Zarnowel.ini"
run_case garbage-utf16-bom "$app" 10000 ""

app=$(new_app garbage_around)
plant "$app" g1.exe
gen garbage-around >"$app/Zarnowel.ini"
run_case garbage-around-list "$app" 15000 "g1"

app=$(new_app line)
plant "$app" m1.exe
plant "$app" m2.exe
plant "$app" d1.exe
gen line-1mib >"$app/Zarnowel.ini"
run_case line-1mib "$app" 20000 "m1 m2"
# Only the first 149 characters of the value count: "1,m1.exe,", then 139 p
# and the Q; nothing of the rest (no waitList, no restart flag, no Setup3).
zw_expect_eq "line-1mib: the parameters end with the value's 149th character" \
  "$(awk -F'\t' '$2 == "m1" && $4 == "tail"' "$LOGS/line-1mib.txt" | cut -f5)" "[$(printf 'p%.0s' $(seq 1 139))Q]"

app=$(new_app keys)
plant "$app" k9.exe
for n in 10 11 100 9999 10000; do plant "$app" "k$n.exe"; done
gen keys-10000 >"$app/Zarnowel.ini"
run_case keys-10000 "$app" 20000 "k9"

# ---------------------------------------------------------------- NUL bytes
# The profile reader ends a value at a NUL: "1,n1" names no file, the line of
# NULs is no key, and Setup3 ends before its waitList and restart flag.
# (Not "nul": Wine takes a folder of that name for the device.)
app=$(new_app nulbytes)
for p in n1.exe decoy.exe n1decoy.exe n2.exe n3.exe w.exe; do plant "$app" $p; done
gen nul-bytes >"$app/Zarnowel.ini"
run_case nul-bytes "$app" 20000 "n2 n3"

app=$(new_app utf16)
plant "$app" u1.exe
gen utf16-no-bom >"$app/Zarnowel.ini"
run_case utf16-without-bom "$app" 10000 ""

# ---------------------------------------------------------------- values of 148, 149, 150 characters
# Dialog items whose parameters end the value: the helper's command tail shows
# exactly what was kept. 150 loses its last character.
for len in 148 149 150; do
  app=$(new_app "value$len")
  plant "$app" v$len.exe
  params=$(printf 'p%.0s' $(seq 1 $((len - 12))))Z # "1,v148.exe," is 11
  printf '[SetupList]\r\nSetup1=1,v%s.exe,%s\r\n' $len "$params" >"$app/Zarnowel.ini"
  run_case value-$len "$app" 15000 "v$len"
  kept=${params:0:$((149 - 11))}
  zw_expect_eq "value-$len: parameters seen by the program" \
    "$(awk -F'\t' '$4 == "tail"' "$LOGS/value-$len.txt" | cut -f5)" "[$kept]"
done

# ---------------------------------------------------------------- file names of 99 and 100 characters
f99=$(printf 'f%.0s' $(seq 1 95)).exe
h100=$(printf 'h%.0s' $(seq 1 96)).exe
g100=$(printf 'g%.0s' $(seq 1 95)).exex # cut to 99 it would be ggg....exe
g99=${g100:0:99}
app=$(new_app name99)
plant "$app" "$f99"
printf '[SetupList]\r\nSetup1=1,%s,p\r\n' "$f99" >"$app/Zarnowel.ini"
run_case name-99 "$app" 15000 "${f99%.exe}"

app=$(new_app name100)
plant "$app" "$h100"
plant "$app" "$g100" # a program all the same: the system starts a program whatever its extension
plant "$app" "$g99"  # where the name cut to 99 characters would lead
printf '[SetupList]\r\nSetup1=1,%s,p\r\nSetup2=1,%s,p\r\n' "$h100" "$g100" >"$app/Zarnowel.ini"
# Both programs log the same name (the file name without its extension): the
# command line tells which file was started.
run_case name-100 "$app" 15000 "${h100%.exe} ${g99%.exe}"
zw_expect_eq "name-100: the program started under its whole 100-character name" \
  "$(awk -F'\t' '$4 == "cmdline" && $2 ~ /^g/' "$LOGS/name-100.txt" | cut -f5)" "[\".\\$g100\" p]"

# ---------------------------------------------------------------- paths of 259, 260 and 300 characters
# programDirectory of 180 characters; the item lies below it in "s".
# 259: joined path fits (259 + NUL = MAX_PATH) and is started.
# 260: does not fit; the program of that base name one folder up (where a
#      dropped "s\" leads) must not start.
# 300: also its last '\' lies past the 200 characters DirectoryOf looks at;
#      cut there it would be the ancestor "...\s", where a decoy waits.
wdir_len=${#ZW_WDIR}
deep_name=deep_$(printf 'd%.0s' $(seq 1 $((180 - wdir_len - 1 - 5))))
deep="$ZW_DIR/$deep_name"
zw_expect_eq "the deep program directory has 180 characters" "$(($(zw_winpath "$deep" | wc -c) - 1))" 180
b259=$(printf 'b%.0s' $(seq 1 72)).exe
b260=$(printf 'c%.0s' $(seq 1 73)).exe
dir300=$(printf 't%.0s' $(seq 1 20))
b300=$(printf 'e%.0s' $(seq 1 92)).exe
mkdir -p "$deep"
ln -f "$BIN/zarnowel64.exe" "$deep/zarnowel64.exe"
plant "$deep" wrong.exe
plant "$deep/s" "$b259"
plant "$deep/s" "$b260"
plant "$deep" "$b260"
plant "$deep/s/$dir300" "$b300"
plant "$deep/s" "$b300"
plant "$deep" "$b300"
for case in "259:s\\$b259:${b259%.exe}" "260:s\\$b260:" "300:s\\$dir300\\$b300:"; do
  n=${case%%:*} rest=${case#*:}
  file=${rest%:*} want=${rest##*:}
  zw_expect_eq "path-$n: the joined path has $n characters" "$((180 + 1 + ${#file}))" "$n"
  printf '[SetupList]\r\nSetup1=1,%s,p\r\n' "$file" >"$deep/Zarnowel.ini"
  run_case path-$n "$deep" 15000 "$want"
done

# ---------------------------------------------------------------- 50 leading "..\" segments
# 50 segments and a name are longer than the 149 characters of a value: the
# name is cut off, so nothing may start, not the program in the drive's root
# that the whole text names, nor one in any folder on the way. 40 segments
# fit: the climb stops at the root, and C:\zwdd.exe is the item.
up50=$(printf '..\\%.0s' $(seq 1 50))
up40=$(printf '..\\%.0s' $(seq 1 40))
plant "$WINEPREFIX/drive_c" zwdd.exe
ROOT_FILES+=(zwdd.exe zwdd.inf)
plant "$WINEPREFIX/drive_c/zwtest" zwdd.exe
plant "$ZW_DIR" zwdd.exe
app=$(new_app dotdot)
plant "$app" zwdd.exe
printf '[SetupList]\r\nSetup1=1,%szwdd.exe, ,\r\n' "$up50" >"$app/Zarnowel.ini"
run_case dotdot50-program "$app" 15000 ""

printf '[SetupList]\r\nSetup1=1,%szwdd.exe,p\r\n' "$up40" >"$app/Zarnowel.ini"
run_case dotdot40-program "$app" 15000 "zwdd"
zw_expect_eq "dotdot40-program: the program in the drive's root" \
  "$(awk -F'\t' '$4 == "module"' "$LOGS/dotdot40-program.txt" | cut -f5)" 'C:\zwdd.exe'

# A driver item whose name is cut off: "file open error" with the cut path,
# dismissed with OK.
printf '[SetupList]\r\nSetup1=0,%szwdd.inf,ZW\\NOSUCHDEV\r\n' "$up50" >"$app/Zarnowel.ini"
launch dotdot50-driver "$app"
box=$(zw_run_prog answer --caption "file open error" --press ok --timeout 30000 2>/dev/null)
wait "$CASE_PID"
up49=$(printf '..\\%.0s' $(seq 1 49))
boxtext=0
while IFS= read -r line; do
  [[ $line == *"text=.\\$up49" ]] && boxtext=1
done <<<"$box"
judge dotdot50-driver 20000 "" "$([ "$boxtext" = 1 ] || echo "no 'file open error' box with the cut path")"

# 40 segments: the file is found in the root (current directory C:\...\dotdot),
# the device is not present, and the dialog closes by itself.
printf 'ZW test\r\n' >"$WINEPREFIX/drive_c/zwdd.inf"
printf '[SetupList]\r\nSetup1=0,%szwdd.inf,ZW\\NOSUCHDEV\r\nSetup2=1,after.exe,p\r\n' "$up40" >"$app/Zarnowel.ini"
plant "$app" after.exe
run_case dotdot40-driver "$app" 15000 "after"

# ---------------------------------------------------------------- empty file, directory
app=$(new_app empty)
: >"$app/Zarnowel.ini"
run_case empty-file "$app" 10000 ""

app=$(new_app directory)
mkdir -p "$app/Zarnowel.ini"
printf '[SetupList]\r\nSetup1=1,wrong.exe,p\r\n[SetupSilent]\r\nSetup1=1,wrong.exe,p\r\n' >"$app/Zarnowel.ini/Zarnowel.ini"
run_case directory "$app" 10000 ""
run_case directory-silent "$app" 10000 "" /s

# ---------------------------------------------------------------- every first byte of a value
# 256 lists "Setup1=<byte>,kXX.exe,p", each in a folder of its own, run eight
# at a time. Kinds '1' and '2' start kXX.exe (kind '2' from its copy in the
# Windows directory), kind '0' looks for a device "p" and finds none; every
# other byte ends the run at once. NUL, CR and LF leave the value empty;
# blanks and tabs before the comma are dropped by the reader, so the comma
# comes first and the kind is "kXX.exe". One run at a time: a launcher
# started while another runs ends at once with 1618. Kinds '0', '1' and '2'
# end with 0, an empty list or an unknown kind with 13.
KIND_BATCH=1
pids=()
names=()
for b in $(seq 0 255); do
  hex=$(printf '%02X' "$b")
  app=$(new_app "kind/$hex")
  plant "$app" "k$hex.exe"
  [ "$b" = 50 ] && zw_windows_file "k$hex.exe"
  gen kind "$b" >"$app/Zarnowel.ini"
  launch "kind-0x$hex" "$app"
  pids+=("$CASE_PID")
  names+=("kind-0x$hex")
  if [ ${#pids[@]} -ge $KIND_BATCH ] || [ "$b" = 255 ]; then
    for p in "${pids[@]}"; do wait "$p"; done
    for name in "${names[@]}"; do
      case ${name#kind-0x} in
        31 | 32) want=k${name#kind-0x} ;;
        *) want= ;;
      esac
      case ${name#kind-0x} in
        30 | 31 | 32) rc_want=0 ;;
        *) rc_want=13 ;;
      esac
      WANT_RC=$rc_want judge "$name" 30000 "$want"
    done
    pids=()
    names=()
  fi
done
zw_expect_match "kind '2': started from the Windows directory" \
  "$(awk -F'\t' '$4 == "module"' "$LOGS/kind-0x32.txt" | cut -f5)" '^C:\\windows\\k32\.exe$'

echo
echo "case                     rc      ms   bound  outcome"
printf '%s\n' "${TABLE[@]}"
zw_finish
