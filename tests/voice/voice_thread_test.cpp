// The voice thread's passes, holds, failures and stops, seen through the stand-in Vox.dll's
// call log.
#include "message_box.h"
#include "voice_fixture.h"

namespace {

const TimeCode FirstClip = 2412;    // row 12
const TimeCode MissingClip = 2430;  // row 30
const TimeCode LaterClip = 2514;    // row 74

using Voice = VoiceThreadTest;

TEST_F(Voice, StartsTheNextRowsClipAgainAndAgainUntilItsRowBegins) {
  AddClip(FirstClip, "three_seconds.ogg");
  StartAt(RowOfTimeCode(FirstClip) - 1);
  ASSERT_TRUE(WaitForCall("Play", ClipName(FirstClip), 20, 3000));

  std::vector<VoxCallRecord> calls = Calls();
  ASSERT_EQ(calls[0].operation, "CreateVox");
  // Whole passes of Stop, Open, Play of the one clip, with no sleep between them.
  double worstGap = 0;
  for (size_t i = 1; i + 2 < calls.size(); i += 3) {
    EXPECT_EQ(calls[i].operation + " " + calls[i + 1].operation + " " + calls[i + 2].operation,
              "Stop Open Play");
    EXPECT_EQ(calls[i + 1].file, ClipName(FirstClip));
    EXPECT_EQ(calls[i + 1].result, "ok");
    if (i > 1) worstGap = std::max(worstGap, calls[i + 2].ms - calls[i - 1].ms);
  }
  EXPECT_LT(worstGap, 300) << "a sleep between clip passes";

  // The clip's row begins: the clip plays on, and the row after it (no clip) starts nothing.
  double moved = PerformanceMs();
  currentRow = RowOfTimeCode(FirstClip);
  Sleep(1200);
  std::vector<VoxCallRecord> after = CallsSince(moved);
  EXPECT_LE(CountCalls(after, "Play"), 1u) << "only a pass already under way may finish";
  EXPECT_LE(CountCalls(after, "Open"), 1u);

  EXPECT_GE(StopAndTime(1000), 0);
  calls = Calls();
  EXPECT_EQ(calls.back().operation, "Release");
  EXPECT_EQ(calls[calls.size() - 2].operation, "Play") << "Release comes without a Stop";
}

// Rows whose time code is not a clip time, or that lie outside the tables, open nothing and
// leave the thread polling until its stop. So does a clip row whose clip has been started
// once the replay thread has ended (a dead link) before the clip's row: currentRow will not
// move on, and the clip plays out.
TEST_F(Voice, RowsWithNothingToStartLeaveTheThreadPolling) {
  struct Case {
    const char* what;
    int32_t row;
    int32_t replayHasEnded;
    const char* calls;
  };
  const char* nothing = "CreateVox Release";
  const Case cases[] = {
      {"last row of the recording (5626) next", RowOfTimeCode(ReplayEndTime) - 1, 0, nothing},
      {"replay ended on the last row", RowOfTimeCode(ReplayEndTime), 1, nothing},
      {"next row is the end of the tables", MaxRows - 1, 0, nothing},
      {"far beyond the tables", MaxRows + 1000, 0, nothing},
      {"before the first row", -5, 0, nothing},
      {"replay ended before a clip's row", RowOfTimeCode(FirstClip) - 1, 1,
       "CreateVox Stop Open Play Release"},
  };
  AddClip(FirstClip, "spoken.ogg");
  // A clip time code where the tables could be overrun or underrun.
  timeCodes[0] = FirstClip;
  timeCodes[MaxRows - 1] = FirstClip;
  for (const Case& c : cases) {
    ClearVoxCalls(vox);
    stopRequested = 0;
    replayEnded = c.replayHasEnded;
    StartAt(c.row);
    Sleep(400);
    EXPECT_EQ(WaitForSingleObject(thread, 0), DWORD(WAIT_TIMEOUT)) << c.what << ": ended early";
    double stopMs = StopAndTime(2000);
    EXPECT_GE(stopMs, 0) << c.what;
    EXPECT_LE(stopMs, 1500) << c.what << ": one 500 ms pass at most, three times over";
    EXPECT_EQ(Operations(Calls()), c.calls) << c.what;
  }
}

TEST_F(Voice, LastRowOfTheTablesStillPlaysItsClip) {
  AddClip(FirstClip, "spoken.ogg");
  timeCodes[MaxRows - 1] = FirstClip;
  StartAt(MaxRows - 2);
  EXPECT_TRUE(WaitForCall("Play", ClipName(FirstClip), 1, 2000));
}

TEST_F(Voice, StopAlreadySetCreatesAndReleasesOnly) {
  AddClip(FirstClip, "spoken.ogg");
  stopRequested = 1;
  StartAt(RowOfTimeCode(FirstClip) - 1);
  EXPECT_EQ(WaitForSingleObject(thread, 1000), WAIT_OBJECT_0);
  EXPECT_EQ(Operations(Calls()), "CreateVox Release");
}

// Polling costs next to nothing: a thread that spun between its passes would burn a core.
TEST_F(Voice, RowsWithoutAClipArePolledTwiceASecondWithoutSpinning) {
  AddClip(FirstClip, "three_seconds.ogg");
  StartAt(0);
  FILETIME created, exited, kernel, user;
  Sleep(1000);
  ASSERT_TRUE(GetThreadTimes(thread, &created, &exited, &kernel, &user));
  double idleCpuMs = (double(user.dwLowDateTime) + double(kernel.dwLowDateTime)) / 10000.0;
  EXPECT_LT(idleCpuMs, 50) << "CPU time of one second of polling";
  EXPECT_EQ(Operations(Calls()), "CreateVox");

  // A clip row that comes up is noticed within one 500 ms pass.
  double moved = PerformanceMs();
  currentRow = RowOfTimeCode(FirstClip) - 1;
  ASSERT_TRUE(WaitForCall("Open", ClipName(FirstClip), 1, 2000));
  std::vector<VoxCallRecord> calls = CallsSince(moved);
  ASSERT_FALSE(calls.empty());
  EXPECT_LE(calls[0].ms - moved, 1500);  // one 500 ms pass, three times over
}

// Puts the thread into its hold: the first clip playing on its own row, simulator paused.
void HoldPlayingClip(VoiceThreadTest* test, double* pausedAt) {
  test->AddClip(FirstClip, "three_seconds.ogg");
  test->StartAt(RowOfTimeCode(FirstClip) - 1);
  ASSERT_TRUE(test->WaitForCall("Play", ClipName(FirstClip), 1, 2000));
  currentRow = RowOfTimeCode(FirstClip);
  Sleep(50);
  *pausedAt = PerformanceMs();
  simPaused = 1;
  ASSERT_TRUE(test->WaitForCall("Pause", "", 1, 1000));
}

TEST_F(Voice, PauseHoldsAPlayingClipOnceAndOnePlayLetsItGoOn) {
  double pausedAt = 0;
  HoldPlayingClip(this, &pausedAt);
  Sleep(400);
  std::vector<VoxCallRecord> held = CallsSince(pausedAt);
  EXPECT_EQ(Operations(held), "IsPlaying Pause") << "one test, one Pause, then quiet polls";
  EXPECT_EQ(held[0].result, "1");

  double pollMs = PollMs();
  double resumed = PerformanceMs();
  simPaused = 0;
  ASSERT_TRUE(WaitForCall("Play", "", CountCalls(Calls(), "Play") + 1, 1000));
  Sleep(700);
  std::vector<VoxCallRecord> after = CallsSince(resumed);
  EXPECT_EQ(Operations(after), "Play") << "exactly one Play on resume, nothing more";
  EXPECT_LE(after[0].ms - resumed, 3 * pollMs) << "resume noticed within a poll, three times over";
}

TEST_F(Voice, PauseWithNoClipPlayingHoldsNothing) {
  AddClip(FirstClip, "spoken.ogg");
  StartAt(0);
  simPaused = 1;
  ASSERT_TRUE(WaitForCall("IsPlaying", "", 2, 3000)) << "the held thread does not poll the player";
  simPaused = 0;
  Sleep(700);  // a pass after the resume, in which nothing is to be called
  std::vector<VoxCallRecord> calls = Calls();
  EXPECT_GE(CountCalls(calls, "IsPlaying"), 2u);
  EXPECT_EQ(CountCalls(calls, "IsPlaying"), calls.size() - 1) << Operations(calls);
  for (const VoxCallRecord& call : calls)
    if (call.operation == "IsPlaying") {
      EXPECT_EQ(call.result, "0");
    }
}

TEST_F(Voice, StopWhileHoldingReleasesWithoutPlay) {
  double pausedAt = 0;
  HoldPlayingClip(this, &pausedAt);
  Sleep(200);
  double pollMs = PollMs();
  double stopMs = StopAndTime(1000);
  EXPECT_GE(stopMs, 0);
  EXPECT_LE(stopMs, 3 * pollMs) << "answered within one poll, three times over";
  EXPECT_EQ(Operations(CallsSince(pausedAt)), "IsPlaying Pause Release");
}

TEST_F(Voice, AClipThatCannotBeOpenedIsReportedAndTheNextClipPlays) {
  AddClip(LaterClip, "spoken.ogg");
  StartAt(RowOfTimeCode(MissingClip) - 1);
  // Dismissed while the replay still stands before the clip's row: the clip is tried again.
  SeenBox first, second, last, none;
  ASSERT_TRUE(AnswerBox(&first, 3000));
  ASSERT_TRUE(AnswerBox(&second, 3000));
  // The third try is under way; the replay moves on before its box is dismissed.
  ASSERT_TRUE(WaitForCall("Open", ClipName(MissingClip), 3, 3000));
  currentRow = RowOfTimeCode(MissingClip);
  ASSERT_TRUE(AnswerBox(&last, 3000));
  EXPECT_FALSE(AnswerBox(&none, 800)) << "a box after the replay moved on: " << none.text;

  EXPECT_EQ(first.text, "Cannot open sound file :\nsound\\2430.ogg");
  EXPECT_EQ(first.caption, "VRN505 Ostavin");
  EXPECT_EQ(first.owner, nullptr);
  EXPECT_EQ(first.buttons.size(), 1u);
  EXPECT_EQ(last.text, first.text);
  std::vector<VoxCallRecord> calls = Calls();
  EXPECT_EQ(CountCalls(calls, "Play"), 0u);
  EXPECT_EQ(CountCalls(calls, "Open", ClipName(MissingClip)), 3u);
  for (const VoxCallRecord& call : calls)
    if (call.operation == "Open") {
      EXPECT_EQ(call.result, "refused");
    }

  currentRow = RowOfTimeCode(LaterClip) - 1;
  EXPECT_TRUE(WaitForCall("Play", ClipName(LaterClip), 1, 2000));
  EXPECT_EQ(WaitForSingleObject(thread, 0), DWORD(WAIT_TIMEOUT));
}

// Without a usable Vox.dll the thread plays nothing, but it stays joinable: it answers its
// stop quickly, as the dialog waits for it without a time-out.
TEST_F(Voice, WithoutAPlayerTheThreadOnlyWaitsForItsStop) {
  HMODULE nullVox = LoadLibraryA(NULL_VOX_DLL);
  ASSERT_NE(nullVox, nullptr) << NULL_VOX_DLL;
  struct Case {
    const char* what;
    HMODULE library;
    int available;
  };
  const Case cases[] = {
      {"Vox.dll not loaded", nullptr, 0},
      {"library without CreateVox", GetModuleHandleA("kernel32.dll"), 0},
      {"CreateVox gives no player", nullVox, 1},
  };
  AddClip(FirstClip, "spoken.ogg");
  for (const Case& c : cases) {
    voiceLibrary = c.library;
    EXPECT_EQ(VoiceAvailable(), c.available) << c.what;
    stopRequested = 0;
    StartAt(RowOfTimeCode(FirstClip) - 1);
    Sleep(300);
    EXPECT_EQ(WaitForSingleObject(thread, 0), DWORD(WAIT_TIMEOUT)) << c.what << ": ended early";
    double pollMs = PollMs();
    double stopMs = StopAndTime(2000);
    EXPECT_GE(stopMs, 0) << c.what;
    EXPECT_LE(stopMs, 3 * pollMs) << c.what;  // one poll, three times over
  }
  EXPECT_EQ(Operations(Calls()), "") << "the real player was never used";
  voiceLibrary = vox;
  EXPECT_EQ(VoiceAvailable(), 1);
  FreeLibrary(nullVox);
}

}  // namespace
