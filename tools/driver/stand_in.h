// The simulator stand-in program beside the real program: started headless with its log,
// commanded while it runs, and its log read back.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "program_driver.h"

// One line of the stand-in's log: a flat JSON object, values kept as text.
typedef std::map<std::string, std::string> LogLine;
std::vector<LogLine> ReadLog(const std::string& path);

void CopyTree(const std::string& from, const std::string& to);

// The simulator stand-in program, started with its log in the working folder and the
// command-line options args ("--headless" for no window).
struct StandIn {
  Process process;
  std::string log;
  HWND control = nullptr;
  HWND main = nullptr;
};
bool StartStandIn(const std::string& exe, const std::string& workDir, const std::string& args,
                  StandIn* standIn);
LRESULT Command(const StandIn& standIn, WPARAM command, LPARAM argument = 0);
void StopStandIn(StandIn* standIn);

// Writes of one exchange, in order, as (offset, hex bytes).
struct LoggedWrite {
  int exchange;
  double clock;
  unsigned offset;
  std::string bytes;
};
std::vector<LoggedWrite> Writes(const std::vector<LogLine>& log);
// The records the stand-in did not expect of the program, one line each ("" when none): the
// end-to-end tests fail on any.
std::string UnexpectedRecords(const std::vector<LogLine>& log);
// Little-endian hex of a value, as the log writes bytes.
std::string Hex(const void* bytes, size_t size);
