// The replay thread: flies the aircraft row by row through the recording, interpolating
// frames between the recorded seconds as fast as the link allows, with the row events at
// their fixed time codes, until time code 5626, the last recorded row, a stop or a dead link.
#include <cmath>

#include "link/link.h"
#include "link/offsets.h"
#include "recording/recording.h"  // the row tables that the replay flies
#include "replay/replay.h"

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
  double p0 = table[NeighbourRow(row - 1)], p1 = table[NeighbourRow(row)];
  double p2 = table[NeighbourRow(row + 1)], p3 = table[NeighbourRow(row + 2)];
  return channel == 0 ? SplineWrappedWith(w, p0, p1, p2, p3) : SplineWith(w, p0, p1, p2, p3);
}

// The channel writes for the clock that the frame's own reading is expected to return: the
// row at t, or from 1.0 on the next row's segment, since that reading will end the row.
static void AddChannelWrites(LinkRecords* frame, int row) {
  double t = rowFraction + ExpectedStep();
  if (t >= 1.0) {
    row++;
    t -= 1.0;
  }
  SplineWeights w = SplineWeightsAt(t);
  int64_t values[FrameChannelCount];
  for (int channel = 0; channel < FrameChannelCount; channel++)
    values[channel] = ToSimField(FrameValue(w, channel, row));
  int channels = followLatLon == 1 ? FrameChannelCount : FrameChannelCount - PositionChannels;
  for (int channel = 0; channel < channels; channel++) {
    const FrameChannel& c = frameChannels[channel];
    AddWrite(frame, c.offset, c.bytes, &values[channel]);
  }
}

// ---- Frames -------------------------------------------------------------------------------

// One frame in one exchange: the rides, the pause watch's reads with the clock, the channel
// values for the moment the simulator serves them and the speed hold's reads. An exchange
// that finds the simulator paused or in a menu adds no step, nor does the poll that finds it
// running again. Returns 0 when the frame or a poll of the pause watch failed.
static int FlyFrame(int row) {
  LinkRecords frame = {};
  AddRides(&frame);
  WatchReadings watch;
  AddWatchReads(&frame, &watch);
  AddChannelWrites(&frame, row);
  SpeedHoldReadings speedReadings;
  SpeedHoldReads(&frame, &speedReadings);
  LinkResult result;
  if (!ReplayExchange(&frame, &result)) {
    linkFailed = 1;
    return 0;
  }
  ThrottlesRide(&speedReadings, speedTable[row]);
  int running = SimRunning(&watch);
  RunReplayClock(watch.clock, running);
  if (running) {
    simPaused = 0;
    return 1;
  }
  WaitOutPause(&watch, AddRides);
  if (linkFailed == 1) return 0;
  RunReplayClock(watch.clock, simPaused == 0);
  return 1;
}

// ---- The end ------------------------------------------------------------------------------

// The last row's ends in exchanges of their own, after whatever still rides; the pause goes
// with its second end. A failed one sends nothing more before the exit.
static void EndReplay(int row) {
  LastRowEnded(row);
  for (int i = 0; i < 2; i++) {
    LinkRecords records = {};
    AddRides(&records);
    LinkResult result;
    if (!ReplayExchange(&records, &result)) {
      linkFailed = 1;
      return;
    }
  }
}

// Frames until the replay's last row has ended. A row ends on the reading that brings
// rowFraction to 1.0; a stop ends the row at the end of the frame it came in, whatever the
// clock does.
static void FlyRows() {
  int row = currentRow;
  StartRides(row);
  ShowClockInTitle(row);
  for (;;) {
    if (!FlyFrame(row)) return;
    if (rowFraction < 1.0 && stopRequested == 0) continue;
    if (stopRequested != 0 || timeCodes[row] == ReplayEndTime || row >= LastRow()) {
      EndReplay(row);
      return;
    }
    RowEnded(row);
    CarryOvershoot();
    currentRow = ++row;
    ShowClockInTitle(row);
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
  StartReplayClock(reading);
  return linkFailed == 0;
}

static void FlyReplay() {
  linkUnanswered = 0;  // each replay tries the link afresh
  int row = currentRow;
  if (row < 0 || row > LastRow()) {  // nothing recorded to fly from here
    const int16_t pause = 1;
    WriteNow(OffsetPause, 2, &pause);
    ExitWrites();
    return;
  }
  if (!StartFlight(timeCodes[row])) return;
  WaitWhilePaused();
  if (stopRequested == 0 && linkFailed == 0) FlyRows();  // a poll of the watch may have failed
  ExitWrites();
}

DWORD WINAPI ReplayThread(LPVOID) {
  FlyReplay();
  replayEnded = 1;
  return 0;
}
