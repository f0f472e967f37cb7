// Flies a stretch of rows against the in-process stand-in at each given pump frame rate (0
// answers at once) and prints replay frames per simulated second, that as a share of the
// simulator's own frames, exchanges per frame, and how far the last row's end lay behind
// the simulator's clock.
//   replay_benchmark [rows] [clock rate] [recording folder holding data\, or -]
//                    [start time code, 5500 by default] [frame rates...]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "link/link.h"
#include "link/offsets.h"
#include "recording/recording.h"
#include "replay/replay.h"
#include "sim_server.h"
#include "synthetic_recording.h"

// The first rows of the flight as the stand-in served them, sorted by exchange: frame starts
// carry the clock read, frames the heading write; a row ends with the exchange of the trim
// write, after the clock read that ended it.
struct Counts {
  int frames = 0, frameLoopExchanges = 0, exchanges = 0;
  double firstClock = 0, rowEndClock = 0;
};

static Counts CountExchanges(const std::vector<sim::Record>& records, int firstExchange, int rows) {
  Counts counts;
  int rowsEnded = 0;
  bool clockSeen = false;
  double lastClock = 0;
  for (size_t i = 0; i < records.size() && rowsEnded < rows;) {
    int exchange = records[i].exchange;
    bool clock = false, heading = false, trim = false;
    for (; i < records.size() && records[i].exchange == exchange; i++) {
      const sim::Record& r = records[i];
      if (!r.write && r.offset == OffsetClock && r.bytes.size() == 8) {
        clock = true;
        memcpy(&lastClock, r.bytes.data(), 8);
        if (!clockSeen) counts.firstClock = lastClock;
        clockSeen = true;
      }
      heading |= r.write && r.offset == OffsetHeading;
      trim |= r.write && r.offset == OffsetElevatorTrim;
    }
    if (exchange <= firstExchange) continue;
    counts.exchanges++;
    counts.frames += heading;
    counts.frameLoopExchanges += clock || heading;
    if (trim) {
      counts.rowEndClock = lastClock;
      rowsEnded++;
    }
  }
  return counts;
}

static bool Fly(int frameRate, int rows, double clockRate, int startRow) {
  sim::Options options;
  options.frameRate = frameRate;
  options.clockRate = clockRate;
  if (!sim::Start(options)) return false;
  LinkResult result;
  if (!LinkOpen(0, &result)) return false;
  int exchangesBefore = sim::ExchangeCount();
  currentRow = startRow;
  stopRequested = 0;
  HANDLE thread = CreateThread(nullptr, 0, ReplayThread, nullptr, 0, nullptr);
  while (WaitForSingleObject(thread, 5) == WAIT_TIMEOUT)
    if (currentRow >= startRow + rows) stopRequested = 1;  // the rows measured are over
  int flown = rows;
  CloseHandle(thread);
  Counts counts = CountExchanges(sim::Records(), exchangesBefore, rows);
  LinkClose();
  sim::Stop();
  double simulated = counts.rowEndClock - counts.firstClock;
  double perSecond = counts.frames / simulated;
  char share[32] = "";
  if (frameRate)
    snprintf(share, sizeof share, " (%.1f %%)", 100 * perSecond * clockRate / frameRate);
  char pump[32] = "immediate:";
  if (frameRate) snprintf(pump, sizeof pump, "frame-bound %d/s:", frameRate);
  int framesFlown = counts.frames ? counts.frames : 1;
  printf(
      "%-20s rows %d  simulated %.2f s  frames %d  per simulated second %.1f%s  "
      "exchanges per frame %.2f (with row events %.2f)  behind the clock %.3f s "
      "(a frame is %.3f s)\n",
      pump, flown, simulated, counts.frames, perSecond, share,
      double(counts.frameLoopExchanges) / framesFlown, double(counts.exchanges) / framesFlown,
      simulated - flown, simulated / framesFlown);
  return true;
}

int main(int argc, char** argv) {
  int rows = argc > 1 ? atoi(argv[1]) : 10;
  double clockRate = argc > 2 ? atof(argv[2]) : 1.0;
  showText = 0;
  followLatLon = 1;
  if (argc > 3 && strcmp(argv[3], "-") != 0) {
    if (!SetCurrentDirectoryA(argv[3]) || !LoadFlightData()) return 1;
  } else {
    FillSyntheticRecording(MaxRows);
  }
  char startTime[16] = "5500";
  if (argc > 4) snprintf(startTime, sizeof startTime, "%s", argv[4]);
  int startRow = StartRow(startTime);
  std::vector<int> frameRates;
  for (int i = 5; i < argc; i++) frameRates.push_back(atoi(argv[i]));
  if (frameRates.empty()) frameRates = {0, 30, 60};
  if (rows < 1 || startRow < 0 || startRow + rows >= loadedRows || !(clockRate > 0)) return 1;
  for (int frameRate : frameRates)
    if (frameRate < 0 || !Fly(frameRate, rows, clockRate, startRow)) return 1;
  return 0;
}
