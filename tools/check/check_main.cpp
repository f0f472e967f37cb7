// VRN505Check [folder]: checks folder (the current folder when none is given) and exits 0 when
// it holds nothing the program would stumble on, 1 with findings, 2 on bad usage.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "check.h"

static int findings;

// Text to standard output. A console gets it in UTF-16 (WriteConsoleW), so that its Japanese
// shows whatever the console's code page; a file or a pipe gets the bytes as they are. The
// bytes are in codePage: 932 for the checker's own texts and the data's fields, CP_ACP for
// the folder names that Windows hands out. Where the system cannot convert them (code page
// 932 not installed), the console gets the bytes too.
static void Write(const char* text, UINT codePage) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode;
  wchar_t wide[1024];
  int length = 0;
  if (GetConsoleMode(out, &mode))
    length = MultiByteToWideChar(codePage, 0, text, -1, wide, sizeof wide / sizeof wide[0]);
  DWORD written;
  if (length > 0)
    WriteConsoleW(out, wide, length - 1, &written, nullptr);
  else
    fputs(text, stdout);
}

static void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));
static void Say(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  Write(text, 932);
}

void Report(const char* file, int line, const char* format, ...) {
  char what[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(what, sizeof what, format, args);
  va_end(args);
  if (line > 0)
    Say("%s %d行目: %s\n", file, line, what);
  else
    Say("%s: %s\n", file, what);
  findings++;
}

int FindingCount() { return findings; }

static int Usage() {
  Say("使い方: VRN505Check [フォルダ]\n"
      "  フォルダ (省略すると今のフォルダ) の data\\ と sound\\ を、VRN505Ostavin.exe が\n"
      "  読むとおりに調べます。問題がなければ 0、あれば 1 で終わります。\n");
  return 2;
}

int main(int argc, char** argv) {
  if (argc > 2 || (argc == 2 && (argv[1][0] == '-' || strcmp(argv[1], "/?") == 0))) return Usage();
  if (argc == 2 && !SetCurrentDirectoryA(argv[1])) {
    Say("フォルダに入れません: ");
    Write(argv[1], CP_ACP);
    Say("\n");
    return Usage();
  }
  char folder[MAX_PATH] = "";
  GetCurrentDirectoryA(sizeof folder, folder);
  Write(folder, CP_ACP);
  Say(" を調べます\n");
  CheckDataFiles();
  CheckTranscript();
  CheckClips();
  if (findings == 0)
    Say("問題はありません\n");
  else
    Say("問題が %d 件あります\n", findings);
  fflush(stdout);
  return findings ? 1 : 0;
}
