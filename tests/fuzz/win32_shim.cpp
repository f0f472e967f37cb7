// What the parsers meet outside themselves in the native fuzz build: the Win32 calls of their
// message boxes, the link call of ShowCaption, the showText option, and fopen, which
// hands out the fuzz input's parts in place of the data files.
#include "win32_shim.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "link/link.h"
#include "recording/recording.h"
#include "replay/replay.h"

std::atomic<int32_t> showText;
std::atomic<int32_t> linkFailed;

static std::string fileParts[DataFileCount];
static bool filePresent[DataFileCount];

HINSTANCE GetModuleHandleA(const char*) { return nullptr; }

// As Win32 does: the text cut to size - 1 characters and terminated; its length.
int LoadStringW(HINSTANCE, UINT id, wchar_t* buffer, int size) {
  std::wstring text = L"string " + std::to_wstring(id);
  if (size <= 0) return 0;
  int length = int(text.size()) < size - 1 ? int(text.size()) : size - 1;
  wmemcpy(buffer, text.data(), length);
  buffer[length] = 0;
  return length;
}

// The texts must be terminated strings: wcslen lets AddressSanitizer check that.
int MessageBoxW(HWND, const wchar_t* text, const wchar_t* caption, UINT) {
  return int(wcslen(text) + wcslen(caption) > 0);
}

// The bytes of a caption's write are read at once, as the link client copies them.
void AddWrite(LinkRecords*, uint32_t, uint32_t size, const void* source) {
  static uint8_t block[RequestBlockSize];
  if (size <= sizeof block) memcpy(block, source, size);
}

void SplitIntoDataFiles(const uint8_t* data, size_t size) {
  size_t at = 0;
  for (int file = 0; file < DataFileCount; file++) {
    filePresent[file] = at <= size;
    const uint8_t* end =
        filePresent[file] ? static_cast<const uint8_t*>(memchr(data + at, FileSeparator, size - at))
                          : nullptr;
    size_t stop = end ? size_t(end - data) : size;
    fileParts[file] = filePresent[file] ? std::string(data + at, data + stop) : "";
    at = end ? stop + 1 : size + 1;
  }
}

FILE* OpenBytes(const std::string& bytes) {
  if (bytes.empty()) return fopen("/dev/null", "r");
  return fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "r");
}

extern "C" FILE* __real_fopen(const char* path, const char* mode);

// The loader's fopen (linked with --wrap=fopen): a data file path opens its part.
extern "C" FILE* __wrap_fopen(const char* path, const char* mode) {
  for (int file = 0; file < DataFileCount; file++)
    if (strcmp(path, dataFilePaths[file]) == 0)
      return filePresent[file] ? OpenBytes(fileParts[file]) : nullptr;
  return __real_fopen(path, mode);
}
