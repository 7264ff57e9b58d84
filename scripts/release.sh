#!/bin/bash
# Builds the release package: zarnowel.exe, zarnowel64.exe and the 32-bit
# zarnowel-check.exe, each in a build folder of its own (release-win32,
# release-win64 under the build root, never the developer presets' folders),
# Authenticode-signs them when a certificate is given, refuses what must not
# ship (scripts/release-gate.sh), checks the resources of what it packs and
# writes <dist>/zarnowel-<version>.zip.
#
# Run through CMake, which holds the settings in its cache:
#   cmake --workflow --preset release        (the preset runs: release.sh --cache build/release/CMakeCache.txt)
#
# Settings, as cache variables of that configuration (cmake/release.cmake):
#   ZARNOWEL_COMMENTS, ZARNOWEL_COMPANY_NAME, ZARNOWEL_LEGAL_COPYRIGHT,
#   ZARNOWEL_PRODUCT_NAME      the version block's distributor values
#   ZARNOWEL_SIGN_PKCS12       PKCS#12 certificate and key; empty: unsigned
#   ZARNOWEL_SIGN_PASSWORD_FILE  a file holding its password (never on a command line)
#   ZARNOWEL_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamp server (optional)
#   ZARNOWEL_RELEASE_BUILD_ROOT, ZARNOWEL_DIST_DIR   where builds and the zip go
# The three signing settings fall back to environment variables of the same
# names when the cache leaves them empty.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
t0=$(date +%s)

die() { echo "release: $*" >&2; exit 1; }

cache=
while [ $# -gt 0 ]; do
  case $1 in
    --cache) cache=${2:?}; shift 2 ;;
    *) die "unknown argument '$1' (run: cmake --workflow --preset release)" ;;
  esac
done
[ -f "$cache" ] || die "no settings: run cmake --workflow --preset release (or pass --cache CMakeCache.txt)"

# cache_get NAME: the raw value of NAME in the cache ("NAME:TYPE=value").
cache_get() { sed -n "s/^$1:[^=]*=//p" "$cache" | head -n1; }
# setting NAME: the cache value, else the environment's.
setting() {
  local v
  v=$(cache_get "$1")
  [ -n "$v" ] || v=${!1:-}
  printf '%s' "$v"
}

build_root=$(cache_get ZARNOWEL_RELEASE_BUILD_ROOT)
dist=$(cache_get ZARNOWEL_DIST_DIR)
[ -n "$build_root" ] && [ -n "$dist" ] || die "ZARNOWEL_RELEASE_BUILD_ROOT or ZARNOWEL_DIST_DIR missing in $cache"
keys=(ZARNOWEL_COMMENTS ZARNOWEL_COMPANY_NAME ZARNOWEL_LEGAL_COPYRIGHT ZARNOWEL_PRODUCT_NAME)
defines=()
for k in "${keys[@]}"; do
  grep -q "^$k:" "$cache" || die "$k missing in $cache"
  defines+=("-D$k:STRING=$(cache_get "$k")")
done
product=$(cache_get ZARNOWEL_PRODUCT_NAME)
p12=$(setting ZARNOWEL_SIGN_PKCS12)
passfile=$(setting ZARNOWEL_SIGN_PASSWORD_FILE)
tsa=$(setting ZARNOWEL_SIGN_TIMESTAMP_URL)
if [ -n "$p12" ]; then
  [ -f "$p12" ] || die "certificate $p12 not found"
  [ -z "$passfile" ] || [ -f "$passfile" ] || die "password file $passfile not found"
  command -v osslsigncode >/dev/null || die "osslsigncode is missing (scripts/install-deps.sh)"
fi

# ---- build: one folder per width, only the shipped targets
build() {
  local dir=$1 toolchain=$2 name=$3
  shift 3
  echo "== build $dir"
  cmake -S "$src" -B "$dir" -G Ninja --toolchain "$src/cmake/$toolchain" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DZARNOWEL_EXE_NAME="$name" "${defines[@]}" >/dev/null
  cmake --build "$dir" -j "${ZW_JOBS:-2}" --target "$@"
}
build "$build_root/release-win32" mingw-i686.cmake zarnowel zarnowel zarnowel_check
build "$build_root/release-win64" mingw-x86_64.cmake zarnowel64 zarnowel

version=$(sed -n 's/^#define ZW_VERSION_TEXT "\(.*\)"$/\1/p' "$build_root/release-win32/generated/zarnowel_version.h")
[ -n "$version" ] || die "no version in the generated header"
package=zarnowel-$version
zip=$dist/$package.zip
# A refused release must not leave an older zip of this version looking current.
rm -f "$zip"

# ---- stage
stage_root=$build_root/release-stage
stage=$stage_root/$package
rm -rf "$stage_root"
mkdir -p "$stage/example"
cp "$build_root/release-win32/zarnowel.exe" "$build_root/release-win32/zarnowel-check.exe" \
  "$build_root/release-win64/zarnowel64.exe" "$stage/"
cp -r "$src/examples/." "$stage/example/"
sed 's/$/\r/' "$src/release/README.txt" >"$stage/README.txt"

# ---- sign
exes=(zarnowel.exe zarnowel64.exe zarnowel-check.exe)
if [ -n "$p12" ]; then
  echo "== sign with $p12 (SHA-256${tsa:+, time stamp from $tsa})"
  sign_opts=(-pkcs12 "$p12" -h sha256)
  [ -n "$passfile" ] && sign_opts+=(-readpass "$passfile")
  [ -n "$product" ] && sign_opts+=(-n "$product")
  [ -n "$tsa" ] && sign_opts+=(-ts "$tsa")
  for f in "${exes[@]}"; do
    osslsigncode sign "${sign_opts[@]}" -in "$stage/$f" -out "$stage/$f.signed" >"$stage_root/sign.log" 2>&1 ||
      { cat "$stage_root/sign.log" >&2; die "signing $f failed"; }
    mv "$stage/$f.signed" "$stage/$f"
  done
  pass_in=(-passin "file:${passfile:-/dev/null}")
  subject=$( { openssl pkcs12 -in "$p12" -nokeys -clcerts "${pass_in[@]}" 2>/dev/null ||
    openssl pkcs12 -legacy -in "$p12" -nokeys -clcerts "${pass_in[@]}" 2>/dev/null; } |
    openssl x509 -noout -subject -nameopt oneline 2>/dev/null | sed 's/^subject= *//')
  signature="Authenticode, SHA-256, certificate ${subject:-(subject unreadable)}; ${tsa:+time stamp from $tsa}"
  [ -n "$tsa" ] || signature+="no time stamp (the signature is trusted only while the certificate is valid)"
else
  signature="NONE: these executables are UNSIGNED. Windows SmartScreen warns, UAC names an unknown publisher and Smart App Control blocks them."
  echo "release: UNSIGNED: no certificate given (set ZARNOWEL_SIGN_PKCS12); the package says so in BUILDINFO.txt"
fi

# ---- refuse what must not ship, then check what ships
echo "== gate"
bash "$src/scripts/release-gate.sh" "$stage" || die "refused: nothing packaged"
echo "== resources"
python3 "$src/tools/check_resources.py" --cache "$cache" "$stage/zarnowel.exe" "$stage/zarnowel64.exe" ||
  die "the resources of the staged launchers are wrong: nothing packaged"

{
  echo "zarnowel $version"
  echo "Comments: $(cache_get ZARNOWEL_COMMENTS)"
  echo "CompanyName: $(cache_get ZARNOWEL_COMPANY_NAME)"
  echo "LegalCopyright: $(cache_get ZARNOWEL_LEGAL_COPYRIGHT)"
  echo "ProductName: $product"
  echo "Signature: $signature"
  echo "SHA-256:"
  (cd "$stage" && sha256sum "${exes[@]}" | sed 's/^/  /')
} | sed 's/$/\r/' >"$stage/BUILDINFO.txt"

# ---- package
mkdir -p "$dist"
(cd "$stage_root" && cmake -E tar cf "$zip.part" --format=zip "$package")
mv "$zip.part" "$zip"
echo "== release $version: $zip ($(stat -c %s "$zip") bytes, $(($(date +%s) - t0)) s)"
for f in "${exes[@]}"; do echo "  $f $(stat -c %s "$stage/$f") bytes"; done
if [ -n "$p12" ]; then echo "  signed: $signature"; else echo "  UNSIGNED"; fi
