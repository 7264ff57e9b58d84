#!/bin/bash
# The release's last word before packaging: every executable in the folder
# (recursively) imports only KnownDLLs and is of the kind its name says
# (tests/check_imports.sh), and each launcher is at most 256 KiB, since the
# launcher is meant to sit small on an installation medium.
#   release-gate.sh DIR    exit 0 pass, 1 refused (each reason on a line)
set -u
dir=${1:?usage: release-gate.sh DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
max_launcher_bytes=262144
status=0

mapfile -t exes < <(find "$dir" -type f \( -iname '*.exe' -o -iname '*.dll' \) | LC_ALL=C sort)
for name in zarnowel.exe zarnowel64.exe zarnowel-check.exe; do
  [ -f "$dir/$name" ] || { echo "REFUSED: $dir/$name is missing"; status=1; }
done
if [ ${#exes[@]} -gt 0 ] && ! bash "$root/tests/check_imports.sh" --files "${exes[@]}"; then
  echo "REFUSED: an executable is not fit to ship (see above)"
  status=1
fi
for name in zarnowel.exe zarnowel64.exe; do
  [ -f "$dir/$name" ] || continue
  size=$(stat -c %s "$dir/$name")
  if [ "$size" -gt "$max_launcher_bytes" ]; then
    echo "REFUSED: $name is $size bytes, more than $max_launcher_bytes (256 KiB)"
    status=1
  else
    echo "$name: $size bytes (at most $max_launcher_bytes)"
  fi
done
[ $status = 0 ] && echo "gate passed: ${#exes[@]} executables"
exit $status
