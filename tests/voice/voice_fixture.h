// The voice thread against the real stand-in Vox.dll, in a working folder with its own
// sound\ clips. The tests move currentRow, simPaused and stopRequested themselves, as the
// replay thread, the pause watch and the dialog do.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "recording/recording.h"
#include "replay/replay.h"
#include "temp_dir.h"
#include "voice/voice.h"
#include "vox_calls.h"

inline std::string ClipName(TimeCode time) { return "sound\\" + std::to_string(time) + ".ogg"; }

class VoiceThreadTest : public ::testing::Test {
 public:
  static void SetUpTestSuite() {
    vox = LoadLibraryA(VOX_DLL);
    GetCurrentDirectoryA(MAX_PATH, previousDirectory);
  }
  static void TearDownTestSuite() { FreeLibrary(vox); }

  void SetUp() override {
    ASSERT_NE(vox, nullptr) << VOX_DLL;
    for (int32_t row = 0; row < MaxRows; ++row) timeCodes[row] = RowTimeCode(row);
    folder = MakeTempDir();
    ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
    voiceLibrary = vox;
    currentRow = 0;
    simPaused = 0;
    stopRequested = 0;
    replayEnded = 0;
    ClearVoxCalls(vox);
  }

  void TearDown() override {
    if (thread) {
      stopRequested = 1;
      EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0) << "voice thread did not end";
      CloseHandle(thread);
    }
    voiceLibrary = nullptr;
    SetCurrentDirectoryA(previousDirectory);
    RemoveTree(folder);
  }

  // Puts a sample clip in place as the clip of a time code.
  void AddClip(TimeCode time, const char* sample) {
    CreateDirectoryA("sound", nullptr);
    std::string source = std::string(CLIP_DIR) + "/" + sample;
    ASSERT_TRUE(CopyFileA(source.c_str(), ClipName(time).c_str(), FALSE)) << source;
  }

  void StartAt(int32_t row) {
    currentRow = row;
    thread = CreateThread(nullptr, 0, VoiceThread, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
  }

  // What one 50 ms poll of the thread costs on this machine now: a 50 ms sleep of the test's
  // own, timed. On a loaded machine a woken thread waits for a core, so a stop's bound is
  // three of these, not three times the nominal 50 ms.
  static double PollMs() {
    double start = PerformanceMs();
    Sleep(50);
    return PerformanceMs() - start;
  }

  // Sets stopRequested and returns the milliseconds until the thread ended (-1: it did not
  // end within the timeout).
  double StopAndTime(DWORD timeoutMs) {
    double start = PerformanceMs();
    stopRequested = 1;
    if (WaitForSingleObject(thread, timeoutMs) != WAIT_OBJECT_0) return -1;
    double elapsed = PerformanceMs() - start;
    CloseHandle(thread);
    thread = nullptr;
    return elapsed;
  }

  std::vector<VoxCallRecord> Calls() { return VoxCalls(vox); }

  // Calls made at or after a moment.
  std::vector<VoxCallRecord> CallsSince(double ms) {
    std::vector<VoxCallRecord> later;
    for (const VoxCallRecord& call : Calls())
      if (call.ms >= ms) later.push_back(call);
    return later;
  }

  bool WaitForCall(const std::string& operation, const std::string& file, size_t count,
                   DWORD timeoutMs) {
    return WaitFor([&] { return CountCalls(Calls(), operation, file) >= count; }, timeoutMs, 2);
  }

  static inline HMODULE vox;
  static inline char previousDirectory[MAX_PATH];
  std::string folder;
  HANDLE thread = nullptr;
};
