// Speed hold, flap setting and the pause watch: short conversations with the simulator that
// the replay thread holds once per frame, per row or while the simulator is paused.
#include "link/link.h"
#include "link/offsets.h"
#include "replay/replay.h"

const double ThrottleStepUp = 0.008;
const double ThrottleMax = 0.999;
const double ThrottleStepDown = 0.01;
const double ThrottleMin = 0.001;

// ---- One request, one exchange, linkFailed untouched ------------------------------------

int QuietRead(uint32_t offset, uint32_t size, void* destination) {
  LinkResult result;
  LinkLock();
  int ok = LinkRead(offset, size, destination, &result) && LinkProcess(&result);
  LinkUnlock();
  return ok;
}

int QuietWrite(uint32_t offset, uint32_t size, const void* source) {
  LinkResult result;
  LinkLock();
  int ok = LinkWrite(offset, size, source, &result) && LinkProcess(&result);
  LinkUnlock();
  return ok;
}

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

// Stops at the first failed exchange and returns 1: throttles from a failed read are not
// the simulator's, and further exchanges on a dead link would only hold up the replay thread.
int SpeedHold(double target) {
  int32_t airspeed = 0;
  double throttles[ThrottleCount] = {};
  if (!QuietRead(OffsetAirspeed, 4, &airspeed)) return 1;
  for (int i = 0; i < ThrottleCount; i++)
    if (!QuietRead(ThrottleOffset(i), 8, &throttles[i])) return 1;
  NudgeThrottles(throttles, double(airspeed), target);
  for (int i = 0; i < ThrottleCount; i++)
    if (!QuietWrite(ThrottleOffset(i), 8, &throttles[i])) return 1;
  return 0;
}

// ---- Flaps ----------------------------------------------------------------------------------

// The lever value of a number of detents: each detent adds the step, capped at the lever's
// top after every addition. With a positive step one cap at the end is the same; a step of
// 0 or less never reaches the cap. Summed in 64 bits so no count can overflow.
static int32_t FlapLeverValue(int16_t step, int32_t detents) {
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

// ---- Pause watch ------------------------------------------------------------------------------

// Both indicators in one exchange. They stay 0 when the exchange fails.
static int ReadIndicators(uint16_t* pause, uint8_t* menu) {
  LinkResult result;
  *pause = 0;
  *menu = 0;
  LinkLock();
  int ok = LinkRead(OffsetPauseIndicator, 2, pause, &result) &&
           LinkRead(OffsetMenuIndicator, 1, menu, &result) && LinkProcess(&result);
  LinkUnlock();
  return ok;
}

void WaitWhilePaused() {
  uint16_t pause;
  uint8_t menu;
  ReadIndicators(&pause, &menu);  // a failure reads as running; the clock reading follows
  if (!pause && !menu) {
    simPaused = 0;
    return;
  }
  simPaused = 1;
  for (;;) {
    Sleep(PausePollMs);
    if (!ReadIndicators(&pause, &menu)) {
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
