// The replay thread: flies the aircraft row by row through the recording, interpolating
// frames between the recorded seconds as fast as the link allows, with the row events at
// their fixed time codes, until time code 5626, the last recorded row, a stop or a dead link.
#include <cmath>

#include "link/link.h"
#include "link/offsets.h"
#include "recording/recording.h"  // the row tables that the replay flies
#include "replay/replay.h"

// State of the one replay thread that runs at a time; no other thread touches it.
static double lastClock;    // the previous reading of the simulator clock, seconds
static double rowFraction;  // simulated seconds run since the current row began
const double ClockResetSeconds = 1.0;

// ---- Conversions and schedules ------------------------------------------------------------

const double TwoTo63 = 9223372036854775808.0;
const double TwoTo64 = 18446744073709551616.0;

int64_t ToSimField(double value) {
  if (!std::isfinite(value)) return 0;
  double whole = std::trunc(value);
  if (std::fabs(whole) < TwoTo63) return int64_t(whole);
  // Out of range: reduce modulo 2^64 (fmod is exact), then take the two's-complement bits,
  // so 2^63 and -2^63 (180 degrees east and west) give the same field.
  double reduced = std::fmod(whole, TwoTo64);
  uint64_t magnitude = uint64_t(std::fabs(reduced));
  uint64_t bits = reduced < 0.0 ? 0 - magnitude : magnitude;
  return int64_t(bits);
}

struct FlapStage {
  TimeCode from;    // from this time code on...
  int32_t detents;  // ...the flaps are set to this many detents
};
static const FlapStage flapSchedule[] = {
    {5118, 2}, {5425, 3}, {5448, 4}, {5525, 5}, {5542, 6}, {5557, 5}, {5610, 4},
};

int32_t FlapDetents(TimeCode timeCode) {
  int32_t detents = 0;
  for (const FlapStage& stage : flapSchedule)
    if (timeCode >= stage.from) detents = stage.detents;
  return detents;
}

// ---- Rows ---------------------------------------------------------------------------------

// The last row that the last load filled, within the tables; -1 when none was.
static int LastRow() {
  int rows = loadedRows;
  if (rows > MaxRows) rows = MaxRows;
  return rows - 1;
}

// Neighbour rows of the interpolation: row -1 of a replay from row 0 is row 0, and rows
// past the recording's end repeat its last row.
static int NeighbourRow(int row) {
  int last = LastRow();
  if (row > last) row = last;
  return row < 0 ? 0 : row;
}

// ---- Frames -------------------------------------------------------------------------------

struct FrameChannel {
  const double* table;
  uint32_t offset;
  uint32_t bytes;  // the field takes this many low bytes of the converted value
};
// In the order written; the heading is the one wrapped channel, the last two are the position.
static const FrameChannel frameChannels[] = {
    {headingTable, OffsetHeading, 4},     {pitchTable, OffsetPitch, 4},
    {rollTable, OffsetBank, 4},           {aileronTable, OffsetAileron, 2},
    {elevatorTable, OffsetElevator, 2},   {altitudeTable, OffsetAltitude, 8},
    {longitudeTable, OffsetLongitude, 8}, {latitudeTable, OffsetLatitude, 8},
};
const int FrameChannelCount = sizeof frameChannels / sizeof frameChannels[0];
const int PositionChannels = 2;

static double FrameValue(const SplineWeights& w, int channel, int row) {
  const double* table = frameChannels[channel].table;
  double p0 = table[NeighbourRow(row - 1)], p1 = table[row];
  double p2 = table[NeighbourRow(row + 1)], p3 = table[NeighbourRow(row + 2)];
  return channel == 0 ? SplineWrappedWith(w, p0, p1, p2, p3) : SplineWith(w, p0, p1, p2, p3);
}

// The records that ride with the next frame start: the row's caption on its first frame,
// the throttle writes of the previous frame's speed hold. Replay thread only.
static LinkRecords frameStart;

// One frame at rowFraction: the channel writes and the speed hold's reads in one exchange.
// After a failed one the rest of the frame is skipped; the next frame start tells.
static void FlyFrame(int row) {
  SplineWeights w = SplineWeightsAt(rowFraction);
  int64_t values[FrameChannelCount];
  for (int channel = 0; channel < FrameChannelCount; channel++)
    values[channel] = ToSimField(FrameValue(w, channel, row));
  int channels = followLatLon == 1 ? FrameChannelCount : FrameChannelCount - PositionChannels;
  LinkRecords frame = {};
  for (int channel = 0; channel < channels; channel++) {
    const FrameChannel& c = frameChannels[channel];
    AddWrite(&frame, c.offset, c.bytes, &values[channel]);
  }
  SpeedHoldReadings readings;
  SpeedHoldReads(&frame, &readings);
  LinkResult result;
  if (ReplayExchange(&frame, &result)) SpeedHoldWrites(&frameStart, &readings, speedTable[row]);
}

// The time that a reading adds to the row. A reading that is not a number counts as no
// time run, so the row can still end. One a second or more before the last was a reset
// clock (a flight reloaded, or garbage): the row goes on from where it stood.
static void RunClock(double reading) {
  if (!std::isfinite(reading)) reading = lastClock;
  double ran = reading - lastClock;
  lastClock = reading;
  if (ran > -ClockResetSeconds) rowFraction = ran + rowFraction;
}

// The time a row ran beyond its second begins the next row, so the replay keeps step with
// the simulator's clock; a gap of a second or more still advances one row and drops the rest.
static void CarryOvershoot() {
  double overshoot = rowFraction - 1.0;
  rowFraction = overshoot < 1.0 ? overshoot : 0.0;
}

// Frames until the row's simulated second has run. Returns 1 when the row is over, also at
// the end of the frame during which a stop was asked for (or at once while the simulator
// stays paused), and 0 on a link failure.
static int FlyRow(int row) {
  frameStart.count = 0;
  frameStart.stored = 0;
  ShowCaption(row, &frameStart);
  for (;;) {
    double reading = lastClock;
    WatchFrameStart(&frameStart, &reading);
    frameStart.count = 0;
    frameStart.stored = 0;
    if (linkFailed == 1) return 0;  // this watch failed, or a poll of the start's watch
    if (simPaused == 1 && stopRequested != 0) return 1;
    RunClock(reading);
    if (rowFraction >= 1.0) return 1;
    FlyFrame(row);
    if (stopRequested != 0) return 1;  // no clock can hold a stop
  }
}

// ---- Row events and the end ------------------------------------------------------------

// After the row's last frame: trim, autopilot, gear and the flaps' retraction with the read
// of the flap step in one exchange; the flap setting, which needs that step, and the pause
// at the end in a second. Returns 1 to fly the next row and 0 to go to the exit.
static int RowEvents(int row) {
  TimeCode timeCode = timeCodes[row];
  const int16_t trim = 0;
  const int32_t off = 0;
  int16_t step = 0;
  LinkRecords first = {};
  AddWrite(&first, OffsetElevatorTrim, 2, &trim);
  if (timeCode >= AutopilotOffTime) AddWrite(&first, OffsetAutopilotMaster, 4, &off);
  if (timeCode >= GearDownTime) AddWrite(&first, OffsetGear, 4, &GearDown);
  if (timeCode >= FlapScheduleStart) {
    AddRead(&first, OffsetFlapStep, 2, &step);
    AddWrite(&first, OffsetFlapsLever, 4, &off);
  }
  LinkResult result;
  linkFailed = !ReplayExchange(&first, &result);
  if (linkFailed == 1) return 0;
  int last = timeCode == ReplayEndTime || stopRequested != 0 || row >= LastRow();
  LinkRecords second = {};
  const int32_t lever = FlapLeverValue(step, FlapDetents(timeCode));
  const int16_t pause = 1;
  if (timeCode >= FlapScheduleStart) AddWrite(&second, OffsetFlapsLever, 4, &lever);
  if (last) AddWrite(&second, OffsetPause, 2, &pause);
  if (second.count) linkFailed = !ReplayExchange(&second, &result);
  return linkFailed == 0 && !last;
}

static void FlyRows() {
  rowFraction = 0.0;
  for (;;) {
    int row = currentRow;
    ShowClockInTitle(row);
    if (!FlyRow(row) || !RowEvents(row)) return;
    CarryOvershoot();
    currentRow = row + 1;
  }
}

// A blank caption shown for one second replaces whatever caption is on screen.
static void ExitWrites() {
  const char blank[CaptionTextSize] = " ";
  const int16_t seconds = 1;
  LinkRecords records = {};
  AddWrite(&records, OffsetCaptionText, CaptionTextSize, blank);
  AddWrite(&records, OffsetCaptionTime, 2, &seconds);
  LinkResult result;
  if (!ReplayExchange(&records, &result)) ReportLinkFailure(result);
}

// Flaps, gear and the first clock reading. Returns 0 when the thread must end at once.
static int StartFlight(TimeCode timeCode) {
  linkFailed = StepFlaps(FlapDetents(timeCode));
  if (linkFailed == 1) return 0;
  int32_t gear = timeCode < GearDownTime ? 0 : GearDown;
  if (WriteNow(OffsetGear, 4, &gear)) return 0;
  double reading = 0.0;
  linkFailed = ReadNow(OffsetClock, 8, &reading);
  lastClock = std::isfinite(reading) ? reading : 0.0;
  return linkFailed == 0;
}

DWORD WINAPI ReplayThread(LPVOID) {
  linkUnanswered = 0;  // each replay tries the link afresh
  int row = currentRow;
  if (row < 0 || row > LastRow()) {  // nothing recorded to fly from here
    const int16_t pause = 1;
    WriteNow(OffsetPause, 2, &pause);
    ExitWrites();
    return 0;
  }
  if (!StartFlight(timeCodes[row])) return 0;
  WaitWhilePaused();
  if (stopRequested == 0) FlyRows();
  ExitWrites();
  return 0;
}
