// The transcript reader on one file, then every row's caption as the replay sends it.
#include <cstdlib>
#include <cstring>
#include <string>

#include "link/link.h"
#include "recording/recording.h"
#include "replay/replay.h"
#include "win32_shim.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  FILE* file = OpenBytes(bytes);
  showText = 1;
  int read = ReadTranscript(file);
  fclose(file);
  if (!read) return 0;
  for (int row = 0; row < MaxRows; row++) {
    if (!memchr(transcriptTexts[row], 0, CaptionBytes)) abort();  // every text terminated
    if (transcriptTexts[row][0] == 0 && transcriptDurations[row] == 0) break;  // past the end
    LinkRecords frameStart = {};
    ShowCaption(row, &frameStart);
  }
  return 0;
}
