// The flight log's file: where it goes, the previous run's log kept, and a writer thread
// that writes out a fixed buffer, so that no exchange waits for the disk. A log that cannot
// be made or written changes nothing else.
#include <windows.h>
#include <shlobj.h>  // SHGetFolderPathA: the local application data folder, since Windows XP

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "log/flight_log.h"

const int LogBufferBytes = 64 * 1024;  // a full replay writes about 1 KB a second
const int LogLineBytes = 512;
const DWORD WriteOutMs = 250;
const DWORD WriterEndMs = 1000;  // a disk that does not answer holds the exit no longer

static CRITICAL_SECTION logLock;
static const bool logLockMade = (InitializeCriticalSection(&logLock), true);

// Written by Open/CloseFlightLog on one thread while no replay runs; read under logLock.
static HANDLE logFile;
static std::atomic<bool> logOpen;  // logFile is set: LogLine's look before it formats
static HANDLE writerThread;
static HANDLE writerWake;
static char logPath[MAX_PATH];
static volatile LONG writerEnding;

// Under logLock: lines go into buffers[filling]; the writer thread swaps and writes out.
static char buffers[2][LogBufferBytes];
static int used[2];
static int filling;
static int droppedLines;

// ---- Buffer and writer ----------------------------------------------------------------------

static void Append(const char* line, int bytes) {
  EnterCriticalSection(&logLock);
  if (!logFile) {
    LeaveCriticalSection(&logLock);
    return;
  }
  if (used[filling] + bytes <= LogBufferBytes) {
    memcpy(buffers[filling] + used[filling], line, bytes);
    used[filling] += bytes;
  } else {
    droppedLines++;
  }
  LeaveCriticalSection(&logLock);
}

void LogLine(const char* format, ...) {
  if (!logOpen) return;  // Append checks logFile again, under the lock
  char line[LogLineBytes];
  va_list arguments;
  va_start(arguments, format);
  int bytes = vsnprintf(line, LogLineBytes - 2, format, arguments);
  va_end(arguments);
  if (bytes < 0) return;
  if (bytes > LogLineBytes - 3) bytes = LogLineBytes - 3;
  line[bytes++] = '\r';
  line[bytes++] = '\n';
  Append(line, bytes);
}

// Swaps the buffers and writes out the full one; only the writer thread calls it while the
// log is open.
static void WriteOut() {
  EnterCriticalSection(&logLock);
  int full = filling;
  filling ^= 1;
  int dropped = droppedLines;
  droppedLines = 0;
  LeaveCriticalSection(&logLock);
  DWORD written;
  if (used[full]) WriteFile(logFile, buffers[full], DWORD(used[full]), &written, nullptr);
  used[full] = 0;
  if (dropped) LogLine("lost lines=%d", dropped);
}

static DWORD WINAPI LogWriter(LPVOID) {
  for (;;) {
    WaitForSingleObject(writerWake, WriteOutMs);
    int ending = writerEnding != 0;
    WriteOut();
    if (ending) {
      WriteOut();  // a lost-lines note of the last pass
      return 0;
    }
  }
}

// ---- Where the log goes --------------------------------------------------------------------

static int PathIn(char* path, const char* folder, const char* name) {
  if (lstrlenA(folder) + 1 + lstrlenA(name) >= MAX_PATH) return 0;
  wsprintfA(path, "%s\\%s", folder, name);
  return 1;
}

// The previous log becomes VRN505Ostavin.1.log; a log that cannot be moved aside (another
// copy writes it, or the folder is not ours) makes the folder unusable, so none is lost.
static HANDLE CreateLogIn(const char* folder) {
  char path[MAX_PATH], previous[MAX_PATH];
  if (!PathIn(path, folder, "VRN505Ostavin.log")) return INVALID_HANDLE_VALUE;
  if (!PathIn(previous, folder, "VRN505Ostavin.1.log")) return INVALID_HANDLE_VALUE;
  DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return INVALID_HANDLE_VALUE;
    if (!MoveFileExA(path, previous, MOVEFILE_REPLACE_EXISTING)) return INVALID_HANDLE_VALUE;
  }
  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) lstrcpyA(logPath, path);
  return file;
}

static int StartWriter(HANDLE file) {
  writerEnding = 0;
  used[0] = used[1] = 0;
  filling = 0;
  droppedLines = 0;
  writerWake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (writerWake) writerThread = CreateThread(nullptr, 0, LogWriter, nullptr, 0, nullptr);
  if (!writerThread) {
    if (writerWake) CloseHandle(writerWake);
    writerWake = nullptr;
    CloseHandle(file);
    logPath[0] = 0;
    return 0;
  }
  EnterCriticalSection(&logLock);
  logFile = file;
  LeaveCriticalSection(&logLock);
  logOpen = true;
  return 1;
}

int OpenFlightLogIn(const char* folder) {
  if (logFile) return 1;
  HANDLE file = CreateLogIn(folder);
  if (file == INVALID_HANDLE_VALUE) return 0;
  return StartWriter(file);
}

// The exe's own folder: the path GetModuleFileNameA gives, up to its last backslash.
static int ExeFolder(char* folder) {
  DWORD length = GetModuleFileNameA(nullptr, folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 0;
  char* slash = strrchr(folder, '\\');
  if (!slash) return 0;
  *slash = 0;
  return 1;
}

// VRN505Ostavin\ in the user's local application data folder, made if needed.
static int FallbackFolder(char* folder) {
  char base[MAX_PATH];
  if (SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base) != S_OK)
    return 0;
  if (!PathIn(folder, base, "VRN505Ostavin")) return 0;
  CreateDirectoryA(folder, nullptr);
  return 1;
}

void OpenFlightLog() {
  char folder[MAX_PATH];
  if (ExeFolder(folder) && OpenFlightLogIn(folder)) return;
  if (FallbackFolder(folder)) OpenFlightLogIn(folder);
}

void CloseFlightLog() {
  if (!logFile) return;
  writerEnding = 1;
  SetEvent(writerWake);
  DWORD ended = WaitForSingleObject(writerThread, WriterEndMs);
  logOpen = false;
  EnterCriticalSection(&logLock);
  HANDLE file = logFile;
  logFile = nullptr;
  LeaveCriticalSection(&logLock);
  if (ended != WAIT_OBJECT_0) return;  // the writer is stuck in the disk: leave it be
  CloseHandle(writerThread);
  CloseHandle(writerWake);
  CloseHandle(file);
  writerThread = writerWake = nullptr;
  logPath[0] = 0;
}

const char* FlightLogPath() { return logPath; }

// ---- Texts ---------------------------------------------------------------------------------

void QuotedUtf8(char* out, int outBytes, const char* text) {
  wchar_t wide[256];
  int count = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 256);
  if (count <= 0) wide[0] = 0;
  wide[255] = 0;
  for (wchar_t* c = wide; *c; c++)
    if (*c == L'"' || *c < L' ') *c = L'\'';
  out[0] = '"';
  int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, out + 1, outBytes - 3, nullptr, nullptr);
  if (bytes <= 0) bytes = 1;  // the terminating zero
  out[bytes] = '"';
  out[bytes + 1] = 0;
}
