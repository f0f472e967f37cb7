// The pause watch: holds the replay while the simulator is paused or shows a menu, and tells
// the voice thread through simPaused.
#include "link/link.h"
#include "link/offsets.h"
#include "log/flight_log.h"
#include "replay/replay.h"

// The indicators (and the clock when asked) stay 0 when the exchange fails.
static void AddIndicatorReads(LinkRecords* records, WatchReadings* readings, int withClock) {
  readings->pause = 0;
  readings->menu = 0;
  AddRead(records, OffsetPauseIndicator, 2, &readings->pause);
  AddRead(records, OffsetMenuIndicator, 1, &readings->menu);
  if (withClock) AddRead(records, OffsetClock, 8, &readings->clock);
}

int SimRunning(const WatchReadings* readings) { return !readings->pause && !readings->menu; }

void AddWatchReads(LinkRecords* records, WatchReadings* readings) {
  AddIndicatorReads(records, readings, 1);
}

// Polls every 40 ms until the simulator runs, a stop is asked for or the link fails.
static void Poll(WatchReadings* readings, int withClock, void (*addRides)(LinkRecords*)) {
  simPaused = 1;
  for (;;) {
    Sleep(PausePollMs);
    LinkRecords poll = {};
    if (addRides) addRides(&poll);
    AddIndicatorReads(&poll, readings, withClock);
    LinkResult result;
    if (!ReplayExchange(&poll, &result)) {
      linkFailed = 1;
      return;
    }
    if (stopRequested != 0) return;
    if (SimRunning(readings)) {
      simPaused = 0;
      return;
    }
  }
}

// The wait goes into the flight log as a pause, or as a menu where only the menu held it.
static void PollUntilRunning(WatchReadings* readings, int withClock,
                             void (*addRides)(LinkRecords*)) {
  int menu = readings->pause == 0 && readings->menu != 0;
  DWORD began = GetTickCount();
  Poll(readings, withClock, addRides);
  LogPause(menu, (GetTickCount() - began) / 1000.0);
}

void WaitWhilePaused() {
  LinkRecords first = {};
  WatchReadings readings;
  AddIndicatorReads(&first, &readings, 0);
  LinkResult result;
  ReplayExchange(&first, &result);  // a failure reads as running
  if (SimRunning(&readings)) {
    simPaused = 0;
    return;
  }
  PollUntilRunning(&readings, 0, nullptr);
}

void WaitOutPause(WatchReadings* readings, void (*addRides)(LinkRecords*)) {
  PollUntilRunning(readings, 1, addRides);
}
