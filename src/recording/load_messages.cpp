// The message boxes that tell the user why a load failed.
#include <cwchar>

#include "recording/recording.h"

void ShowRecordingString(UINT stringId) {
  wchar_t text[StringBufferSize] = L"";
  LoadStringW(GetModuleHandleA(nullptr), stringId, text, StringBufferSize);
  ShowMessageBox(text);
}

void ShowFormatError(const char* fileName, int line) {
  wchar_t name[StringBufferSize];
  WidenAscii(name, fileName, StringBufferSize);
  wchar_t text[2 * StringBufferSize];
  swprintf(text, 2 * StringBufferSize, L"%ls の書式がおかしいです\n%d行目", name, line);
  ShowMessageBox(text);
}
