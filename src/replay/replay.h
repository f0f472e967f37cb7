// Replay engine: replay start, the replay thread, the spline, speed hold, flaps and the pause
// watch.
#pragma once
#include <windows.h>
#include <cstdint>
#include "common/shared_words.h"
#include "link/link.h"     // LinkRecords: the speed hold and the pause watch add to an exchange
#include "link/offsets.h"  // ThrottleCount: the speed hold's readings

// ---- Worker threads ---------------------------------------------------------------------

// Worker thread handles. StartReplay stores them; the dialog waits on and closes them.
extern HANDLE replayThreadHandle;
extern HANDLE voiceThreadHandle;

// ---- Replay start -----------------------------------------------------------------------

// The start list: whole minutes 24 to 56 of the recording's clock.
const int FirstStartMinute = 24;
const int StartListEntries = 33;

void StartReplay(HWND dialog);

// ---- Replay thread ----------------------------------------------------------------------

const TimeCode AutopilotOffTime = 2439;
const TimeCode GearDownTime = 3932;
const TimeCode FlapScheduleStart = 5118;
const TimeCode ReplayEndTime = 5626;

int32_t FlapDetents(TimeCode timeCode);  // flapSchedule: 0 below 5118
DWORD WINAPI ReplayThread(LPVOID unused);

// A table value as a simulator field: truncated toward zero to a signed 64-bit integer,
// wrapping modulo 2^64 outside that range. A field of 8, 4 or 2 bytes takes its low bytes.
int64_t ToSimField(double value);

// ---- Spline interpolation ---------------------------------------------------------------

double Spline(double t, double p0, double p1, double p2, double p3);
double SplineWrapped(double t, double p0, double p1, double p2, double p3);

// The four weights of one t, computed once per frame and shared by the eight channels.
struct SplineWeights {
  double w0, w1, w2, w3;  // rows r - 1, r, r + 1, r + 2
};
SplineWeights SplineWeightsAt(double t);
double SplineWith(const SplineWeights& w, double p0, double p1, double p2, double p3);
double SplineWrappedWith(const SplineWeights& w, double p0, double p1, double p2, double p3);

// ---- Speed hold, flaps and pause watch --------------------------------------------------

const int32_t SpeedBand = 5;
const DWORD PausePollMs = 40;

// The speed hold in two halves around the frame's exchange: the airspeed and the four
// throttles are read with the frame's channel writes, and the nudged throttles ride first in
// the next exchange. SpeedHoldReads adds the five reads into the frame's records;
// SpeedHoldWrites, called once that exchange has succeeded, adds the four throttle writes
// (also when unchanged) for the target to the next exchange's records.
struct SpeedHoldReadings {
  int32_t airspeed;
  double throttles[ThrottleCount];
};
void SpeedHoldReads(LinkRecords* frame, SpeedHoldReadings* readings);
void SpeedHoldWrites(LinkRecords* next, const SpeedHoldReadings* readings, double target);

// The lever value of a number of detents for a given step per detent.
int32_t FlapLeverValue(int16_t step, int32_t detents);
int StepFlaps(int32_t detents);  // 1 when its last write failed

// The pause watch on its own, as the replay starts: one exchange while the simulator runs.
void WaitWhilePaused();
// The pause watch of a frame. AddWatchReads adds the two indicators and the clock to the
// frame's records; SimRunning tells from them, once the exchange has succeeded, whether the
// simulator ran. If not, WaitOutPause polls the indicators and the clock every 40 ms, each
// poll carrying first what addRides adds, until the simulator runs, a stop is asked for
// (simPaused stays 1) or a poll fails (linkFailed set to 1); readings->clock is then the
// last reading.
struct WatchReadings {
  uint16_t pause;
  uint8_t menu;
  double clock;
};
void AddWatchReads(LinkRecords* records, WatchReadings* readings);
int SimRunning(const WatchReadings* readings);
void WaitOutPause(WatchReadings* readings, void (*addRides)(LinkRecords*));

// ---- Rides --------------------------------------------------------------------------------

// What rides in front of the replay's next exchange, in this order: the previous frame's
// four throttle writes; a row's second end (the flap setting, the pause after the last row)
// and then the caption of the row after it; a row's first end (trim, autopilot, gear, the
// flap step's read and the flaps' retraction), followed by the caption of the row after it
// when that row's end has no second part. The replay thread calls them all.
void StartRides(int firstRow);  // the first row's caption rides with the first frame
// After a frame's exchange: its nudged throttles. The readings are copied.
void ThrottlesRide(const SpeedHoldReadings* readings, double target);
void RowEnded(int row);      // a row ended and the next began
void LastRowEnded(int row);  // the replay's last row ended: its second end has the pause
void AddRides(LinkRecords* records);

// ---- Replay clock ---------------------------------------------------------------------------

// Simulated seconds run since the current row began. The replay thread writes and reads it.
extern double rowFraction;
const int KeptSteps = 4;  // the last steps between running readings that the expectation uses

// The thread's first clock reading: the row starts at 0 and no step is known yet.
void StartReplayClock(double reading);
// Adds the time a reading ran to rowFraction. running: the reading's exchange found the
// simulator running; a step counts only between two such readings in a row.
void RunReplayClock(double reading, int running);
// The mean of the kept steps, each within 0 to 0.25 s; 0 while none is kept.
double ExpectedStep();
void CarryOvershoot();  // at a row's end: the next row starts with what ran past 1.0
