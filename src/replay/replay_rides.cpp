// What rides in front of the replay's next exchange: the previous frame's throttle writes,
// the row events of the rows that have ended and the caption of the row that has begun.
#include "link/link.h"
#include "link/offsets.h"
#include "recording/recording.h"  // the time codes and captions of the rows
#include "replay/replay.h"

// Replay thread only.
static SpeedHoldReadings speedReadings;
static double speedTarget;
static int throttlesDue;
static int endOneRow = -1;   // the row whose first end rides next; -1 for none
static int endTwoRow = -1;   // the row whose second end rides next
static int captionRow = -1;  // the row whose caption rides next
static int lastRow = -1;     // the row that ends the replay, once it has ended
static int16_t flapStep;     // read with a row's first end, set with its second

void StartRides(int firstRow) {
  throttlesDue = 0;
  endOneRow = endTwoRow = lastRow = -1;
  captionRow = firstRow;  // rides with the first frame
}

void ThrottlesRide(const SpeedHoldReadings* readings, double target) {
  speedReadings = *readings;
  speedTarget = target;
  throttlesDue = 1;
}

void RowEnded(int row) { endOneRow = row; }

void LastRowEnded(int row) {
  lastRow = row;
  endOneRow = row;
}

static int HasEndTwo(int row) { return timeCodes[row] >= FlapScheduleStart || row == lastRow; }

// Trim, autopilot and gear, and from 5118 the read of the flap step and the flaps' retraction.
static void AddEndOne(LinkRecords* records, int row) {
  static const int16_t trim = 0;
  static const int32_t off = 0;
  TimeCode timeCode = timeCodes[row];
  AddWrite(records, OffsetElevatorTrim, 2, &trim);
  if (timeCode >= AutopilotOffTime) AddWrite(records, OffsetAutopilotMaster, 4, &off);
  if (timeCode >= GearDownTime) AddWrite(records, OffsetGear, 4, &GearDown);
  if (timeCode >= FlapScheduleStart) {
    AddRead(records, OffsetFlapStep, 2, &flapStep);
    AddWrite(records, OffsetFlapsLever, 4, &off);
  }
}

// The flap setting, which needs the step read with the first end, and the pause at the end.
static void AddEndTwo(LinkRecords* records, int row) {
  static const int16_t pause = 1;
  if (timeCodes[row] >= FlapScheduleStart) {
    int32_t lever = FlapLeverValue(flapStep, FlapDetents(timeCodes[row]));
    AddWrite(records, OffsetFlapsLever, 4, &lever);
  }
  if (row == lastRow) AddWrite(records, OffsetPause, 2, &pause);
}

static void AddDueCaption(LinkRecords* records) {
  if (captionRow >= 0) ShowCaption(captionRow, records);
  captionRow = -1;
}

void AddRides(LinkRecords* records) {
  if (throttlesDue) SpeedHoldWrites(records, &speedReadings, speedTarget);
  throttlesDue = 0;
  if (endTwoRow >= 0) {
    AddEndTwo(records, endTwoRow);
    if (endTwoRow != lastRow) captionRow = endTwoRow + 1;
    endTwoRow = -1;
  }
  AddDueCaption(records);
  if (endOneRow >= 0) {
    AddEndOne(records, endOneRow);
    if (HasEndTwo(endOneRow))
      endTwoRow = endOneRow;
    else if (endOneRow != lastRow)
      captionRow = endOneRow + 1;
    endOneRow = -1;
  }
  AddDueCaption(records);
}
