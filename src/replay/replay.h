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
// throttles are read with the frame's channel writes, and the nudged throttles ride with
// the next frame start. SpeedHoldReads adds the five reads into the frame's records;
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
// The pause watch of a frame: the two indicators and the clock added behind the frame
// start's records and sent with them in one exchange; while the simulator is paused or in a
// menu, the indicators and the clock again every 40 ms. *clock is the reading of the
// exchange that found it running (or of the last poll on a stop). A failed exchange sets
// linkFailed to 1.
void WatchFrameStart(LinkRecords* frameStart, double* clock);
