// The simulated simulator behind the offsets: clock, pause, menu, airspeed and the message
// window. Everything here runs with the state lock held.
#include <cmath>
#include <cstring>
#include <limits>

#include "link/offsets.h"
#include "sim_state.h"

namespace sim {
namespace {

const double SlowestKnots = 120;   // true airspeed at idle throttles
const double FastestKnots = 500;   // at full throttles
const double SpeedLagSeconds = 4;  // simulator seconds for 63% of a throttle change
const double StartThrottle = 0.5;
const int16_t DefaultFlapStep = 2047;
const uint32_t AutopilotOn = 1;

// Does a change of [offset, offset + size) cover the whole field?
bool Covers(uint32_t offset, uint32_t size, uint32_t field, uint32_t fieldSize) {
  return offset <= field && uint64_t(offset) + size >= uint64_t(field) + fieldSize;
}

double TargetAirspeed() {
  return (SlowestKnots + (FastestKnots - SlowestKnots) * ThrottleMean()) * 128;
}

// Moves the airspeed toward what the throttles ask for, by the simulator time run since the
// last step: a first-order lag, so it neither jumps nor overshoots.
void StepAirspeed(double now) {
  double run = now - state.airspeedAt;
  state.airspeedAt = now;
  if (run <= 0 || state.airspeedPinned) return;
  state.airspeed += (TargetAirspeed() - state.airspeed) * (1 - std::exp(-run / SpeedLagSeconds));
}

void ShowCaptionLocked() {
  char text[CaptionTextSize + 1] = {};
  memcpy(text, state.store + OffsetCaptionText, CaptionTextSize);  // bounded, whatever it holds
  int16_t seconds = Load<int16_t>(OffsetCaptionTime);
  state.caption = text;
  // A time of 0 or less keeps the text until the next one replaces it.
  state.captionUntil =
      seconds > 0 ? ClockLocked() + seconds : std::numeric_limits<double>::infinity();
  LogEvent("caption", ToUtf8(state.caption, 932) + " for " + std::to_string(seconds) + " s");
}

void ApplyPoke(uint32_t offset, uint32_t size) {
  if (Covers(offset, size, OffsetClock, 8)) {
    double clock = Load<double>(OffsetClock);
    if (std::isfinite(clock)) {
      state.clockBase = clock;
      state.clockAnchor = ModelSeconds();
      state.airspeedAt = clock;
    }
  }
  if (Covers(offset, size, OffsetPauseIndicator, 2))
    SetPausedLocked(Load<uint16_t>(OffsetPauseIndicator) != 0, "set by test");
  if (Covers(offset, size, OffsetMenuIndicator, 1))
    SetMenuLocked(Load<uint8_t>(OffsetMenuIndicator) != 0, "set by test");
  if (Covers(offset, size, OffsetAirspeed, 4)) {
    state.airspeed = Load<int32_t>(OffsetAirspeed);
    state.airspeedPinned = true;
  }
}

}  // namespace

double ThrottleMean() {
  double sum = 0;
  for (int n = 0; n < ThrottleCount; n++) {
    double lever = Load<double>(OffsetThrottle1 + ThrottleStride * n);
    if (!(lever > 0)) lever = 0;  // NaN too
    if (lever > 1) lever = 1;
    sum += lever;
  }
  return sum / ThrottleCount;
}

void SetVersions() {
  const Faults& faults = state.options.faults;
  uint32_t fsuipc = faults.fsuipcVersion;
  uint32_t simWord = faults.simVersionWord
                         ? faults.simVersionWord
                         : (SimVersionTag << 16) | uint32_t(state.options.simVersion);
  if (faults.versionsReadZero) fsuipc = simWord = 0;
  Put(OffsetFsuipcVersion, fsuipc);
  Put(OffsetSimVersion, simWord);
}

void ResetModel() {
  memset(state.store, 0, sizeof state.store);
  SetVersions();
  for (int n = 0; n < ThrottleCount; n++) Put(OffsetThrottle1 + ThrottleStride * n, StartThrottle);
  Put(OffsetFlapStep, DefaultFlapStep);
  Put(OffsetAutopilotMaster, AutopilotOn);
  state.paused = state.options.startPaused;
  state.menu = false;
  state.clockRate = 0;
  SetClockRateLocked(state.options.clockRate);
  state.clockBase = 0;
  state.clockAnchor = ModelSeconds();
  state.airspeed = TargetAirspeed();
  state.airspeedAt = 0;
  state.airspeedPinned = false;
  state.caption.clear();
  state.captionUntil = 0;
  RefreshLive();
}

// The time the clock runs by: the frame's own start with the frame-bound pump, so that
// every reading within a frame is the same and a frame that came late still counts its
// whole length; the machine's time with the immediate pump.
double ModelSeconds() {
  if (state.options.frameRate > 0 && state.frameTime > 0) return state.frameTime;
  return PerformanceSeconds();
}

double ClockLocked() {
  if (state.paused) return state.clockBase;
  return state.clockBase + (ModelSeconds() - state.clockAnchor) * state.clockRate;
}

// Restarts the clock's reckoning from now, before its rate or its running changes.
static void Reanchor() {
  state.clockBase = ClockLocked();
  state.clockAnchor = ModelSeconds();
}

void SetPausedLocked(bool paused, const char* why) {
  if (paused == state.paused) return;
  StepAirspeed(ClockLocked());
  Reanchor();
  state.paused = paused;
  LogEvent(paused ? "pause" : "resume", why);
}

void SetMenuLocked(bool open, const char* why) {
  if (open == state.menu) return;
  state.menu = open;
  LogEvent(open ? "menu open" : "menu closed", why);
}

void SetClockRateLocked(double rate) {
  StepAirspeed(ClockLocked());
  Reanchor();
  // A clock that runs backwards or by NaN is no simulator's: such a rate stops it.
  state.clockRate = rate > 0 && std::isfinite(rate) ? rate : 0;
}

// Puts the values that the simulator keeps up to date into the store.
void RefreshLive() {
  double now = ClockLocked();
  StepAirspeed(now);
  Put(OffsetClock, now);
  Put(OffsetPauseIndicator, uint16_t(state.paused ? 1 : 0));
  Put(OffsetMenuIndicator, uint8_t(state.menu ? 1 : 0));
  Put(OffsetAirspeed, int32_t(std::lround(state.airspeed)));
  SetVersions();
  if (!state.caption.empty() && now >= state.captionUntil) state.caption.clear();
}

void ApplyStoreChange(uint32_t offset, uint32_t size, bool fromClient) {
  if (Covers(offset, size, OffsetPause, 2))
    SetPausedLocked(Load<uint16_t>(OffsetPause) != 0,
                    fromClient ? "written by client" : "set by test");
  if (Covers(offset, size, OffsetCaptionTime, 2)) ShowCaptionLocked();
  if (!fromClient) ApplyPoke(offset, size);
  RefreshLive();
}

}  // namespace sim
