// VRN505Check [folder]: checks folder (the current folder when none is given) and exits 0 when
// it holds nothing the program would stumble on, 1 with findings, 2 on bad usage.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "check.h"

static int findings;

void Report(const char* file, int line, const char* format, ...) {
  if (line > 0)
    printf("%s %d行目: ", file, line);
  else
    printf("%s: ", file);
  va_list args;
  va_start(args, format);
  vprintf(format, args);
  va_end(args);
  printf("\n");
  findings++;
}

int FindingCount() { return findings; }

static int Usage() {
  printf(
      "使い方: VRN505Check [フォルダ]\n"
      "  フォルダ (省略すると今のフォルダ) の data\\ と sound\\ を、VRN505Ostavin.exe が\n"
      "  読むとおりに調べます。問題がなければ 0、あれば 1 で終わります。\n");
  return 2;
}

int main(int argc, char** argv) {
  if (argc > 2 || (argc == 2 && (argv[1][0] == '-' || strcmp(argv[1], "/?") == 0))) return Usage();
  if (argc == 2 && !SetCurrentDirectoryA(argv[1])) {
    printf("フォルダに入れません: %s\n", argv[1]);
    return Usage();
  }
  char folder[MAX_PATH] = "";
  GetCurrentDirectoryA(sizeof folder, folder);
  printf("%s を調べます\n", folder);
  CheckDataFiles();
  CheckTranscript();
  CheckClips();
  if (findings == 0)
    printf("問題はありません\n");
  else
    printf("問題が %d 件あります\n", findings);
  fflush(stdout);
  return findings ? 1 : 0;
}
