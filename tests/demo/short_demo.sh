#!/usr/bin/env bash
# Runs the demo over the last two and a half minutes of the recording and checks that its
# report shows what the full demo must: the flap schedule, the end, captions and clip starts,
# and the program's own flight log agreeing with the stand-in's.
#
#   short_demo.sh BUILD [REPORT [demo options]]   (--from DIR: fly in an unpacked release)
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
report=${2:-$build/demo-report}
shift $(( $# < 2 ? $# : 2 ))
# 30 frames a simulated second at x5: a simulator's pace, with frames of 6.7 ms that hold an
# exchange under Wine even on a loaded machine. Where most exchanges span two frames, no
# reading of the clock can tell the frame's length, and the program's count of fresh frames
# could not agree with the stand-in's.
OSTAVIN_DEMO_BUILT=1 BUILD_DIR=$build "$here/scripts/demo" --start 54 --rate 5 --frames 150 \
  --out "$report" "$@"
summary=$report/summary.md
fail() { echo "short demo: $1" >&2; exit 1; }
[ -s "$report/flight.png" ] || fail "no plot"
grep -q '| rows flown | 147 (54:00 to 56:26) |' "$summary" || fail "rows flown"
grep -q '| unexpected records | 0 |' "$summary" || fail "records the stand-in did not expect"
grep -q '| 54:00 | flaps lever 4094 (2 detents) |' "$summary" || fail "flaps at the start"
grep -q '| 55:42 | flaps lever 12282 (6 detents) |' "$summary" || fail "six detents from 55:42"
grep -q '| 56:26 | pause: the replay ends |' "$summary" || fail "the pause at 56:26"
grep -q '^| 55:00 | .* for [0-9]* s |$' "$summary" || fail "the caption of 55:00"
for figure in rows frames exchanges 'exchanges per frame' 'simulator frames that got new values' \
  'applied lag, mean size (ms)' 'applied lag, worst (ms)'; do
  grep -q "^| $figure | .* | yes |\$" "$summary" || fail "the program's log on $figure"
done
clips=$(grep -cE '^\| 5[456]:[0-9]{2} \| [-+][0-9.]+ \|$' "$summary" || true)
[ "$clips" -eq 4 ] || fail "clip starts: $clips of 4"
echo "short demo: report complete"
