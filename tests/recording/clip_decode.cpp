// Decodes an Ogg Vorbis clip completely, so the sample's clips are known to play.
#include "clip_decode.h"

#include <cstdlib>

#include <stb_vorbis.h>

double ClipSeconds(const char* path, int* channels, int* rate) {
  short* samples = nullptr;
  int frames = stb_vorbis_decode_filename(path, channels, rate, &samples);
  free(samples);
  return frames > 0 && *rate > 0 ? double(frames) / *rate : -1.0;
}
