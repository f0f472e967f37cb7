// The voice clips: each of the 57 present, an Ogg Vorbis stream that decodes from its start to
// its end, and over before the next clip starts. They are decoded with Vox.dll's decoder.
#include <cstdio>

#include "check.h"
#include "clip_decode.h"
#include "recording/recording.h"
#include "voice/voice.h"

namespace {

// The replay ends at 56:26: the last clip has until then.
const TimeCode ReplayEnd = 5626;

// Reports, in a user's words, what keeps a clip from playing to its end.
void ReportScan(const char* path, const ClipScan& scan, size_t bytes) {
  switch (scan.verdict) {
    case ClipSound:
      return;
    case ClipEmpty:
      Report(path, 0, "空のファイルです (0 バイト)");
      return;
    case ClipNotVorbis:
      Report(path, 0, "Ogg Vorbis の音声ファイルではありません");
      return;
    case ClipCut:
      Report(path, 0, "音声の途中でファイルが終わっています (%.1f KB で切れています)",
             bytes / 1024.0);
      return;
    case ClipDamaged:
      if (scan.damagePercent == 0)
        Report(path, 0, "音声の始まりが壊れています");
      else
        Report(path, 0, "音声の %d %% の所が壊れています", scan.damagePercent);
      return;
    case ClipNoSound:
      Report(path, 0, "音声が入っていません");
      return;
    case ClipTooLong:
      Report(path, 0, "長さが %d 分を超えます", MaxClipSeconds / 60);
      return;
  }
}

// A clip that plays to its end must be over before the next clip (or the replay's end).
void CheckRoom(const char* path, int index, double seconds) {
  bool last = index + 1 == ClipCount;
  TimeCode end = last ? ReplayEnd : clipTimeCodes[index + 1];
  int room = TimeCodeToSeconds(end) - TimeCodeToSeconds(clipTimeCodes[index]);
  if (seconds <= room) return;
  if (last) {
    Report(path, 0, "長さ %.1f 秒が、再生の終わり 56:26 までの %d 秒を超えます", seconds, room);
    return;
  }
  char next[32];
  snprintf(next, sizeof next, "sound\\%d.ogg", end);
  Report(path, 0, "長さ %.1f 秒が、次の %s の始まりまでの %d 秒を超えます", seconds, next, room);
}

void CheckClip(int index) {
  char path[32];
  snprintf(path, sizeof path, "sound\\%d.ogg", clipTimeCodes[index]);
  ClipImage image;
  ClipFileResult read = ReadClipFile(path, &image);
  if (read == ClipFileMissing) {
    Report(path, 0, "ファイルが開けません");
  } else if (read == ClipFileTooLarge) {
    Report(path, 0, "%.1f MB あり、大き過ぎます (%d MB まで)", image.size / 1048576.0,
           int(MaxClipBytes >> 20));
  } else {
    ClipScan scan = ScanClip(image.bytes, image.size);
    ReportScan(path, scan, image.size);
    if (scan.verdict == ClipSound) CheckRoom(path, index, ClipSeconds(scan));
  }
  FreeClipImage(&image);
}

}  // namespace

void CheckClips() {
  for (int i = 0; i < ClipCount; i++) CheckClip(i);
}
