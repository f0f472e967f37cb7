// The figures of a replay as the in-process stand-in saw it, counted with the program's own
// definitions (src/log/flight_log.h): the simulator's frame numbers give the frames each
// step spans, and the altitude written gives the replay time the values were computed for.
#pragma once
#include <climits>
#include <vector>

#include "log/flight_log.h"
#include "sim_server.h"

struct StandInFigures {
  ReplayFigures figures = {};  // rows: those with a frame exchange; behind: at the last row's end
  int rowsEnded = 0;
  double firstClock = 0, rowEndClock = 0;
  double startLags[StartFrames] = {};  // sizes of the applied lag of the first frames, s
};

// From the thread's first clock reading (the first exchange after firstExchange that reads
// the clock) until `rows` rows have ended, or to the replay's last exchange before its exit
// writes. startRow is the row the replay started from.
StandInFigures CountStandIn(const std::vector<sim::Record>& records, int firstExchange,
                            int startRow, int rows = INT_MAX);
