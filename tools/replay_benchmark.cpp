// Flies a stretch of rows against the in-process stand-in at each given pump frame rate (0
// answers at once) and prints replay frames per simulated second, that as a share of the
// simulator's own frames, exchanges per frame, and how far the last row's end lay behind
// the simulator's clock.
//   replay_benchmark [rows] [clock rate] [recording folder holding data\, or -]
//                    [start time code, 5500 by default] [frame rates...]
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "link/link.h"
#include "link/offsets.h"
#include "replay/replay.h"
#include "sim_server.h"

// Written by the server thread's hook, read by main once the replay thread has ended.
static std::atomic<int> frames, frameLoopExchanges, exchanges;
static double firstClock, rowEndClock, lastClockServed;
static bool clockSeen;

// A smooth synthetic recording, used when no recording folder is given.
static void FillSynthetic() {
  for (int r = 0; r < MaxRows; r++) {
    timeCodes[r] = SecondsToTimeCode(1440 + r);
    headingTable[r] = 4294967296.0 * (0.2 + 0.001 * r);
    pitchTable[r] = 1e8 * std::sin(r * 0.3);
    rollTable[r] = -3e8 * std::cos(r * 0.2);
    aileronTable[r] = 9000 * std::sin(r * 1.1);
    elevatorTable[r] = -7000 * std::cos(r * 0.9);
    altitudeTable[r] = (3000.0 - r) * 4294967296.0;
    latitudeTable[r] = 1.6e16 + 1e11 * r;
    longitudeTable[r] = -2.6e18 + 3e13 * r;
    speedTable[r] = 200 * 128;
  }
  loadedRows = MaxRows;
}

static uint32_t Word(const uint8_t* at) {
  uint32_t value;
  memcpy(&value, at, 4);
  return value;
}

// Sorts each served exchange: frame starts carry the clock read, frames the heading write;
// the row's end is the exchange with the trim write, after the clock read that ended it.
static void CountExchange(uint8_t* block, uint32_t size) {
  bool clock = false, heading = false, trim = false;
  for (uint32_t at = 0; at + 16 <= size && Word(block + at) != 0;) {
    bool write = Word(block + at) == 2;
    uint32_t header = write ? 12 : 16, offset = Word(block + at + 4);
    uint32_t length = Word(block + at + 8);
    if (length > size - at - header) break;
    if (!write && offset == OffsetClock) {
      clock = true;
      memcpy(&lastClockServed, block + at + header, 8);
      if (!clockSeen) firstClock = lastClockServed;
      clockSeen = true;
    }
    heading |= write && offset == OffsetHeading;
    trim |= write && offset == OffsetElevatorTrim;
    at += header + length;
  }
  exchanges++;
  if (heading) frames++;
  if (clock || heading) frameLoopExchanges++;
  if (trim) rowEndClock = lastClockServed;
}

static bool Fly(int frameRate, int rows, double clockRate, int startRow) {
  sim::Options options;
  options.frameRate = frameRate;
  options.clockRate = clockRate;
  if (!sim::Start(options)) return false;
  LinkResult result;
  if (!LinkOpen(0, &result)) return false;
  frames = frameLoopExchanges = exchanges = 0;
  clockSeen = false;
  sim::SetAfterServe(CountExchange);
  currentRow = startRow;
  stopRequested = 0;
  HANDLE thread = CreateThread(nullptr, 0, ReplayThread, nullptr, 0, nullptr);
  while (WaitForSingleObject(thread, 5) == WAIT_TIMEOUT)
    if (currentRow >= startRow + rows - 1) stopRequested = 1;  // honoured at the row's end
  int flown = currentRow - startRow + 1;
  CloseHandle(thread);
  sim::SetAfterServe(nullptr);
  LinkClose();
  sim::Stop();
  double simulated = rowEndClock - firstClock;
  double perSecond = frames / simulated;
  char share[32] = "";
  if (frameRate) snprintf(share, sizeof share, " (%.1f %%)", 100 * perSecond * clockRate / frameRate);
  char pump[32] = "immediate:";
  if (frameRate) snprintf(pump, sizeof pump, "frame-bound %d/s:", frameRate);
  int framesFlown = frames ? frames.load() : 1;
  printf("%-20s rows %d  simulated %.2f s  frames %d  per simulated second %.1f%s  "
         "exchanges per frame %.2f (with row events %.2f)  behind the clock %.3f s "
         "(a frame is %.3f s)\n",
         pump, flown, simulated, frames.load(), perSecond, share,
         double(frameLoopExchanges) / framesFlown, double(exchanges) / framesFlown,
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
    FillSynthetic();
  }
  char startTime[16] = "5500";
  if (argc > 4) snprintf(startTime, sizeof startTime, "%s", argv[4]);
  int startRow = StartRow(startTime);
  std::vector<int> frameRates;
  for (int i = 5; i < argc; i++) frameRates.push_back(atoi(argv[i]));
  if (frameRates.empty()) frameRates = {0, 30, 60};
  if (rows < 1 || startRow < 0 || startRow + rows > loadedRows || !(clockRate > 0)) return 1;
  for (int frameRate : frameRates)
    if (frameRate < 0 || !Fly(frameRate, rows, clockRate, startRow)) return 1;
  return 0;
}
