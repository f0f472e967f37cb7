// The stand-in Vox.dll on its own: what it accepts at Open, its clip clock, its speed, and
// its call log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

#include "temp_dir.h"
#include "vox_calls.h"

namespace {

const std::string spokenClip = CLIP_DIR "/spoken.ogg";
const std::string threeSecondClip = CLIP_DIR "/three_seconds.ogg";

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Vox : public ::testing::Test {
 protected:
  void SetUp() override {
    library = LoadLibraryA(VOX_DLL);
    ASSERT_NE(library, nullptr) << VOX_DLL;
    auto create = reinterpret_cast<CreateVoxFn>(Export(library, "CreateVox"));
    ASSERT_NE(create, nullptr);
    ClearVoxCalls(library);
    player = create();
    ASSERT_NE(player, nullptr);
  }
  void TearDown() override {
    if (player) PlayerCall(player, VoxSlotRelease);
    FreeLibrary(library);
  }
  // Time from now until IsPlaying turns 0, polled every millisecond.
  double MsUntilSilent(DWORD timeoutMs) {
    double start = PerformanceMs();
    WaitFor([&] { return PlayerIsPlaying(player) != 1; }, timeoutMs, 2);
    return PerformanceMs() - start;
  }
  HMODULE library = nullptr;
  VoicePlayer* player = nullptr;
};

TEST_F(Vox, OpenAcceptsRealClipsAndRefusesBrokenFiles) {
  std::string folder = MakeTempDir();
  std::string ogg = ReadWhole(spokenClip);
  ASSERT_GT(ogg.size(), 200u);
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case broken[] = {
      {"empty", ""},
      {"text", "2412 this is not a clip\r\n"},
      {"Ogg page header then garbage", "OggS" + std::string(400, '\x5a')},
      {"clip cut inside its headers", ogg.substr(0, 120)},
      {"clip with its headers overwritten", std::string(200, '\0') + ogg.substr(200)},
  };
  for (const Case& c : broken) {
    std::string path = folder + "\\broken.ogg";
    ASSERT_TRUE(WriteTestFile(path, c.bytes));
    EXPECT_EQ(PlayerOpen(player, path.c_str()), 0) << c.what;
    PlayerCall(player, VoxSlotPlay);
    EXPECT_EQ(PlayerIsPlaying(player), 0) << c.what << ": nothing to play";
  }
  EXPECT_EQ(PlayerOpen(player, (folder + "\\absent.ogg").c_str()), 0);
  EXPECT_EQ(PlayerOpen(player, folder.c_str()), 0) << "a folder";
  for (const std::string& good : {spokenClip, threeSecondClip})
    EXPECT_NE(PlayerOpen(player, good.c_str()), 0) << good;
  // A refused Open leaves nothing of the clip opened before it.
  PlayerCall(player, VoxSlotPlay);
  EXPECT_EQ(PlayerIsPlaying(player), 1);
  EXPECT_EQ(PlayerOpen(player, (folder + "\\absent.ogg").c_str()), 0);
  EXPECT_EQ(PlayerIsPlaying(player), 0);
  RemoveTree(folder);
}

// A clip cut short, as a download that broke off leaves it, opens and plays up to the cut,
// then ends as if it had finished there.
TEST_F(Vox, AClipCutShortEndsWhereItWasCut) {
  std::string path = MakeTempDir() + "\\cut.ogg";
  std::string ogg = ReadWhole(threeSecondClip);
  ASSERT_TRUE(WriteTestFile(path, ogg.substr(0, ogg.size() * 6 / 10)));
  ASSERT_NE(PlayerOpen(player, path.c_str()), 0);
  PlayerCall(player, VoxSlotPlay);
  double played = MsUntilSilent(5000);
  EXPECT_GT(played, 300) << "the sound before the cut plays";
  EXPECT_LT(played, 2700) << "the clip's 3 s do not";
  RemoveTree(path.substr(0, path.rfind('\\')));
}

TEST_F(Vox, ClipClockRunsForTheClipLengthAndStandsStillWhileHeld) {
  ASSERT_NE(PlayerOpen(player, threeSecondClip.c_str()), 0);
  EXPECT_EQ(PlayerIsPlaying(player), 0) << "opened, not yet started";
  PlayerCall(player, VoxSlotPlay);
  Sleep(500);
  PlayerCall(player, VoxSlotPause);
  EXPECT_EQ(PlayerIsPlaying(player), 0) << "held";
  Sleep(700);
  PlayerCall(player, VoxSlotPlay);
  EXPECT_EQ(PlayerIsPlaying(player), 1);
  // 2.5 s of the clip are left after the hold.
  double rest = MsUntilSilent(5000);
  EXPECT_NEAR(rest, 2500, 60);
  // After its end a clip plays again from the start, and Stop ends it at once.
  PlayerCall(player, VoxSlotPlay);
  EXPECT_EQ(PlayerIsPlaying(player), 1);
  PlayerCall(player, VoxSlotStop);
  EXPECT_EQ(PlayerIsPlaying(player), 0);
  PlayerCall(player, VoxSlotPlay);
  EXPECT_NEAR(MsUntilSilent(5000), 3000, 60) << "Play after Stop starts from the beginning";
}

// Where a sound device exists (the wave output run), Play feeds it; elsewhere the clock runs
// silently. Either way the clip's clock is the same (the test above runs in both).
TEST_F(Vox, PlaysThroughTheWaveOutputWhereOneExists) {
  const char* expectWave = getenv("VOX_EXPECT_WAVE");
  bool wave = expectWave && strcmp(expectWave, "1") == 0;
  ASSERT_NE(PlayerOpen(player, spokenClip.c_str()), 0);
  PlayerCall(player, VoxSlotPlay);
  Sleep(300);  // let the feeder queue and the device take some buffers
  PlayerCall(player, VoxSlotPause);
  PlayerCall(player, VoxSlotPlay);
  PlayerCall(player, VoxSlotStop);
  PlayerCall(player, VoxSlotPlay);
  std::vector<VoxCallRecord> calls = VoxCalls(library);
  ASSERT_EQ(Operations(calls), "CreateVox Open Play Pause Play Stop Play");
  EXPECT_EQ(calls[0].result, wave ? "waveOut" : "silent");
  for (size_t i : {2, 4, 6}) EXPECT_EQ(calls[i].result, wave ? "wave" : "silent") << i;
  // Release while the device plays must not hang on the feeder.
  double before = PerformanceMs();
  PlayerCall(player, VoxSlotRelease);
  player = nullptr;
  EXPECT_LT(PerformanceMs() - before, 500);
  // Release tells how many buffers went to the device: more than the first four queued
  // means the device gave buffers back and the feeder refilled them.
  std::string fed = VoxCalls(library).back().result;
  if (wave) {
    EXPECT_GT(atoi(fed.c_str()), 4) << fed;
  } else {
    EXPECT_EQ(fed, "");
  }
}

TEST_F(Vox, CallsWithoutAClipAndUnusedSlotsAreHarmless) {
  PlayerCall(player, VoxSlotStop);
  PlayerCall(player, VoxSlotPlay);
  PlayerCall(player, VoxSlotPause);
  EXPECT_EQ(PlayerIsPlaying(player), 0);
  for (int slot : {4, 5, 6, 7, 8, 10, 11, 12}) {
    ASSERT_NE(player->operations[slot], nullptr) << slot;
    EXPECT_EQ(reinterpret_cast<int32_t(__stdcall*)(VoicePlayer*)>(player->operations[slot])(player),
              0);
  }
  EXPECT_EQ(Operations(VoxCalls(library)),
            "CreateVox Stop Play Pause IsPlaying Unused Unused Unused Unused Unused Unused Unused "
            "Unused");
}

// Processor time of the calling thread, user and kernel, in milliseconds.
double ThreadCpuMs() {
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  auto ms = [](FILETIME t) {
    return (double(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e4;
  };
  return ms(kernel) + ms(user);
}

// The voice thread stops, opens and starts a clip again and again until its row begins; a
// slow Open would put the clip out of step. Measured in the thread's processor time, which
// other work on a loaded machine does not stretch; the wall time is printed beside it.
TEST_F(Vox, OpenIsFastEnoughForRepeatedRestarts) {
  const int rounds = 300;
  double start = PerformanceMs(), startCpu = ThreadCpuMs();
  for (int i = 0; i < rounds; ++i) {
    PlayerCall(player, VoxSlotStop);
    ASSERT_NE(PlayerOpen(player, spokenClip.c_str()), 0);
    PlayerCall(player, VoxSlotPlay);
  }
  double mean = (PerformanceMs() - start) / rounds;
  double cpuMean = (ThreadCpuMs() - startCpu) / rounds;
  printf("Stop/Open/Play: mean %.3f ms of processor time, %.3f ms of wall time over %d rounds\n",
         cpuMean, mean, rounds);
  EXPECT_LT(cpuMean, 5.0);
}

TEST_F(Vox, LogsEveryCallInOrderWithItsTimeInMemoryAndInTheLogFile) {
  double before = PerformanceMs();
  ASSERT_NE(PlayerOpen(player, spokenClip.c_str()), 0);
  PlayerCall(player, VoxSlotPlay);
  PlayerCall(player, VoxSlotPause);
  PlayerIsPlaying(player);
  PlayerCall(player, VoxSlotStop);
  PlayerCall(player, VoxSlotRelease);
  player = nullptr;
  double after = PerformanceMs();
  std::vector<VoxCallRecord> calls = VoxCalls(library);
  ASSERT_EQ(Operations(calls), "CreateVox Open Play Pause IsPlaying Stop Release");
  // The in-memory copy keeps the end of a long path.
  EXPECT_NE(spokenClip.rfind(calls[1].file), std::string::npos);
  EXPECT_GE(calls[1].file.size(), 40u);
  EXPECT_EQ(calls[1].result, "ok");
  EXPECT_EQ(calls[4].result, "0");
  for (size_t i = 1; i < calls.size(); ++i) {
    EXPECT_GE(calls[i].ms, calls[i - 1].ms);
    EXPECT_LE(calls[i].ms, after);
  }
  EXPECT_GE(calls[1].ms, before);

  const char* logPath = getenv("VOX_LOG");
  if (!logPath) GTEST_SKIP() << "VOX_LOG is not set (CTest sets it)";
  std::string fileText = ReadWhole(logPath);
  EXPECT_NE(fileText.find(" Open " + calls[1].file + " ok\n"), std::string::npos);
  EXPECT_NE(fileText.find(" Release " + calls[6].file + "\n"), std::string::npos);
}

}  // namespace
