// One run of the real program beside the simulator stand-in program, from the program's start
// to its end, as a user meets it when the simulator misbehaves: the stand-in's fault options,
// Start at a minute, the simulator resumed, perhaps a fault made during the replay, then
// Exit. Used by the fault table and the exchange-failure sweep.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "program_driver.h"
#include "stand_in.h"

struct FaultRun {
  std::string program, simulator, vox;
  std::string sample;         // folder holding the recording's data\ and sound\ folders
  std::string simulatorArgs;  // the stand-in's own options, fault options among them
  int startMinute = 56;
  bool captions = true;  // the dialog's "Display text"
  // A fault made once the replay has begun its second row: a control command (0: none),
  // its argument, and how long it lasts before Exit is pressed.
  WPARAM faultCommand = 0;
  LPARAM faultArgument = 0;
  DWORD faultMs = 1000;
};

struct FaultOutcome {
  bool dialog = false;         // the control dialog opened
  std::vector<SeenBox> boxes;  // message boxes before the closing notice
  bool notice = false;         // the closing notice came
  double exitToNoticeMs = -1;  // from Exit pressed (or the link box answered) to it
  bool exited = false;
  DWORD exitCode = 99;
  std::string title;         // the simulator window's title at the end
  std::vector<LogLine> log;  // the stand-in's log
  int faultExchange = 0;     // exchanges served when the fault was made
};

// Runs the program in a fresh copy of the sample recording below work.
FaultOutcome RunWithFault(const FaultRun& run, const std::string& work);

// The exchanges of a stand-in log, each with its records in order.
struct LoggedRecord {
  bool write;
  unsigned offset;
  std::string bytes;
};
struct LoggedExchange {
  int number;
  int reply;
  std::vector<LoggedRecord> records;
};
std::vector<LoggedExchange> Exchanges(const std::vector<LogLine>& log);
// Exchange number of the first title event showing this clock ("56:26"), 0 if none.
int TitleExchange(const std::vector<LogLine>& log, const char* clock);
