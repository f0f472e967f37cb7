// The stand-in server's inner state, shared by its source files (not for its users).
#pragma once
#include <atomic>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bytes.h"
#include "clock.h"
#include "sim_server.h"

namespace sim {

const unsigned FrameLengthSeed = 505;

struct State {
  Options options;
  HANDLE thread = nullptr;
  DWORD threadId = 0;
  HANDLE ready = nullptr;
  HANDLE unhang = nullptr;  // signalled to release a hung server thread
  HWND server = nullptr;
  HWND main = nullptr;
  UINT ipcMessage = 0;
  // Guards everything below. Re-entrant, so a hook may call Peek or Clock. A critical
  // section, not std::recursive_mutex: the release build has no POSIX thread runtime.
  CRITICAL_SECTION lock;
  uint8_t store[OffsetSpace];
  std::vector<std::vector<uint8_t>> blocks;
  int exchanges = 0;
  int failWriteAt = 0;  // the exchange that met Faults::failWrite; 0 until one did
  int unexpected = 0;   // records that the program is not expected to send
  std::atomic<bool> hang{false};
  std::atomic<LRESULT> reply{1};
  std::function<void(uint8_t*, uint32_t)> afterServe;
  std::function<void(uint32_t, uint32_t, const uint8_t*)> writeHook;
  std::function<void()> closeHook;

  // The simulated simulator.
  bool paused = false;
  bool menu = false;
  double clockRate = 1.0;
  double clockBase = 0;         // simulator clock at clockAnchor
  double clockAnchor = 0;       // real seconds when clockBase was taken
  double airspeed = 0;          // knots x 128, lagging behind the throttles
  double airspeedAt = 0;        // simulator clock of the last airspeed step
  bool airspeedPinned = false;  // a test's Poke set it: it no longer follows the throttles
  std::string caption;          // the message window's text while it shows
  double captionUntil = 0;      // simulator clock when it goes; infinite: until replaced

  // The log and its in-memory copy.
  std::vector<Record> records;
  FILE* log = nullptr;

  // Frame-bound pump: the next frame boundary, the clients served since the last one, the
  // frames begun and the draw of each frame's length (a fixed seed: runs repeat).
  double nextFrame = 0;
  // The scheduled start of the frame being served (0 before the first): a frame-bound
  // simulator's clock moves once per frame, by that frame's length, as a real one does.
  // Written by the pump under the lock; read through ModelSeconds.
  double frameTime = 0;
  std::vector<ATOM> servedThisFrame;
  int frame = 0;
  std::mt19937 frameLengths;
};
extern State state;

// Holds the state lock for its scope.
struct StateLock {
  StateLock() { EnterCriticalSection(&state.lock); }
  ~StateLock() { LeaveCriticalSection(&state.lock); }
  StateLock(const StateLock&) = delete;
  StateLock& operator=(const StateLock&) = delete;
};

// Typed values of the store at an offset; callers hold the lock.
template <typename T>
T Load(uint32_t offset) {
  return LoadAs<T>(state.store + offset);
}
template <typename T>
void Put(uint32_t offset, T value) {
  StoreAs(state.store + offset, value);
}

// Model (sim_model.cpp); callers hold the lock.
void ResetModel();
double ModelSeconds();
double ClockLocked();
void SetPausedLocked(bool paused, const char* why);
void SetMenuLocked(bool open, const char* why);
void SetClockRateLocked(double rate);
void RefreshLive();
void SetVersions();
// Effects of bytes just stored at [offset, offset + size): pause, caption, and for a test's
// Poke (not a client's write) the live values it sets directly.
void ApplyStoreChange(uint32_t offset, uint32_t size, bool fromClient);
double ThrottleMean();

// Log (sim_log.cpp); callers hold the lock.
bool OpenLog(const std::string& path);
void CloseLog();
void LogRecord(int exchange, bool write, uint32_t offset, uint32_t size, const uint8_t* bytes);
void LogExchange(int records, LRESULT reply);
void LogEvent(const char* what, const std::string& text);
void LogUnexpected(bool write, uint32_t offset, uint32_t size, const std::string& why);

// Expected records (sim_expect.cpp); callers hold the lock. Logs and counts one that is not.
void CheckExpected(bool write, uint32_t offset, uint32_t size);
std::string Meaning(uint32_t offset, uint32_t size, const uint8_t* bytes);
std::string ToUtf8(const std::string& narrow, UINT codePage);

// Main window (sim_paint.cpp), on the server thread.
void PaintMainWindow(HWND window);

}  // namespace sim
