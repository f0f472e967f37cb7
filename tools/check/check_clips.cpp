// The voice clips: each of the 57 present, an Ogg Vorbis stream that decodes to its end, and
// over before the next clip starts.
#include <cstdio>
#include <cstring>

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include "check.h"
#include "recording/recording.h"
#include "voice/voice.h"

namespace {

// The replay ends at 56:26: the last clip has until then.
const TimeCode ReplayEnd = 5626;

// An Ogg stream's first page (27-byte header, segment table) carries the Vorbis
// identification packet.
bool IsOggVorbis(const char* path) {
  FILE* file = fopen(path, "rb");
  if (!file) return false;
  unsigned char head[27 + 255 + 7];
  size_t got = fread(head, 1, sizeof head, file);
  fclose(file);
  if (got < 27 || memcmp(head, "OggS", 4) != 0 || !(head[5] & 2)) return false;
  size_t packet = 27 + size_t(head[26]);
  return got >= packet + 7 && memcmp(head + packet, "\x01vorbis", 7) == 0;
}

// Decodes the whole clip frame by frame. Returns its length in seconds, or -1 when it does
// not decode.
double DecodedSeconds(const char* path) {
  int error = 0;
  stb_vorbis* decoder = stb_vorbis_open_filename(path, &error, nullptr);
  if (!decoder) return -1;
  stb_vorbis_info info = stb_vorbis_get_info(decoder);
  long long samples = 0;
  int channels;
  float** output;
  for (int got; (got = stb_vorbis_get_frame_float(decoder, &channels, &output)) > 0;)
    samples += got;
  stb_vorbis_close(decoder);
  if (info.sample_rate == 0 || samples == 0) return -1;
  return double(samples) / info.sample_rate;
}

void CheckClip(int index) {
  char path[32], next[32];
  snprintf(path, sizeof path, "sound\\%d.ogg", clipTimeCodes[index]);
  FILE* file = fopen(path, "rb");
  if (!file) {
    Report(path, 0, "ファイルが開けません");
    return;
  }
  fclose(file);
  if (!IsOggVorbis(path)) {
    Report(path, 0, "Ogg Vorbis のファイルではありません");
    return;
  }
  double seconds = DecodedSeconds(path);
  if (seconds < 0) {
    Report(path, 0, "デコードできません (壊れています)");
    return;
  }
  bool last = index + 1 == ClipCount;
  TimeCode end = last ? ReplayEnd : clipTimeCodes[index + 1];
  int room = TimeCodeToSeconds(end) - TimeCodeToSeconds(clipTimeCodes[index]);
  if (seconds <= room) return;
  if (last) {
    Report(path, 0, "長さ %.1f 秒が、再生の終わり 56:26 までの %d 秒を超えます", seconds, room);
    return;
  }
  snprintf(next, sizeof next, "sound\\%d.ogg", end);
  Report(path, 0, "長さ %.1f 秒が、次の %s の始まりまでの %d 秒を超えます", seconds, next, room);
}

}  // namespace

void CheckClips() {
  for (int i = 0; i < ClipCount; i++) CheckClip(i);
}
