// The message boxes that tell the user why a load failed.
#include <cstdio>

#include "recording/recording.h"

void ShowRecordingString(UINT stringId) {
  char text[StringBufferSize] = "";
  LoadStringA(GetModuleHandleA(nullptr), stringId, text, sizeof text);
  ShowMessageBox(text);
}

void ShowFormatError(const char* fileName, int line) {
  char text[256];
  // "%s の書式がおかしいです\n%d行目" in Shift-JIS
  snprintf(text, sizeof text,
           "%s \x82\xcc\x8f\x91\x8e\xae\x82\xaa\x82\xa8\x82\xa9\x82\xb5\x82\xa2\x82\xc5\x82\xb7"
           "\n%d\x8d\x73\x96\xda",
           fileName, line);
  ShowMessageBox(text);
}
