#!/usr/bin/env bash
# Checks the 32-bit release build (BUILD-win32) that users get, on any machine: 32-bit PE
# executables that import only Windows' own DLLs, Windows XP as the oldest Windows, and
# the program's compiled resources byte for byte those of the test build, the manifest's
# processor architecture aside. The package test flies it.
#
#   release_build_test.sh BUILD
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
release=$build-win32
root=$build/release-test
fail() { echo "release build test: $1" >&2; exit 1; }
rm -rf "$root"
mkdir -p "$root"

binaries=(src/app/VRN505Ostavin.exe tools/vox/Vox.dll tools/check/VRN505Check.exe tools/simulator.exe)
for binary in "${binaries[@]}"; do
  header=$root/header.txt
  LC_ALL=C x86_64-w64-mingw32-objdump -p "$release/$binary" >"$header"
  grep -q 'file format pei-i386$' "$header" || fail "$binary is not an i386 executable"
  grep -q '^Magic[[:space:]]*010b[[:space:]]*(PE32)' "$header" || fail "$binary is not PE32"
  dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' "$header" | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')
  for dll in $dlls; do
    case $dll in kernel32.dll|user32.dll|gdi32.dll|msvcrt.dll|winmm.dll|shell32.dll) ;;
      *) fail "$binary imports $dll" ;; esac
  done
done

oldest=$(python3 "$here/tools/package/oldest_windows.py" "${binaries[@]/#/$release/}" | tail -n 1)
[ "$oldest" = "oldest: Windows XP" ] || fail "$oldest, not Windows XP"

# The same resources in both builds: the manifest names each build's own processor.
for dir in "$build" "$release"; do
  x86_64-w64-mingw32-windres -J coff -O rc -i "$dir/src/app/VRN505Ostavin.exe" \
    -o "$root/$(basename "$dir").rc" || fail "no resources in $dir"
done
sed 's/processorArchitecture=""amd64""/processorArchitecture=""X86""/' "$root/$(basename "$build").rc" \
  >"$root/test-build-as-x86.rc"
[ "$(grep -c 'processorArchitecture=""X86""' "$root/test-build-as-x86.rc")" -eq 2 ] ||
  fail "the test build's manifest does not name amd64 twice"
cmp -s "$root/test-build-as-x86.rc" "$root/$(basename "$release").rc" ||
  fail "resources differ: $(diff "$root/test-build-as-x86.rc" "$root/$(basename "$release").rc" | head -c 400)"
echo "release build test: executables and resources checked"
