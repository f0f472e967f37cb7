// The replay's clock: how much of the current row the simulator's readings have run, and the
// step that the next reading is expected to add, so that a frame's values can be computed
// for the moment the simulator serves them.
#include <cmath>

#include "replay/replay.h"

double rowFraction;

static double lastClock;               // the previous reading of the simulator clock, seconds
static double recentSteps[KeptSteps];  // the last steps kept, oldest at nextStep once full
static int keptSteps;
static int nextStep;
static int lastReadingRan;  // 1 when the previous reading found the simulator running

const double ClockResetSeconds = 1.0;
const double LongestStep = 0.25;

void StartReplayClock(double reading) {
  lastClock = std::isfinite(reading) ? reading : 0.0;
  rowFraction = 0.0;
  keptSteps = 0;
  nextStep = 0;
  lastReadingRan = 0;
}

// The time that a reading adds to the row. A reading that is not a number counts as no time
// run, so the row can still end. One a second or more before the last was a reset clock (a
// flight reloaded, or garbage): it adds nothing and the row goes on from where it stood.
static double TimeAdded(double reading) {
  if (!std::isfinite(reading)) reading = lastClock;
  double ran = reading - lastClock;
  lastClock = reading;
  return ran > -ClockResetSeconds ? ran : 0.0;
}

static void KeepStep(double added) {
  double step = added < 0.0 ? 0.0 : added > LongestStep ? LongestStep : added;
  recentSteps[nextStep] = step;
  nextStep = (nextStep + 1) % KeptSteps;
  if (keptSteps < KeptSteps) keptSteps++;
}

void RunReplayClock(double reading, int running) {
  double added = TimeAdded(reading);
  rowFraction = added + rowFraction;
  if (running && lastReadingRan) KeepStep(added);
  lastReadingRan = running;
}

double ExpectedStep() {
  if (keptSteps == 0) return 0.0;
  double sum = 0.0;
  int oldest = keptSteps < KeptSteps ? 0 : nextStep;
  for (int i = 0; i < keptSteps; i++) sum += recentSteps[(oldest + i) % KeptSteps];
  return sum / keptSteps;
}

// The time a row ran beyond its second begins the next row, so the replay keeps step with
// the simulator's clock; a gap of a second or more still advances one row and drops the rest.
void CarryOvershoot() {
  double overshoot = rowFraction - 1.0;
  rowFraction = overshoot < 1.0 ? overshoot : 0.0;
}
