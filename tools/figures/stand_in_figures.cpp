// What the stand-in served, walked along the replay's rules for its row fraction, and
// counted with the program's definitions of the figures.
#include "stand_in_figures.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "link/offsets.h"
#include "recording/recording.h"
#include "replay/replay.h"

namespace {

// Where the replay stands after each clock reading, by the replay's rules for the row
// fraction: a reading that is not a number adds nothing, one a second or more back is a
// reset, and a row ends at 1.0 with the overshoot carried (all of it dropped past 2.0).
struct ReplayPosition {
  int row;
  double fraction, lastClock;
  void Run(double reading) {
    if (!std::isfinite(reading)) reading = lastClock;
    double ran = reading - lastClock;
    lastClock = reading;
    if (ran > -1.0) fraction = ran + fraction;
  }
  bool EndRow() {
    if (fraction < 1.0) return false;
    row++;
    fraction = fraction - 1.0 < 1.0 ? fraction - 1.0 : 0.0;
    return true;
  }
};

double AltitudeAt(double replayTime) {
  int row = int(std::floor(replayTime));
  auto at = [](int r) { return altitudeTable[std::min(std::max(r, 0), loadedRows - 1)]; };
  SplineWeights w = SplineWeightsAt(replayTime - row);
  return SplineWith(w, at(row - 1), at(row), at(row + 1), at(row + 2));
}

// The replay time whose interpolated altitude is the one written, found from a guess by
// Newton's steps; NAN where the recording's altitude stands too still to tell.
double ReplayTimeOfAltitude(int64_t written, double guess) {
  const double h = 1e-4;
  double x = guess;
  for (int i = 0; i < 4; i++) {
    double slope = (AltitudeAt(x + h) - AltitudeAt(x - h)) / (2 * h);
    if (std::fabs(slope) < 1e4) return NAN;  // under one unit in 0.1 ms
    x -= (AltitudeAt(x) - double(written)) / slope;
  }
  return x;
}

struct ExchangeSeen {
  int exchange = 0, frame = 0;
  bool clock = false, values = false, running = true, exitOnly = true;
  double reading = 0;
  int64_t altitude = 0;
};

// The exit's blank caption is the only exchange of a replay with nothing but caption writes.
ExchangeSeen Seen(const std::vector<sim::Record>& records, size_t* i) {
  ExchangeSeen seen;
  seen.exchange = records[*i].exchange;
  for (; *i < records.size() && records[*i].exchange == seen.exchange; ++*i) {
    const sim::Record& r = records[*i];
    seen.frame = r.frame;
    bool nonZero = std::any_of(r.bytes.begin(), r.bytes.end(), [](uint8_t b) { return b; });
    if (!r.write && (r.offset == OffsetPauseIndicator || r.offset == OffsetMenuIndicator))
      seen.running = seen.running && !nonZero;
    if (!r.write && r.offset == OffsetClock && r.bytes.size() == 8) {
      seen.clock = true;
      memcpy(&seen.reading, r.bytes.data(), 8);
    }
    if (r.write && r.offset == OffsetAltitude && r.bytes.size() == 8) {
      seen.values = true;
      memcpy(&seen.altitude, r.bytes.data(), 8);
    }
    if (!r.write || (r.offset != OffsetCaptionText && r.offset != OffsetCaptionTime))
      seen.exitOnly = false;
  }
  return seen;
}

}  // namespace

StandInFigures CountStandIn(const std::vector<sim::Record>& records, int firstExchange,
                            int startRow, int rows) {
  StandInFigures s;
  ReplayPosition position = {startRow, 0, 0};
  bool started = false, lastRan = false;
  int frames = 0, lastFrame = 0, lastRowWithFrame = -1, firstFrameExchange = 0;
  for (size_t i = 0; i < records.size() && s.rowsEnded < rows;) {
    ExchangeSeen seen = Seen(records, &i);
    if (seen.exchange <= firstExchange) continue;
    if (firstFrameExchange && !seen.exitOnly) s.figures.exchanges++;
    if (!seen.clock) continue;
    if (!started) {  // the start's own reading
      started = true;
      position.lastClock = s.firstClock = seen.reading;
      continue;
    }
    position.Run(seen.reading);
    if (seen.values) {
      if (!firstFrameExchange) {
        firstFrameExchange = seen.exchange;
        s.figures.exchanges = 1;
      }
      frames++;
      bool continues = frames > 1 && lastRan && seen.running;
      CountStep(&s.figures, continues ? seen.frame - lastFrame : -1);
      lastFrame = seen.frame;
      lastRan = seen.running;
      double clockTime = position.row + position.fraction;
      double lag = ReplayTimeOfAltitude(seen.altitude, clockTime) - clockTime;
      if (frames <= StartFrames) s.startLags[frames - 1] = std::fabs(lag);
      CountFrame(&s.figures, frames, lag);
      if (position.row != lastRowWithFrame) s.figures.rows++;
      lastRowWithFrame = position.row;
    }
    if (position.EndRow()) {
      s.rowsEnded++;
      s.rowEndClock = seen.reading;
      s.figures.behind = (seen.reading - s.firstClock) - s.rowsEnded;
    }
  }
  return s;
}
