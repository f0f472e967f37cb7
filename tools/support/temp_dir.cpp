#include "temp_dir.h"

#include <windows.h>

#include <cstdio>

std::string MakeTempDir() {
  char base[MAX_PATH];
  GetTempPathA(sizeof base, base);
  static int counter;
  for (;;) {
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%sostavin-%lu-%d", base, GetCurrentProcessId(), ++counter);
    if (CreateDirectoryA(path, nullptr)) return path;
  }
}

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = path + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(child);
      else
        DeleteFileA(child.c_str());
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}

bool WriteTestFile(const std::string& path, const std::string& bytes) {
  for (size_t slash = path.find('\\', 3); slash != std::string::npos;
       slash = path.find('\\', slash + 1))
    CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) return false;
  bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && written;
}
