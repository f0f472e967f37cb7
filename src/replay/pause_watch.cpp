// The pause watch: holds the replay while the simulator is paused or shows a menu, and tells
// the voice thread through simPaused.
#include "link/link.h"
#include "link/offsets.h"
#include "replay/replay.h"

// Both indicators, and the clock when asked, in one exchange behind the given records. The
// indicators stay 0 when the exchange fails.
static int ReadIndicators(const LinkRecords* before, uint16_t* pause, uint8_t* menu,
                          double* clock) {
  LinkRecords records = *before;
  *pause = 0;
  *menu = 0;
  AddRead(&records, OffsetPauseIndicator, 2, pause);
  AddRead(&records, OffsetMenuIndicator, 1, menu);
  if (clock) AddRead(&records, OffsetClock, 8, clock);
  LinkResult result;
  return ReplayExchange(&records, &result);
}

// Polls every 40 ms until the simulator runs, a stop is asked for or the link fails.
static int WaitOutPause(double* clock) {
  const LinkRecords none = {};
  uint16_t pause;
  uint8_t menu;
  simPaused = 1;
  for (;;) {
    Sleep(PausePollMs);
    if (!ReadIndicators(&none, &pause, &menu, clock)) {
      linkFailed = 1;
      return 0;
    }
    if (stopRequested != 0) return 1;
    if (!pause && !menu) {
      simPaused = 0;
      return 1;
    }
  }
}

void WaitWhilePaused() {
  const LinkRecords none = {};
  uint16_t pause;
  uint8_t menu;
  ReadIndicators(&none, &pause, &menu, nullptr);  // a failure reads as running
  if (!pause && !menu) {
    simPaused = 0;
    return;
  }
  WaitOutPause(nullptr);
}

int WatchFrameStart(const LinkRecords* frameStart, double* clock) {
  uint16_t pause;
  uint8_t menu;
  if (!ReadIndicators(frameStart, &pause, &menu, clock)) {
    linkFailed = 1;
    return 0;
  }
  if (!pause && !menu) {
    simPaused = 0;
    return 1;
  }
  return WaitOutPause(clock);
}
