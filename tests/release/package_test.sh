#!/bin/bash
# Whole releases through the release configuration, in a build root of their
# own (WORK; never build/release-*): with a throw-away self-signed
# code-signing certificate and a throw-away RFC 3161 time-stamp server
# (tsa.py), unsigned, signed through the environment, and with a wrong
# password. Distributor values with quotes, a backslash, a semicolon and a
# non-ASCII letter go through to both launchers' version blocks. The last
# release (signed, time-stamped) stays in WORK/dist for wine.release_example.
#   package_test.sh WORK
set -u
src=$(cd "$(dirname "$0")/../.." && pwd)
work=${1:?usage: package_test.sh WORK}
for tool in osslsigncode openssl python3 ninja i686-w64-mingw32-g++ x86_64-w64-mingw32-g++; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (scripts/install-deps.sh)"; exit 77; }
done
fails=0 passes=0
ok() { passes=$((passes + 1)); echo "ok: $*"; }
fail() { fails=$((fails + 1)); echo "FAIL: $*"; }
expect() { local what=$1; shift; if "$@"; then ok "$what"; else fail "$what"; fi; }

rm -rf "$work"
keys=$work/keys
mkdir -p "$keys"
tsa_pid=
trap '[ -n "$tsa_pid" ] && kill "$tsa_pid" 2>/dev/null' EXIT

# ---- throw-away certificates: code signing, another one nobody trusts, a TSA
password='s3cret "pass" $word'
printf '%s\n' "$password" >"$keys/password.txt"
printf 'wrong\n' >"$keys/wrong.txt"
make_cert() { # NAME CN EKU
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$2" \
    -addext "extendedKeyUsage=$3" -addext "keyUsage=critical,digitalSignature" \
    -keyout "$keys/$1.key" -out "$keys/$1.crt" 2>/dev/null
}
make_cert sign "Zarnowel Throw-away Code Signing" codeSigning
make_cert stranger "Somebody Else" codeSigning
make_cert tsa "Zarnowel Throw-away TSA" critical,timeStamping
openssl pkcs12 -export -inkey "$keys/sign.key" -in "$keys/sign.crt" -out "$keys/sign.p12" \
  -passout "file:$keys/password.txt" || { echo "FAIL: openssl could not make the PKCS#12 file"; exit 1; }
python3 "$src/tests/release/tsa.py" "$keys" "$keys/tsa.crt" "$keys/tsa.key" "$keys/tsa.port" &
tsa_pid=$!
for _ in $(seq 1 50); do [ -f "$keys/tsa.port" ] && break; sleep 0.1; done
[ -f "$keys/tsa.port" ] || { echo "FAIL: the time-stamp server did not start"; exit 1; }
tsa_url=http://127.0.0.1:$(cat "$keys/tsa.port")

comments='Made for "Acme"; installs everything'
company='Acme "Quote" \ Back\slash Ltd.'
copyright='© 2026 Acme'
product='Acme Installer'

# release NAME CMAKE-ARGS...: configures and builds the release; RC, LOG, ZIP, DIR (extracted).
release() {
  local name=$1
  shift
  LOG=$work/$name.log
  cmake -S "$src" -B "$work/config" -G Ninja -DZARNOWEL_RELEASE=ON \
    -DZARNOWEL_RELEASE_BUILD_ROOT="$work" -DZARNOWEL_DIST_DIR="$work/dist" \
    -DZARNOWEL_COMMENTS="$comments" -DZARNOWEL_COMPANY_NAME="$company" \
    -DZARNOWEL_LEGAL_COPYRIGHT="$copyright" -DZARNOWEL_PRODUCT_NAME="$product" "$@" >"$LOG" 2>&1 &&
    cmake --build "$work/config" >>"$LOG" 2>&1
  RC=$?
  version=$(sed -n 's/^#define ZW_VERSION_TEXT "\(.*\)"$/\1/p' "$work/release-win32/generated/zarnowel_version.h" 2>/dev/null)
  ZIP=$work/dist/zarnowel-$version.zip
  DIR=$work/unzipped-$name/zarnowel-$version
  rm -rf "$work/unzipped-$name"
  mkdir -p "$work/unzipped-$name"
  [ -f "$ZIP" ] && (cd "$work/unzipped-$name" && cmake -E tar xf "$ZIP")
  echo "-- release $name: exit $RC, $(grep -c . "$LOG") lines of output"
}
show_log() { sed 's/^/    /' "$LOG" | tail -40; }
exes=(zarnowel.exe zarnowel64.exe zarnowel-check.exe)
verify() { osslsigncode verify "$@" >"$work/verify.out" 2>&1; }

# ---- 1. unsigned
release unsigned -DZARNOWEL_SIGN_PKCS12= -DZARNOWEL_SIGN_PASSWORD_FILE= -DZARNOWEL_SIGN_TIMESTAMP_URL=
if [ "$RC" = 0 ] && [ -f "$ZIP" ]; then ok "unsigned: the release command made $(basename "$ZIP")"; else fail "unsigned release"; show_log; fi
want_files=$(printf '%s\n' BUILDINFO.txt README.txt example/Zarnowel.ini example/driver/example.inf "${exes[@]}" | LC_ALL=C sort)
got_files=$(cd "$DIR" 2>/dev/null && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
expect "unsigned: the zip holds the three executables, the example, README and BUILDINFO" [ "$got_files" = "$want_files" ]
expect "unsigned: the output says so" grep -q "UNSIGNED" "$LOG"
expect "unsigned: BUILDINFO.txt says so" grep -q "^Signature: NONE: these executables are UNSIGNED" "$DIR/BUILDINFO.txt"
expect "unsigned: no signature in zarnowel.exe" bash -c "! osslsigncode verify -in '$DIR/zarnowel.exe' >/dev/null 2>&1"

# ---- 2. the configured distributor values, in both launchers' version blocks
out=$(python3 "$src/tools/check_resources.py" --comments "$comments" --company-name "$company" \
  --legal-copyright "$copyright" --product-name "$product" "$DIR/zarnowel.exe" "$DIR/zarnowel64.exe" 2>&1)
expect "both launchers carry the configured distributor values: $out" [ $? = 0 ]
out=$(python3 "$src/tools/check_resources.py" --comments "$comments" --company-name "Acme Ltd." \
  --legal-copyright "$copyright" --product-name "$product" "$DIR/zarnowel.exe" 2>&1)
expect "the resource check tells another company name apart" \
  grep -qF "version: string CompanyName 'Acme \"Quote\" \\\\ Back\\\\slash Ltd.', want 'Acme Ltd.'" <<<"$out"
expect "BUILDINFO.txt names the company as configured" grep -qxF "CompanyName: $company"$'\r' "$DIR/BUILDINFO.txt"

# ---- 3. signed through the environment, no time stamp
ZARNOWEL_SIGN_PKCS12=$keys/sign.p12 ZARNOWEL_SIGN_PASSWORD_FILE=$keys/password.txt release env-signed
if [ "$RC" = 0 ] && [ -f "$ZIP" ]; then ok "signed from the environment: released"; else fail "signed from the environment"; show_log; fi
for f in "${exes[@]}"; do
  verify -CAfile "$keys/sign.crt" -in "$DIR/$f" && grep -q "^Signature verification: ok" "$work/verify.out"
  expect "signed from the environment: $f verifies" [ $? = 0 ]
done

# ---- 4. a wrong password: nothing packaged
release wrong-password -DZARNOWEL_SIGN_PKCS12="$keys/sign.p12" -DZARNOWEL_SIGN_PASSWORD_FILE="$keys/wrong.txt"
expect "wrong password: the release fails" [ "$RC" != 0 ]
expect "wrong password: no zip is left behind" [ ! -f "$ZIP" ]
expect "wrong password: the output says signing failed" grep -q "signing zarnowel.exe failed" "$LOG"

# ---- 5. signed through the cache, time-stamped
release signed -DZARNOWEL_SIGN_PKCS12="$keys/sign.p12" -DZARNOWEL_SIGN_PASSWORD_FILE="$keys/password.txt" \
  -DZARNOWEL_SIGN_TIMESTAMP_URL="$tsa_url"
if [ "$RC" = 0 ] && [ -f "$ZIP" ]; then ok "signed: released"; else fail "signed release"; show_log; fi
expect "signed: the password never shows in the output" bash -c "! grep -qF -- '$password' '$LOG'"
expect "signed: three time stamps asked for" [ "$(grep -c timestamp-query "$keys/requests.log" 2>/dev/null)" = 3 ]
expect "signed: BUILDINFO.txt names the certificate and the time-stamp server" \
  grep -q "^Signature: Authenticode, SHA-256, certificate CN = Zarnowel Throw-away Code Signing; time stamp from $tsa_url" "$DIR/BUILDINFO.txt"
sums=$(cd "$DIR" && sha256sum "${exes[@]}")
expect "signed: BUILDINFO.txt has the SHA-256 of the shipped files" \
  bash -c "diff <(printf '%s\n' \"\$1\") <(sed -n 's/^  \([0-9a-f]\{64\}  .*\)\r$/\1/p' '$DIR/BUILDINFO.txt')" _ "$sums"
for f in "${exes[@]}"; do
  if verify -CAfile "$keys/sign.crt" -TSA-CAfile "$keys/tsa.crt" -in "$DIR/$f" &&
    grep -q "^Signature verification: ok" "$work/verify.out" && grep -q "Message digest algorithm  : SHA256" "$work/verify.out" &&
    grep -q "Timestamp Server Signature verification: ok" "$work/verify.out" &&
    grep -qF "Text description: $product" "$work/verify.out"; then
    ok "signed: $f verifies (SHA-256, time stamp, program name '$product')"
  else
    fail "signed: $f does not verify:"; sed 's/^/    /' "$work/verify.out"
  fi
  verify -CAfile "$keys/stranger.crt" -TSA-CAfile "$keys/tsa.crt" -in "$DIR/$f"
  expect "signed: $f does not verify for someone who trusts only another certificate" [ $? != 0 ]
  cp "$DIR/$f" "$work/changed.exe"
  # One byte in the middle of the code: the page hash no longer matches.
  python3 -c 'import sys; p = sys.argv[1]; d = bytearray(open(p, "rb").read()); d[len(d) // 3] ^= 1; open(p, "wb").write(d)' "$work/changed.exe"
  verify -CAfile "$keys/sign.crt" -TSA-CAfile "$keys/tsa.crt" -in "$work/changed.exe"
  expect "signed: $f with one byte changed fails verification" [ $? != 0 ]
  expect "signed: ... because its digest no longer matches" grep -q "MISMATCH" "$work/verify.out"
done
out=$(python3 "$src/tools/check_resources.py" --cache "$work/config/CMakeCache.txt" "$DIR/zarnowel.exe" "$DIR/zarnowel64.exe" 2>&1)
expect "signed: the resources survive signing: $out" [ $? = 0 ]

echo "$passes passed, $fails failed"
[ $fails = 0 ]
