// Speed hold and flap setting: what the replay thread tells the throttles each frame and the
// flap lever on the rows that set it.
#include "link/link.h"
#include "link/offsets.h"
#include "replay/replay.h"

const double ThrottleStepUp = 0.008;
const double ThrottleMax = 0.999;
const double ThrottleStepDown = 0.01;
const double ThrottleMin = 0.001;

// ---- Speed hold -----------------------------------------------------------------------------

static uint32_t ThrottleOffset(int index) { return OffsetThrottle1 + ThrottleStride * index; }

static void NudgeThrottles(double* throttles, double airspeed, double target) {
  for (int i = 0; i < ThrottleCount; i++) {
    if (airspeed < target - SpeedBand) {
      throttles[i] += ThrottleStepUp;
      if (throttles[i] > ThrottleMax) throttles[i] = ThrottleMax;
    } else if (airspeed > target) {
      throttles[i] -= ThrottleStepDown;
      if (throttles[i] < ThrottleMin) throttles[i] = ThrottleMin;
    }
  }
}

void SpeedHoldReads(LinkRecords* frame, SpeedHoldReadings* readings) {
  *readings = SpeedHoldReadings{};
  AddRead(frame, OffsetAirspeed, 4, &readings->airspeed);
  for (int i = 0; i < ThrottleCount; i++)
    AddRead(frame, ThrottleOffset(i), 8, &readings->throttles[i]);
}

// Only from readings of an exchange that succeeded: throttles from a failed read are not
// the simulator's.
void SpeedHoldWrites(LinkRecords* next, const SpeedHoldReadings* readings, double target) {
  double throttles[ThrottleCount];
  for (int i = 0; i < ThrottleCount; i++) throttles[i] = readings->throttles[i];
  NudgeThrottles(throttles, double(readings->airspeed), target);
  for (int i = 0; i < ThrottleCount; i++) AddWrite(next, ThrottleOffset(i), 8, &throttles[i]);
}

// ---- Flaps ----------------------------------------------------------------------------------

// The lever value of a number of detents: each detent adds the step, capped at the lever's
// top after every addition. With a positive step one cap at the end is the same; a step of
// 0 or less never reaches the cap. Summed in 64 bits so no count can overflow.
int32_t FlapLeverValue(int16_t step, int32_t detents) {
  if (detents <= 0) return 0;
  int64_t value = int64_t(step) * detents;
  if (value > FlapsLeverMax) value = FlapsLeverMax;
  return int32_t(uint32_t(uint64_t(value)));  // the field keeps the low 32 bits
}

// Retracts, then sets the absolute detent position. A failed read of the step leaves it 0,
// so the flaps stay up; the caller meets the broken link in the last write's result.
int StepFlaps(int32_t detents) {
  int16_t step = 0;
  ReadNow(OffsetFlapStep, 2, &step);
  int32_t up = 0;
  WriteNow(OffsetFlapsLever, 4, &up);
  int32_t value = FlapLeverValue(step, detents);
  return WriteNow(OffsetFlapsLever, 4, &value);
}
