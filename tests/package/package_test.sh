#!/usr/bin/env bash
# Makes the release with scripts/package, unpacks both zips into a fresh folder as a user does
# and proves that it holds what a user needs: the file names, the release build's 32-bit
# executables (release_build_test.sh checks those), readmes in Windows text, the data checker
# passing the sample, and the short demo flown from the unpacked folder, which leaves the
# program's flight log beside it.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
release=$build-win32
root=$build/package-test
fail() { echo "package test: $1" >&2; exit 1; }
rm -rf "$root"
mkdir -p "$root/unpacked"

OSTAVIN_PACKAGE_BUILT=1 BUILD_DIR=$build "$here/scripts/package" --out "$root/dist"
(cd "$root/dist" && sha256sum -c --quiet SHA256SUMS) || fail "SHA256SUMS"
# The same build packs to the same bytes.
OSTAVIN_PACKAGE_BUILT=1 BUILD_DIR=$build "$here/scripts/package" --out "$root/again" >/dev/null
cmp -s "$root/dist/SHA256SUMS" "$root/again/SHA256SUMS" || fail "a second package differs"
zips=("$root"/dist/VRN505Ostavin-*.zip)
[ ${#zips[@]} -eq 2 ] || fail "expected two zips, found ${zips[*]}"
for zip in "${zips[@]}"; do unzip -q "$zip" -d "$root/unpacked"; done
folder=$root/unpacked/VRN505Ostavin

# Every file of both zips, and no other.
clips=$(sed -n '/^CLIP_TIME_CODES/,/]/p' "$here/tools/python/ostavin_recording.py" | grep -o '[0-9]\{4\}')
expected=$( {
  printf '%s\n' VRN505Ostavin.exe Vox.dll VRN505Check.exe readme.txt readme_en.txt license.txt \
    simulator.exe data/readme.txt sound/readme.txt
  for shot in dialog replay link-failure missing-data format-error sound-missing closing; do
    echo "docs/$shot.png"; done
  for dat in Roll Pitch Heading Alt Tas LatLon Alieron Elevator; do echo "data/vrn505$dat.dat"; done
  echo data/cvrText.dat
  for clip in $clips; do echo "sound/$clip.ogg"; done
} | sort)
actual=$(cd "$folder" && find . -type f | sed 's|^\./||' | sort)
[ "$expected" = "$actual" ] || fail "files differ: $(diff <(echo "$expected") <(echo "$actual") | tr '\n' ' ')"

# The release build's executables, as it made them.
for binary in src/app/VRN505Ostavin.exe tools/vox/Vox.dll tools/check/VRN505Check.exe tools/simulator.exe; do
  cmp -s "$release/$binary" "$folder/${binary##*/}" || fail "${binary##*/} is not the release build's"
  LC_ALL=C x86_64-w64-mingw32-objdump -f "$folder/${binary##*/}" | grep -q 'file format pei-i386$' ||
    fail "${binary##*/} is not an i386 executable"
done

# Windows text: CRLF on every line; Japanese in Shift-JIS, the English readme in UTF-8 with
# a byte order mark. The stated oldest Windows and the imports that set it are what the
# executables show.
python3 - "$folder" "$here/tools/package/oldest_windows.py" <<'PY' || fail "readme texts"
import os, subprocess, sys
folder, oldest = sys.argv[1], sys.argv[2]
texts = {"readme.txt": "cp932", "data/readme.txt": "cp932", "sound/readme.txt": "cp932",
         "readme_en.txt": "utf-8-sig", "license.txt": "ascii"}
decoded = {}
for name, encoding in texts.items():
    data = open(os.path.join(folder, name), "rb").read()
    if encoding == "utf-8-sig" and not data.startswith(b"\xef\xbb\xbf"):
        sys.exit("%s: no byte order mark" % name)
    if data.count(b"\n") != data.count(b"\r\n") or not data.endswith(b"\r\n"):
        sys.exit("%s: not CRLF throughout" % name)
    decoded[name] = data.decode(encoding)
binaries = [os.path.join(folder, b) for b in ("VRN505Ostavin.exe", "Vox.dll", "VRN505Check.exe")]
lines = subprocess.run([sys.executable, oldest] + binaries, check=True, stdout=subprocess.PIPE,
                       universal_newlines=True).stdout.splitlines()
windows = lines[-1].split(": ", 1)[1]
if windows != "Windows XP":
    sys.exit("the executables need %s, not Windows XP" % windows)
for readme in ("readme.txt", "readme_en.txt"):
    text = decoded[readme]
    if windows not in text or "@" in text:
        sys.exit("%s does not state %s" % (readme, windows))
    for line in lines[:-1]:
        for name in line.split("(", 1)[1].rstrip(")").split(", "):
            if name not in text:
                sys.exit("%s does not name %s" % (readme, name))
for message in ("datファイルが開けません", "データ行が多過ぎます", "の書式がおかしいです", "終了します",
                "開始時刻のデータがありません", "Cannot open sound file :", "Cannot link to FSUIPC"):
    if message not in decoded["readme.txt"]:
        sys.exit("readme.txt lacks %s" % message)
PY

# What the user unpacked is complete: the checker passes it, and the demo flies in it, which
# flies the release build. Where 32-bit programs do not run, that flight is skipped: the test
# build's program, Vox.dll, stand-in and checker stand in for the release's, in a copy, with
# the unpacked data and sound.
. "$here/scripts/wine_env.sh"
flown=$folder checker=VRN505Check.exe
if ! why=$(runs_32bit); then
  echo "package test: the release build's flight was skipped: this machine does not run 32-bit programs ($why); flown with the test build's executables"
  flown=$root/flown
  cp -r "$folder" "$flown"
  cp "$build/src/app/VRN505Ostavin.exe" "$build/tools/vox/Vox.dll" "$build/tools/simulator.exe" "$flown/"
  checker=$(winpath "$build/tools/check/VRN505Check.exe")
fi
(cd "$flown" && "$build/winerun" "$checker" >"$root/check.txt") || fail "VRN505Check: $(iconv -f CP932 -t UTF-8 "$root/check.txt")"
bash "$here/tests/demo/short_demo.sh" "$build" "$root/demo-report" --from "$flown"
# The flight left the program's log beside it, from its start to its exit.
log=$flown/VRN505Ostavin.log
[ -s "$log" ] || fail "no VRN505Ostavin.log beside the program after the flight"
head -n 1 "$log" | grep -q '^start version=2\.2\.0\.1 ' || fail "the log does not begin with the start"
grep -q '^summary n=1 rows=147 ' "$log" || fail "the log has no summary of the 147 rows"
tail -n 1 "$log" | grep -q '^exit reason=dialog' || fail "the log does not end with the exit"
echo "package test: both zips unpacked and flown ($([ "$flown" = "$folder" ] && echo "the release build" || echo "the test build's executables"))"
