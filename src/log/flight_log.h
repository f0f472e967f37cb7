// The flight log: what the simulator did during each replay, one record a line in
// VRN505Ostavin.log, so that a user can send us how a real simulator served the replay.
// The figures of a replay are defined here once: the program's log, the replay benchmark
// (tools/replay_benchmark.cpp, through tools/figures/stand_in_figures.cpp) and the demo's
// report (tools/report/figures.py mirrors these rules line by line) count them alike.
#pragma once
#include <windows.h>
#include <cstdint>
#include "common/shared_words.h"

// ---- Figures of a replay ----------------------------------------------------------------

// The first frames fly before any step between two running readings is known; their lag is
// kept out of the mean and the worst.
const int StartFrames = 2;

// Counts of frame exchanges: the exchanges that write the channel values. A step is the
// clock's move between two frame exchanges in a row that both found the simulator running;
// a frame exchange without one (the first, the first after a pause, a clock gone back)
// begins a run. Over each run the simulator's frames from its first frame exchange to its
// last are spanned, and those that served a frame exchange got new values.
struct ReplayFigures {
  int rows;           // rows begun
  int frames;         // frame exchanges
  int exchanges;      // all exchanges from the first frame exchange to the replay's last
  int steps[3];       // steps of no frame (the clock did not move), one frame, two or more
  int freshFrames;    // simulator frames that got new values
  int spannedFrames;  // simulator frames spanned by the runs
  int lags;           // frames whose applied lag counts: past the first StartFrames
  double lagSum;      // sizes of the applied lag, replay seconds
  double lagWorst;
  double behind;  // simulated seconds run since the first reading less the rows ended
  int clips;      // clip starts told against their row (the summary's)
};

// A frame exchange of the replay's frame number `frame` (1 for the first). lag is the replay
// time its values were computed for less the replay time of the clock read in the same
// exchange (seconds), or not a number where it cannot be told.
void CountFrame(ReplayFigures* figures, int frame, double lag);
// Its step: the simulator frames since the previous frame exchange, or -1 where a run begins.
void CountStep(ReplayFigures* figures, int framesAdvanced);
void AddFigures(ReplayFigures* total, const ReplayFigures* part);
double FreshShare(const ReplayFigures* figures);  // fresh frames over spanned frames
double ExchangesPerFrame(const ReplayFigures* figures);
double LagMeanMs(const ReplayFigures* figures);
double LagWorstMs(const ReplayFigures* figures);

// The program's own estimate of the frames a positive clock step spans, from the frame
// length: a step under 1.9 frames is one frame, so that a long frame of a jittered run is
// not taken for two.
int StepFrames(double step, double frameLength);
// The frame length from the positive steps around the one to be told: their median, which
// a jittered frame or a step of two frames does not move while most steps are one frame;
// or, where a quarter of them or more lie at half that median (most steps then span two
// frames), the median of those. Reorders the steps.
double FrameLength(double* steps, int count);

// ---- The log file -------------------------------------------------------------------------

// Opens VRN505Ostavin.log in the exe's folder, keeping the previous one as
// VRN505Ostavin.1.log; where that fails, in VRN505Ostavin\ of the user's local application
// data folder. Starts the writer thread. Where no log can be made, every later call does
// nothing. Program entry calls it once, after the single-copy check.
void OpenFlightLog();
// Opens the log in the given folder alone; the in-process tests call it. Returns 1 when open.
int OpenFlightLogIn(const char* folder);
// Writes out what is buffered and closes the log; the writer thread ends.
void CloseFlightLog();
// The path of the open log, or "" (tests).
const char* FlightLogPath();

// One record: the format's fields, formatted as printf does, without the line end. Any
// thread; no file I/O, no allocation: the line goes into a fixed buffer that the writer
// thread writes out. A line that does not fit is dropped and counted.
void LogLine(const char* format, ...);
// A text as a quoted value: code-page bytes to UTF-8, the quote and control bytes replaced.
void QuotedUtf8(char* out, int outBytes, const char* text);

// ---- Records of the program ---------------------------------------------------------------

void LogStart();                                   // version, Windows, code page, time
void LogLink(int opened, uint32_t result);         // the link's open, or why it failed
void LogWindow(int found, HWND window);            // the simulator's window at replay start
void LogReplayStart(int startTimeCode);            // options; the replay's figures start
void LogFault(const char* what, uint32_t result);  // a failed exchange or link problem
void LogExit(const char* reason);

// The replay thread's own view. LogRowStart as each row begins (the first included);
// LogFrame after each frame exchange that succeeded, with the clock read, whether it found
// the simulator running, and the replay times (rows from row 0) the values were computed for
// and the reading put the replay at; LogRowEnd as a row ends by the clock; LogReplayEnd
// once the replay thread flies no more (any way).
void LogReplayClock(double firstReading);  // the thread's first clock reading
void LogRowStart(TimeCode timeCode);
void LogFrame(double reading, int running, double valuesTime, double clockTime);
void LogRowEnd();
void LogReplayEnd();
// The pause watch: the simulator was paused (menu 0) or in a menu (menu 1) that long.
void LogPause(int menu, double seconds);
// The voice thread: a clip started; told against its row's start once that row begins.
void LogClipStart(TimeCode timeCode);
