// The records of the flight log: the program's start, the link, the simulator's window, and
// each replay as the replay thread saw it: rows, frames, clock steps, applied lag, pauses,
// clips, faults and a summary.
#include <algorithm>  // std::copy
#include <atomic>
#include <cmath>

#include "link/link.h"
#include "log/flight_log.h"
// After <windows.h>: its headers have fields named as the version's macros.
#include "app/version.h"

// ---- Program ------------------------------------------------------------------------------

static double ProgramMs() {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * double(count.QuadPart) / double(frequency.QuadPart);
}

void LogStart() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  SYSTEMTIME now;
  GetLocalTime(&now);
  LogLine(
      "start version=%d.%d.%d.%d windows=%lu.%lu.%lu codepage=%u "
      "time=%04d-%02d-%02dT%02d:%02d:%02d",
      VersionMajor, VersionMinor, VersionPatch, VersionBuild, version.dwMajorVersion,
      version.dwMinorVersion, version.dwBuildNumber, GetACP(), now.wYear, now.wMonth, now.wDay,
      now.wHour, now.wMinute, now.wSecond);
}

void LogLink(int opened, uint32_t result) {
  if (!opened) {
    char message[160];
    QuotedUtf8(message, sizeof message,
               result < LinkResultCount ? linkResultMessages[result] : "unknown");
    LogLine("link result=%u message=%s", result, message);
    LogFault("link_open", result);
    return;
  }
  char server[64] = "";
  GetClassNameA(serverWindow, server, sizeof server);
  LogLine("link result=0 fsuipc=0x%08X sim=%u server=%s", fsuipcVersion, simVersion,
          server[0] ? server : "-");
}

void LogWindow(int found, HWND window) {
  char title[256] = "";
  char quoted[400];
  if (found) GetWindowTextA(window, title, sizeof title);
  QuotedUtf8(quoted, sizeof quoted, title);
  LogLine("window found=%d title=%s", found, quoted);
}

void LogFault(const char* what, uint32_t result) {
  LogLine("fault what=%s result=%u", what, result);
}

void LogExit(const char* reason) { LogLine("exit reason=%s", reason); }

// ---- Replay -------------------------------------------------------------------------------

// The replay thread's own (LogReplayStart sets them before the thread starts).
static int replayNumber;     // replays of this run; the main thread counts them
static ReplayFigures total;  // rows closed so far
static ReplayFigures row;    // the row being flown
static TimeCode rowTimeCode;
static int rowOpen;
static int frameNumber;
static int exchangesAtStart;  // replayExchanges before the first frame exchange
static int rowExchangesAt;
static double firstReading, lastReading;
static int lastFrameRan;
static int rowsEnded;

// The frame length comes from the 31 positive steps around a step, so a step is told once
// the 15 after it are in (or at the replay's end): the clock's rate may change from one row
// to the next, and one jittered frame must not make the estimate.
const int StepWindow = 31;
const int StepHalf = 15;
static double stepRing[StepWindow];
static int stepsSeen, stepsTold;

// The clip starts and row starts that the voice and replay threads tell each other, under
// clipLock. The voice thread may start a clip again until it sees its row begun, so a clip's
// line waits for the end of its row and tells the last start, the one that is heard.
static CRITICAL_SECTION clipLock;
static const bool clipLockMade = (InitializeCriticalSection(&clipLock), true);
static TimeCode pendingClip = -1;  // a clip started before its row began, and when
static double pendingClipMs;
static TimeCode startedRow = -1;  // the row that began last, and when
static double startedRowMs;
static TimeCode rowClip = -1;  // the clip of that row, and its last start
static double rowClipMs;
static std::atomic<int> clipsTold;  // clip lines of this replay

void LogReplayStart(int startTimeCode) {
  total = ReplayFigures{};
  row = ReplayFigures{};
  rowOpen = frameNumber = rowsEnded = lastFrameRan = 0;
  stepsSeen = stepsTold = 0;
  exchangesAtStart = -1;
  EnterCriticalSection(&clipLock);
  pendingClip = startedRow = rowClip = -1;
  LeaveCriticalSection(&clipLock);
  clipsTold = 0;
  rowTimeCode = startTimeCode;
  LogLine("replay n=%d start=%d voice=%d captions=%d latlon=%d", ++replayNumber, startTimeCode,
          int(playVoice), int(showText), int(followLatLon));
}

void LogReplayClock(double reading) { firstReading = lastReading = reading; }

static void TellStep() {
  int kept = stepsSeen < StepWindow ? stepsSeen : StepWindow;
  double steps[StepWindow];
  std::copy(stepRing, stepRing + kept, steps);
  CountStep(&row, StepFrames(stepRing[stepsTold % StepWindow], FrameLength(steps, kept)));
  stepsTold++;
}

static void KeepStep(double step) {
  stepRing[stepsSeen % StepWindow] = step;
  stepsSeen++;
  if (stepsSeen - stepsTold > StepHalf) TellStep();
}

// Under clipLock: the clip of the row that began last, against that row's start.
static void TellRowClip() {
  if (rowClip < 0) return;
  LogLine("clip tc=%d sync_ms=%.1f", rowClip, rowClipMs - startedRowMs);
  clipsTold++;
  rowClip = -1;
}

void LogRowStart(TimeCode timeCode) {
  if (exchangesAtStart < 0) exchangesAtStart = replayExchanges;
  rowOpen = 1;
  rowTimeCode = timeCode;
  rowExchangesAt = replayExchanges;
  double now = ProgramMs();
  EnterCriticalSection(&clipLock);
  TellRowClip();
  startedRow = timeCode;
  startedRowMs = now;
  if (pendingClip == timeCode) {
    rowClip = timeCode;
    rowClipMs = pendingClipMs;
  }
  pendingClip = -1;
  LeaveCriticalSection(&clipLock);
}

void LogClipStart(TimeCode timeCode) {
  double now = ProgramMs();
  EnterCriticalSection(&clipLock);
  if (startedRow == timeCode) {  // its row has begun: a late start, or a start again
    rowClip = timeCode;
    rowClipMs = now;
  } else {
    pendingClip = timeCode;
    pendingClipMs = now;
  }
  LeaveCriticalSection(&clipLock);
}

// A step counts between two frame exchanges in a row that both found the simulator running;
// one that did not move is told at once, a positive one once its frame length is known.
void LogFrame(double reading, int running, double valuesTime, double clockTime) {
  frameNumber++;
  CountFrame(&row, frameNumber, valuesTime - clockTime);
  double step = reading - lastReading;
  int continues = frameNumber > 1 && running && lastFrameRan && std::isfinite(step) && step >= 0;
  if (!continues)
    CountStep(&row, -1);
  else if (step == 0.0)
    CountStep(&row, 0);
  else
    KeepStep(step);
  lastReading = reading;
  lastFrameRan = running;
}

static void WriteRow() {
  row.rows = row.frames > 0;
  row.exchanges = replayExchanges - rowExchangesAt;
  LogLine(
      "row tc=%d frames=%d exchanges=%d steps0=%d steps1=%d steps2=%d fresh=%.3f "
      "lag_mean_ms=%.1f lag_worst_ms=%.1f behind_s=%.3f",
      rowTimeCode, row.frames, row.exchanges, row.steps[0], row.steps[1], row.steps[2],
      FreshShare(&row), LagMeanMs(&row), LagWorstMs(&row), row.behind);
  AddFigures(&total, &row);
  row = ReplayFigures{};
  rowOpen = 0;
}

void LogRowEnd() {
  rowsEnded++;
  row.behind = (lastReading - firstReading) - rowsEnded;
  WriteRow();
}

void LogPause(int menu, double seconds) {
  LogLine("%s tc=%d s=%.2f", menu ? "menu" : "pause", rowTimeCode, seconds);
}

void LogReplayEnd() {
  while (stepsTold < stepsSeen) TellStep();
  if (rowOpen) {
    row.behind = (lastReading - firstReading) - rowsEnded;
    WriteRow();
  }
  EnterCriticalSection(&clipLock);
  TellRowClip();
  LeaveCriticalSection(&clipLock);
  total.clips = clipsTold;
  total.exchanges = exchangesAtStart < 0 ? 0 : replayExchanges - exchangesAtStart;
  LogLine(
      "summary n=%d rows=%d frames=%d exchanges=%d exchanges_per_frame=%.3f fresh=%.3f "
      "steps0=%d steps1=%d steps2=%d lag_mean_ms=%.1f lag_worst_ms=%.1f behind_s=%.3f "
      "clips=%d",
      replayNumber, total.rows, total.frames, total.exchanges, ExchangesPerFrame(&total),
      FreshShare(&total), total.steps[0], total.steps[1], total.steps[2], LagMeanMs(&total),
      LagWorstMs(&total), total.behind, total.clips);
}
