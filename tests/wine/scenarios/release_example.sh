#!/bin/bash
# The release package as a distributor gets it: the executables of the zip
# (signed by release.package with a throw-away certificate) run the bundled
# example in the 64-bit prefix, zarnowel.exe handing over to the zip's
# zarnowel64.exe, and the zip's checker finds the example with its stand-ins
# complete. The zip is the one release.package leaves in $ZW_RELEASE_DIST
# (by hand: ZW_RELEASE_DIST=dist after cmake --workflow --preset release).
source "$(dirname "$0")/../lib.sh"
zw_require_wine
dist=$(cd "${ZW_RELEASE_DIST:-$ZW_SOURCE_DIR/dist}" 2>/dev/null && pwd)
mapfile -t zips < <(ls "$dist"/zarnowel-*.zip 2>/dev/null)
[ ${#zips[@]} = 1 ] || zw_skip "want one zarnowel-<version>.zip in $dist, found ${#zips[@]} (run release.package or the release preset)"
zw_prefix win64
zw_scratch release_example >/dev/null

(cd "$ZW_WORK" && cmake -E tar xf "${zips[0]}")
pkg=$ZW_WORK/$(basename "${zips[0]}" .zip)
if [ ! -f "$pkg/zarnowel.exe" ]; then
  zw_fail "${zips[0]} did not unpack into $(basename "$pkg")/"
  zw_finish
fi
dir=$ZW_DIR/medium
mkdir -p "$dir"
cp "$pkg/zarnowel.exe" "$pkg/zarnowel64.exe" "$dir/"
cp -r "$pkg/example/." "$dir/"
zw_run_example "$dir"
zw_expect_eq "the zip's zarnowel64.exe did the work" "$(zw_log_text tool started | sed -n 's/.*parent=//p')" zarnowel64.exe

zw_wine_reset
out=$(zw_wine "$pkg/zarnowel-check.exe" "$(zw_winpath "$dir")" 2>&1)
rc=$?
out=${out//$'\r'/}
zw_expect_eq "the zip's zarnowel-check.exe finds the example without warnings (exit code)" "$rc" 0
zw_expect_match "the checker read the example's four items" "$out" 'item 4: program \(kind 1\)'
zw_finish
