// A voice clip's bytes through the clip decoder as Vox.dll and the data checker meet them: the
// whole-clip scan of Open and of the checker, then the player's decode into 16-bit samples.
#include <cstdlib>

#include "clip_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ClipScan scan = ScanClip(data, size);
  if (scan.soundSamples < 0 || scan.damagePercent < 0 || scan.damagePercent > 99) abort();
  if (!ClipPlays(scan)) return 0;
  ClipDecoder decoder;
  if (!OpenClipDecoder(&decoder, data, size)) abort();  // the scan opened it
  static short samples[4096 * 2];
  const int64_t most = int64_t(MaxClipSeconds) * decoder.rate;
  int64_t played = 0;
  for (long got; played < most && (got = DecodeClip(&decoder, samples, 4096, 2)) > 0;)
    played += got;
  CloseClipDecoder(&decoder);
  // The player plays exactly what the scan measured, unless the scan stopped at its limit.
  if (scan.verdict != ClipTooLong && played != scan.soundSamples) abort();
  return 0;
}
