// A voice clip's bytes through the clip decoder as the data checker and Vox.dll meet them: the
// checker's whole-clip scan, the player's start, then its decode into 16-bit samples.
#include <cstdlib>

#include "clip_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ClipScan scan = ScanClip(data, size);
  if (scan.soundSamples < 0 || scan.damagePercent < 0 || scan.damagePercent > 99) abort();
  ClipStart start;
  if (!StartClip(data, size, &start)) return 0;
  if (scan.soundSamples == 0 || start.samples <= 0) abort();  // the scan finds what plays
  ClipDecoder decoder;
  if (!OpenClipDecoder(&decoder, data, size)) abort();
  static short samples[4096 * 2];
  const int64_t most = int64_t(MaxClipSeconds) * decoder.rate;
  int64_t played = 0;
  for (long got; played < most && (got = DecodeClip(&decoder, samples, 4096, 2)) > 0;)
    played += got;
  CloseClipDecoder(&decoder);
  // The player plays exactly what the scan decoded, unless the scan stopped at its limit.
  if (scan.verdict != ClipTooLong && played != scan.soundSamples) abort();
  return 0;
}
