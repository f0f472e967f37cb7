// Flies a stretch of rows against the in-process stand-in at each given pump frame rate (0
// answers at once) and prints what the simulator saw: replay frames per simulated second,
// exchanges per frame, the share of the simulator's frames that got new values, the applied
// lag, and how far the last row's end lay behind the simulator's clock.
//   replay_benchmark [--frame-jitter P] [rows] [clock rate] [recording folder holding data\,
//                    or -] [start time code, 5500 by default] [frame rates...]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "link/link.h"
#include "link/offsets.h"
#include "recording/recording.h"
#include "replay/replay.h"
#include "sim_server.h"
#include "synthetic_recording.h"

// ---- The replay time of what the simulator saw ----------------------------------------

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

static double AltitudeAt(double replayTime) {
  int row = int(std::floor(replayTime));
  auto at = [](int r) { return altitudeTable[std::min(std::max(r, 0), loadedRows - 1)]; };
  SplineWeights w = SplineWeightsAt(replayTime - row);
  return SplineWith(w, at(row - 1), at(row), at(row + 1), at(row + 2));
}

// The replay time whose interpolated altitude is the one written, found from a guess by
// Newton's steps; NAN where the recording's altitude stands too still to tell.
static double ReplayTimeOfAltitude(int64_t written, double guess) {
  const double h = 1e-4;
  double x = guess;
  for (int i = 0; i < 4; i++) {
    double slope = (AltitudeAt(x + h) - AltitudeAt(x - h)) / (2 * h);
    if (std::fabs(slope) < 1e4) return NAN;  // under one unit in 0.1 ms
    x -= (AltitudeAt(x) - double(written)) / slope;
  }
  return x;
}

// ---- Counting -----------------------------------------------------------------------------

// The first two frames fly before the replay knows a step between two running readings:
// their values are computed for the last reading, so they lag by the time the start's
// exchanges and the first frame took. They are shown apart from the lag of the flight.
const int StartFrames = 2;

struct Counts {
  double startLags[StartFrames] = {};
  int frames = 0, exchanges = 0, rowsEnded = 0, firstFrame = 0, lastFrame = 0;
  std::set<int> framesWithValues;  // the pump's frames whose exchange wrote the channels
  double firstClock = 0, rowEndClock = 0, lagSum = 0, lagWorst = 0;
  int lags = 0;
};

struct ExchangeSeen {
  bool clock = false, values = false;
  double reading = 0;
  int64_t altitude = 0;
  int frame = 0;
};

static ExchangeSeen Seen(const std::vector<sim::Record>& records, size_t* i) {
  ExchangeSeen seen;
  int exchange = records[*i].exchange;
  for (; *i < records.size() && records[*i].exchange == exchange; ++*i) {
    const sim::Record& r = records[*i];
    seen.frame = r.frame;
    if (!r.write && r.offset == OffsetClock && r.bytes.size() == 8) {
      seen.clock = true;
      memcpy(&seen.reading, r.bytes.data(), 8);
    }
    if (r.write && r.offset == OffsetAltitude && r.bytes.size() == 8) {
      seen.values = true;
      memcpy(&seen.altitude, r.bytes.data(), 8);
    }
  }
  return seen;
}

// From the thread's first clock reading to the reading that ended the last row measured.
static Counts CountExchanges(const std::vector<sim::Record>& records, int firstExchange,
                             int startRow, int rows) {
  Counts counts;
  ReplayPosition position = {startRow, 0, 0};
  bool started = false;
  for (size_t i = 0; i < records.size() && counts.rowsEnded < rows;) {
    bool mine = records[i].exchange > firstExchange;
    ExchangeSeen seen = Seen(records, &i);
    if (!mine || !seen.clock) continue;
    if (!started) {  // the start's own reading
      started = true;
      position.lastClock = counts.firstClock = seen.reading;
      continue;
    }
    counts.exchanges++;
    position.Run(seen.reading);
    if (seen.values) {
      if (!counts.frames) counts.firstFrame = seen.frame;
      counts.lastFrame = seen.frame;
      counts.frames++;
      counts.framesWithValues.insert(seen.frame);
      double clockTime = position.row + position.fraction;
      double valuesTime = ReplayTimeOfAltitude(seen.altitude, clockTime);
      double lag = std::fabs(valuesTime - clockTime);
      if (counts.frames <= StartFrames) {
        counts.startLags[counts.frames - 1] = lag;
      } else if (std::isfinite(valuesTime)) {
        counts.lagSum += lag;
        counts.lagWorst = std::max(counts.lagWorst, lag);
        counts.lags++;
      }
    }
    if (position.EndRow()) {
      counts.rowsEnded++;
      counts.rowEndClock = seen.reading;
    }
  }
  return counts;
}

// ---- Flights ------------------------------------------------------------------------------

static void Print(int frameRate, double jitter, double clockRate, const Counts& c) {
  double simulated = c.rowEndClock - c.firstClock;
  int frames = c.frames ? c.frames : 1;
  char pump[48] = "immediate:";
  if (frameRate) snprintf(pump, sizeof pump, "frame-bound %d/s, jitter %g %%:", frameRate, jitter);
  char share[48] = "-";
  if (frameRate)
    snprintf(share, sizeof share, "%.3f",
             double(c.framesWithValues.size()) / (c.lastFrame - c.firstFrame + 1));
  double frameMs = frameRate ? 1000.0 * clockRate / frameRate : 1000.0 * simulated / frames;
  printf(
      "%-30s rows %d  simulated %.2f s  frames %d  per simulated second %.1f  "
      "exchanges per frame %.3f  simulator frames with new values %s  "
      "applied lag mean %.1f ms, worst %.1f ms (a frame is %.1f ms; the first two frames "
      "%.1f and %.1f ms)  last row's end behind the clock %.3f s\n",
      pump, c.rowsEnded, simulated, c.frames, c.frames / simulated, double(c.exchanges) / frames,
      share, c.lags ? 1000 * c.lagSum / c.lags : 0.0, 1000 * c.lagWorst, frameMs,
      1000 * c.startLags[0], 1000 * c.startLags[1], simulated - c.rowsEnded);
}

static bool Fly(int frameRate, double jitter, int rows, double clockRate, int startRow) {
  sim::Options options;
  options.frameRate = frameRate;
  options.frameJitter = jitter;
  options.clockRate = clockRate;
  if (!sim::Start(options)) return false;
  LinkResult result;
  if (!LinkOpen(0, &result)) return false;
  int exchangesBefore = sim::ExchangeCount();
  currentRow = startRow;
  stopRequested = 0;
  HANDLE thread = CreateThread(nullptr, 0, ReplayThread, nullptr, 0, nullptr);
  while (WaitForSingleObject(thread, 5) == WAIT_TIMEOUT)
    if (currentRow > startRow + rows) stopRequested = 1;  // the rows measured are over
  CloseHandle(thread);
  Counts counts = CountExchanges(sim::Records(), exchangesBefore, startRow, rows);
  LinkClose();
  sim::Stop();
  Print(frameRate, jitter, clockRate, counts);
  return counts.rowsEnded == rows;
}

int main(int argc, char** argv) {
  double jitter = 0;
  if (argc > 2 && strcmp(argv[1], "--frame-jitter") == 0) {
    jitter = atof(argv[2]);
    argv += 2;
    argc -= 2;
  }
  int rows = argc > 1 ? atoi(argv[1]) : 10;
  double clockRate = argc > 2 ? atof(argv[2]) : 1.0;
  showText = 0;
  followLatLon = 1;
  if (argc > 3 && strcmp(argv[3], "-") != 0) {
    if (!SetCurrentDirectoryA(argv[3]) || !LoadFlightData()) return 1;
  } else {
    FillSyntheticRecording(MaxRows);
  }
  char startTime[16] = "5500";
  if (argc > 4) snprintf(startTime, sizeof startTime, "%s", argv[4]);
  int startRow = StartRow(startTime);
  std::vector<int> frameRates;
  for (int i = 5; i < argc; i++) frameRates.push_back(atoi(argv[i]));
  if (frameRates.empty()) frameRates = {0, 30, 60};
  if (rows < 1 || startRow < 0 || startRow + rows + 1 >= loadedRows || !(clockRate > 0) ||
      !(jitter >= 0 && jitter < 100))
    return 1;
  for (int frameRate : frameRates)
    if (frameRate < 0 || !Fly(frameRate, jitter, rows, clockRate, startRow)) return 1;
  return 0;
}
