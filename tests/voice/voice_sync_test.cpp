// Clips in step with the replay: the real replay thread flies the stand-in simulator with its
// clock at the normal rate, and a watcher notes the moment currentRow moves (within about a
// millisecond). A clip's effective start is its last Play; it must lie within 45 ms before
// and 125 ms after the moment the replay enters the clip's row.
#include "voice_fixture.h"

#include <mmsystem.h>

#include <vector>

#include "link/link.h"
#include "sim_server.h"

namespace {

const double EarlyLimitMs = -45;
const double LateLimitMs = 125;

// Checks every clip's last Play against the moment its row began and prints the spread.
void CheckClipStarts(const std::vector<VoxCallRecord>& calls, const std::vector<TimeCode>& clips,
                     const std::vector<int32_t>& clipRows, const std::vector<double>& entered) {
  double earliest = 1e9, latest = -1e9, worstBeforeRow = 1e9;
  for (size_t k = 0; k < clips.size(); ++k) {
    double rowBegan = entered[size_t(clipRows[k])];
    const VoxCallRecord* last = nullptr;
    const VoxCallRecord* lastBeforeRow = nullptr;
    for (const VoxCallRecord& call : calls) {
      if (call.operation != "Play" || call.file != ClipName(clips[k])) continue;
      last = &call;
      if (call.ms < rowBegan) lastBeforeRow = &call;
    }
    ASSERT_NE(last, nullptr) << clips[k] << " never played";
    ASSERT_NE(lastBeforeRow, nullptr) << clips[k] << " not started before its row";
    double offset = last->ms - rowBegan;
    EXPECT_GE(offset, EarlyLimitMs) << clips[k];
    EXPECT_LE(offset, LateLimitMs) << clips[k];
    earliest = std::min(earliest, offset);
    latest = std::max(latest, offset);
    worstBeforeRow = std::min(worstBeforeRow, lastBeforeRow->ms - rowBegan);
  }
  printf(
      "clip starts from their rows over %d clips: %+.3f .. %+.3f ms; last Play before the "
      "row: at worst %+.3f ms\n",
      int(clips.size()), earliest, latest, worstBeforeRow);
}

class ReplaySync : public VoiceThreadTest {
 public:
  void TearDown() override {
    stopRequested = 1;
    if (replay) {
      EXPECT_EQ(WaitForSingleObject(replay, 10000), WAIT_OBJECT_0);
      CloseHandle(replay);
    }
    LinkClose();
    sim::Stop();
    linkFailed = 0;
    showText = 1;
    VoiceThreadTest::TearDown();
  }
  HANDLE replay = nullptr;
};

const int ReplayClips = 3;  // a clip on every third row: rows 3, 6, 9

// Every row a time code of the flight's first minutes that is no clip time, but for the
// clips; the channels stand still.
void LayOutReplay(std::vector<TimeCode>* clips, std::vector<int32_t>* clipRows) {
  for (int32_t row = 0; row < MaxRows; ++row) {
    timeCodes[row] = 2401 + row % 10;
    rollTable[row] = pitchTable[row] = headingTable[row] = 0;
    aileronTable[row] = elevatorTable[row] = latitudeTable[row] = longitudeTable[row] = 0;
    altitudeTable[row] = 1000.0 * 65536.0 * 65536.0;
    speedTable[row] = 150 * 128;
  }
  for (int k = 0; k < ReplayClips; ++k) {
    int32_t row = 3 * (k + 1);
    timeCodes[row] = clipTimeCodes[k * 18];
    clips->push_back(timeCodes[row]);
    clipRows->push_back(row);
  }
  loadedRows = MaxRows;
}

TEST_F(ReplaySync, EachClipStartsWithinTheSyncLimitsOfTheReplaysRows) {
  std::vector<TimeCode> clips;
  std::vector<int32_t> clipRows;
  LayOutReplay(&clips, &clipRows);
  for (TimeCode clip : clips) AddClip(clip, "spoken.ogg");
  sim::Options options;
  options.frameRate = 60;
  ASSERT_TRUE(sim::Start(options));
  LinkResult result = 0;
  ASSERT_EQ(LinkOpen(0, &result), 1);
  showText = 0;
  linkFailed = 0;

  const int32_t lastRow = clipRows.back() + 1;
  std::vector<double> entered(size_t(lastRow) + 1, 0.0);
  timeBeginPeriod(1);
  StartAt(0);
  entered[0] = PerformanceMs();
  replay = CreateThread(nullptr, 0, ReplayThread, nullptr, 0, nullptr);
  ASSERT_NE(replay, nullptr);
  for (int32_t seen = 0; seen < lastRow;) {
    ASSERT_EQ(WaitForSingleObject(replay, 1), DWORD(WAIT_TIMEOUT)) << "replay ended at " << seen;
    int32_t row = currentRow;
    if (row == seen) continue;
    ASSERT_EQ(row, seen + 1) << "rows are entered one by one";
    entered[size_t(row)] = PerformanceMs();
    seen = row;
  }
  timeEndPeriod(1);
  CheckClipStarts(Calls(), clips, clipRows, entered);
}

}  // namespace
