// The call log of the stand-in Vox.dll. The in-memory copy is a ring of fixed entries: the
// voice thread restarts a clip thousands of times a second, so only the newest entries are
// kept, and the text says how many were dropped.
#include "vox_log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "clock.h"

namespace {

struct Entry {
  double ms;
  char operation[10];
  char result[8];
  char file[48];
};

const int RingEntries = 1 << 18;  // about 19 MB, touched only as far as it is used

// Made when the DLL loads; a critical section, which Windows XP has.
CRITICAL_SECTION logLock;
const bool logLockMade = (InitializeCriticalSection(&logLock), true);
Entry* ring;     // allocated at the first call
int64_t logged;  // entries ever logged since the last clear
FILE* logFile;
bool logFileChecked;

// Copies the tail of text into a fixed field, so that a long path keeps its file name.
void CopyTail(char* field, size_t size, const char* text) {
  if (!text) text = "";
  size_t length = strlen(text);
  const char* tail = length < size ? text : text + length - (size - 1);
  memcpy(field, tail, strlen(tail) + 1);
}

int FormatEntry(char* out, size_t size, const Entry& entry) {
  return snprintf(out, size, "%.3f %s %s%s%s\n", entry.ms, entry.operation,
                  entry.file[0] ? entry.file : "-", entry.result[0] ? " " : "", entry.result);
}

void WriteLogFile(const Entry& entry) {
  if (!logFileChecked) {
    logFileChecked = true;
    const char* path = getenv("VOX_LOG");
    if (path && *path)
      logFile = fopen(path, "ab");  // binary: plain \n line ends for the readers on Linux
  }
  if (!logFile) return;
  char line[128];
  FormatEntry(line, sizeof line, entry);
  fputs(line, logFile);
  fflush(logFile);
}

}  // namespace

void VoxLog(const char* operation, const char* file, const char* result) {
  Entry entry;
  entry.ms = PerformanceMs();
  CopyTail(entry.operation, sizeof entry.operation, operation);
  CopyTail(entry.result, sizeof entry.result, result);
  CopyTail(entry.file, sizeof entry.file, file);
  EnterCriticalSection(&logLock);
  if (!ring) ring = static_cast<Entry*>(calloc(RingEntries, sizeof(Entry)));
  if (ring) ring[logged % RingEntries] = entry;
  ++logged;
  WriteLogFile(entry);
  LeaveCriticalSection(&logLock);
}

int __cdecl VoxCallLog(char* buffer, int size) {
  EnterCriticalSection(&logLock);
  int64_t first = logged > RingEntries ? logged - RingEntries : 0;
  char line[128];
  int total = snprintf(line, sizeof line, "# dropped %lld\n", (long long)first);
  // Whole lines only: copying stops at the first line that does not fit.
  bool fits = buffer && total < size;
  if (buffer && size > 0) snprintf(buffer, size_t(size), "%s", fits ? line : "");
  for (int64_t i = first; ring && i < logged; ++i) {
    int length = FormatEntry(line, sizeof line, ring[i % RingEntries]);
    fits = fits && total + length < size;
    if (fits) memcpy(buffer + total, line, size_t(length) + 1);
    total += length;
  }
  LeaveCriticalSection(&logLock);
  return total;
}

void __cdecl VoxClearLog() {
  EnterCriticalSection(&logLock);
  logged = 0;
  LeaveCriticalSection(&logLock);
}
