// The replay thread: flies the aircraft row by row through the recording, interpolating
// frames between the recorded seconds as fast as the link allows, with the row events at
// their fixed time codes, until time code 5626, the last recorded row, a stop or a dead link.
#include <cmath>

#include "link/link.h"
#include "link/offsets.h"
#include "replay/replay.h"

// Thread-local state of the one replay thread that runs at a time.
static double lastClock;    // the previous reading of the simulator clock, seconds
static double rowFraction;  // simulated seconds run since the current row began

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
    {headingTable, OffsetHeading, 4},      {pitchTable, OffsetPitch, 4},
    {rollTable, OffsetBank, 4},            {aileronTable, OffsetAileron, 2},
    {elevatorTable, OffsetElevator, 2},    {altitudeTable, OffsetAltitude, 8},
    {longitudeTable, OffsetLongitude, 8},  {latitudeTable, OffsetLatitude, 8},
};
const int FrameChannelCount = sizeof frameChannels / sizeof frameChannels[0];
const int PositionChannels = 2;

static double FrameValue(const SplineWeights& w, int channel, int row) {
  const double* table = frameChannels[channel].table;
  double p0 = table[NeighbourRow(row - 1)], p1 = table[row];
  double p2 = table[NeighbourRow(row + 1)], p3 = table[NeighbourRow(row + 2)];
  return channel == 0 ? SplineWrappedWith(w, p0, p1, p2, p3) : SplineWith(w, p0, p1, p2, p3);
}

// Writes one frame at rowFraction, each channel in an exchange of its own. Returns 0 at the
// first failed exchange: on a dead link each further one would cost the link's full retries.
static int WriteFrame(int row) {
  SplineWeights w = SplineWeightsAt(rowFraction);
  int64_t values[FrameChannelCount];
  for (int channel = 0; channel < FrameChannelCount; channel++)
    values[channel] = ToSimField(FrameValue(w, channel, row));
  int channels = followLatLon == 1 ? FrameChannelCount : FrameChannelCount - PositionChannels;
  for (int channel = 0; channel < channels; channel++) {
    const FrameChannel& c = frameChannels[channel];
    if (!QuietWrite(c.offset, c.bytes, &values[channel])) return 0;
  }
  return 1;
}

// A reading that is not a number counts as no time run, so the row can still end.
static int ReadClock(double* reading) {
  double value = lastClock;
  int failed = ReadNow(OffsetClock, 8, &value);
  *reading = std::isfinite(value) ? value : lastClock;
  return failed;
}

// Frames until the row's simulated second has run. Returns 1 when the row is over (also on
// a stop while the simulator stays paused, whose clock would never finish the row) and 0
// on a link failure.
static int FlyRow(int row) {
  rowFraction = 0.0;
  int frameFailed = 0;
  for (;;) {
    // After a failed frame exchange the watch's unexamined first exchange would only cost
    // another round of retries: the clock reading is the one that tells.
    if (!frameFailed) WaitWhilePaused();
    if (linkFailed == 1) return 0;
    if (simPaused == 1 && stopRequested != 0) return 1;
    double reading;
    linkFailed = ReadClock(&reading);
    if (linkFailed == 1) return 0;
    rowFraction = (reading - lastClock) + rowFraction;
    lastClock = reading;
    if (rowFraction >= 1.0) return 1;
    frameFailed = !WriteFrame(row) || SpeedHold(speedTable[row]);
  }
}

// ---- Row events and the end ------------------------------------------------------------

static void PauseSimulator() {
  int16_t pause = 1;
  WriteNow(OffsetPause, 2, &pause);
}

// After the row's last frame. Returns 1 to fly the next row and 0 to go to the exit.
static int RowEvents(int row) {
  TimeCode timeCode = timeCodes[row];
  if (linkFailed == 1) return 0;
  int16_t trim = 0;
  WriteNow(OffsetElevatorTrim, 2, &trim);
  int32_t off = 0;
  if (timeCode >= AutopilotOffTime && (linkFailed = WriteNow(OffsetAutopilotMaster, 4, &off)))
    return 0;
  if (timeCode >= GearDownTime && (linkFailed = WriteNow(OffsetGear, 4, &GearDown))) return 0;
  if (timeCode >= FlapScheduleStart) linkFailed = StepFlaps(FlapDetents(timeCode));
  if (linkFailed == 1) return 0;
  if (timeCode == ReplayEndTime || stopRequested != 0 || row >= LastRow()) {
    PauseSimulator();
    return 0;
  }
  return 1;
}

static void FlyRows() {
  for (;;) {
    int row = currentRow;
    ShowClockInTitle(row);
    if (showText == 1) ShowCaption(row);
    if (linkFailed == 1) return;  // a dead link met by the caption: no frame can follow
    if (!FlyRow(row) || !RowEvents(row)) return;
    currentRow = row + 1;
  }
}

// A blank caption shown for one second replaces whatever caption is on screen.
static void ExitWrites() {
  char blank[CaptionTextSize] = " ";
  int16_t seconds = 1;
  LinkResult result = 0;
  LinkLock();
  int sent = LinkWrite(OffsetCaptionText, CaptionTextSize, blank, &result) &&
             LinkWrite(OffsetCaptionTime, 2, &seconds, &result) && LinkProcess(&result);
  LinkUnlock();
  if (!sent) ReportLinkFailure(result);
}

// Flaps, gear and the first clock reading. Returns 0 when the thread must end at once.
static int StartFlight(TimeCode timeCode) {
  linkFailed = StepFlaps(FlapDetents(timeCode));
  if (linkFailed == 1) return 0;
  int32_t gear = timeCode < GearDownTime ? 0 : GearDown;
  if (WriteNow(OffsetGear, 4, &gear)) return 0;
  lastClock = 0.0;
  linkFailed = ReadClock(&lastClock);
  return linkFailed == 0;
}

DWORD WINAPI ReplayThread(LPVOID) {
  int row = currentRow;
  if (row < 0 || row > LastRow()) {  // nothing recorded to fly from here
    PauseSimulator();
    ExitWrites();
    return 0;
  }
  if (!StartFlight(timeCodes[row])) return 0;
  WaitWhilePaused();
  if (stopRequested == 0) FlyRows();
  ExitWrites();
  return 0;
}
