// The pause watch: holds the replay while the simulator is paused or shows a menu, and tells
// the voice thread through simPaused.
#include "link/link.h"
#include "link/offsets.h"
#include "replay/replay.h"

// Both indicators, and the clock when asked, added behind the given records and sent with
// them in one exchange. The indicators stay 0 when the exchange fails.
static int ReadIndicators(LinkRecords* records, uint16_t* pause, uint8_t* menu, double* clock) {
  *pause = 0;
  *menu = 0;
  AddRead(records, OffsetPauseIndicator, 2, pause);
  AddRead(records, OffsetMenuIndicator, 1, menu);
  if (clock) AddRead(records, OffsetClock, 8, clock);
  LinkResult result;
  return ReplayExchange(records, &result);
}

// Polls every 40 ms until the simulator runs, a stop is asked for or the link fails.
static void WaitOutPause(double* clock) {
  uint16_t pause;
  uint8_t menu;
  simPaused = 1;
  for (;;) {
    Sleep(PausePollMs);
    LinkRecords poll = {};
    if (!ReadIndicators(&poll, &pause, &menu, clock)) {
      linkFailed = 1;
      return;
    }
    if (stopRequested != 0) return;
    if (!pause && !menu) {
      simPaused = 0;
      return;
    }
  }
}

void WaitWhilePaused() {
  LinkRecords first = {};
  uint16_t pause;
  uint8_t menu;
  ReadIndicators(&first, &pause, &menu, nullptr);  // a failure reads as running
  if (!pause && !menu) {
    simPaused = 0;
    return;
  }
  WaitOutPause(nullptr);
}

void WatchFrameStart(LinkRecords* frameStart, double* clock) {
  uint16_t pause;
  uint8_t menu;
  if (!ReadIndicators(frameStart, &pause, &menu, clock)) {
    linkFailed = 1;
  } else if (!pause && !menu) {
    simPaused = 0;
  } else {
    WaitOutPause(clock);
  }
}
