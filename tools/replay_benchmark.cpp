// Flies a stretch of rows against the in-process stand-in at each given pump frame rate (0
// answers at once) and prints what the simulator saw: replay frames per simulated second,
// exchanges per frame, the share of the simulator's frames that got new values, the applied
// lag, and how far the last row's end lay behind the simulator's clock. The figures are the
// flight log's (src/log/flight_log.h). With --log DIR the flight log is written there and
// each flight's summary line is printed after the stand-in's figures; without it, no log.
//   replay_benchmark [--frame-jitter P] [--log DIR] [rows] [clock rate] [recording folder
//                    holding data\, or -] [start time code, 5500 by default] [frame rates...]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "link/link.h"
#include "log/flight_log.h"
#include "recording/recording.h"
#include "replay/replay.h"
#include "sim_server.h"
#include "stand_in_figures.h"
#include "synthetic_recording.h"

static const char* logFolder;  // --log: the flight log's folder, or null for none

// ---- Flights ------------------------------------------------------------------------------

static void Print(int frameRate, double jitter, double clockRate, const StandInFigures& s) {
  const ReplayFigures& f = s.figures;
  double simulated = s.rowEndClock - s.firstClock;
  char pump[48] = "immediate:";
  if (frameRate) snprintf(pump, sizeof pump, "frame-bound %d/s, jitter %g %%:", frameRate, jitter);
  char share[48] = "-";
  if (frameRate) snprintf(share, sizeof share, "%.3f", FreshShare(&f));
  int frames = f.frames ? f.frames : 1;
  double frameMs = frameRate ? 1000.0 * clockRate / frameRate : 1000.0 * simulated / frames;
  printf(
      "%-30s rows %d  simulated %.2f s  frames %d  per simulated second %.1f  "
      "exchanges per frame %.3f  simulator frames with new values %s  "
      "applied lag mean %.1f ms, worst %.1f ms (a frame is %.1f ms; the first two frames "
      "%.1f and %.1f ms)  last row's end behind the clock %.3f s\n",
      pump, s.rowsEnded, simulated, f.frames, f.frames / simulated, ExchangesPerFrame(&f), share,
      LagMeanMs(&f), LagWorstMs(&f), frameMs, 1000 * s.startLags[0], 1000 * s.startLags[1],
      f.behind);
}

// The flight log's last summary line, as the program wrote it.
static void PrintLogSummary() {
  std::ifstream log(std::string(logFolder) + "\\VRN505Ostavin.log");
  std::string line, summary;
  while (std::getline(log, line))
    if (line.compare(0, 8, "summary ") == 0) summary = line;
  printf("%-30s %s\n", "  the program's log:", summary.c_str());
}

static bool Fly(int frameRate, double jitter, int rows, double clockRate, int startRow) {
  sim::Options options;
  options.frameRate = frameRate;
  options.frameJitter = jitter;
  options.clockRate = clockRate;
  if (!sim::Start(options)) return false;
  LinkResult result;
  if (!LinkOpen(0, &result)) return false;
  if (logFolder && !OpenFlightLogIn(logFolder)) return false;
  int exchangesBefore = sim::ExchangeCount();
  currentRow = startRow;
  stopRequested = 0;
  LogReplayStart(timeCodes[startRow]);
  HANDLE thread = CreateThread(nullptr, 0, ReplayThread, nullptr, 0, nullptr);
  while (WaitForSingleObject(thread, 5) == WAIT_TIMEOUT)
    if (currentRow > startRow + rows) stopRequested = 1;  // the rows measured are over
  CloseHandle(thread);
  StandInFigures seen = CountStandIn(sim::Records(), exchangesBefore, startRow, rows);
  LinkClose();
  sim::Stop();
  Print(frameRate, jitter, clockRate, seen);
  if (logFolder) {
    CloseFlightLog();
    PrintLogSummary();
  }
  return seen.rowsEnded == rows;
}

int main(int argc, char** argv) {
  double jitter = 0;
  for (; argc > 2 && argv[1][0] == '-' && argv[1][1] == '-'; argv += 2, argc -= 2) {
    if (strcmp(argv[1], "--frame-jitter") == 0)
      jitter = atof(argv[2]);
    else if (strcmp(argv[1], "--log") == 0)
      logFolder = argv[2];
    else
      return 2;
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
