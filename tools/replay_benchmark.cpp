// Flies a stretch of rows against the in-process stand-in, once answering at once and once
// frame-bound at 30 frames per second, and prints replay frames per simulated second,
// exchanges per frame and how far the replay fell behind the simulator's clock.
//   replay_benchmark [rows] [clock rate] [sample folder holding data\]
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "link/link.h"
#include "link/offsets.h"
#include "replay/replay.h"
#include "sim_server.h"

static std::atomic<int> frames;

// A smooth synthetic recording from 55:00 on, used when no sample folder is given.
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

static bool Fly(int frameRate, int rows, double clockRate, int startRow) {
  sim::Options options;
  options.frameRate = frameRate;
  options.clockRate = clockRate;
  if (!sim::Start(options)) return false;
  LinkResult result;
  if (!LinkOpen(0, &result)) return false;
  frames = 0;
  sim::SetWriteHook([](uint32_t offset, uint32_t, const uint8_t*) {
    if (offset == OffsetHeading) frames++;
  });
  currentRow = startRow;
  stopRequested = 0;
  int exchangesBefore = sim::ExchangeCount();
  double clockBefore = sim::Clock();
  HANDLE thread = CreateThread(nullptr, 0, ReplayThread, nullptr, 0, nullptr);
  while (WaitForSingleObject(thread, 5) == WAIT_TIMEOUT)
    if (currentRow >= startRow + rows - 1) stopRequested = 1;  // honoured at the row's end
  double simulated = sim::Clock() - clockBefore;
  int exchanges = sim::ExchangeCount() - exchangesBefore;
  int flown = currentRow - startRow + 1;
  CloseHandle(thread);
  LinkClose();
  sim::Stop();
  printf("%-22s rows %d  simulated %.2f s  frames %d  frames per simulated second %.1f  "
         "exchanges per frame %.2f  behind the simulator's clock %.2f s\n",
         frameRate ? "frame-bound 30/s:" : "immediate:", flown, simulated, frames.load(),
         frames / simulated, double(exchanges) / (frames ? frames.load() : 1),
         simulated - flown);
  return true;
}

int main(int argc, char** argv) {
  int rows = argc > 1 ? atoi(argv[1]) : 10;
  double clockRate = argc > 2 ? atof(argv[2]) : 1.0;
  showText = 0;
  followLatLon = 1;
  if (argc > 3) {
    if (!SetCurrentDirectoryA(argv[3]) || !LoadFlightData()) return 1;
  } else {
    FillSynthetic();
  }
  int startRow = 3300 - FirstRowSecond;  // 55:00
  if (rows < 1 || startRow + rows > loadedRows) return 1;
  for (int frameRate : {0, 30})
    if (!Fly(frameRate, rows, clockRate, startRow)) return 1;
  return 0;
}
