// Prints a table of the faults a user's simulator can show during a replay: for each, the
// time from Exit to the closing notice, the exchanges the stand-in served once the fault was
// made, the rows flown after it, and the program's exit code. Exits 1 when a fault's bound
// did not hold (a row marked FAILED).
//
//   fault_table PROGRAM SIMULATOR VOX SAMPLE_DIR WORK_DIR
#include <windows.h>

#include <cstdio>
#include <string>

#include "control.h"
#include "fault_run.h"

namespace {

struct Fault {
  const char* what;
  WPARAM command;
  LPARAM argument;
  double boundMs;  // Exit to the closing notice, three times what it takes
  bool fliesOn;    // the replay must go on after the fault
};

// A hung simulator costs the try under way when Exit comes, at most 2 s; the rest answer at
// once. Nine tries would be 18.9 s, and a clock that held a stop, never.
const Fault faults[] = {
    {"none: Exit during the replay", ControlClockRate, 2000, 3000, true},
    {"the simulator stops answering", ControlHang, 0, 6000, false},
    {"the server window is destroyed", ControlDestroyServer, 0, 3000, false},
    {"replies other than 1 (0)", ControlReply, 0, 3000, false},
    {"the clock reset to 0 (a flight reloaded)", ControlSetClock, 0, 3000, true},
    {"a garbage clock (6.7e297) for 200 ms", ControlGarbageClock, 200, 3000, true},
};

// Rows the replay entered after the fault, from the titles the stand-in logged.
int RowsAfter(const FaultOutcome& o) {
  int rows = 0;
  for (const LogLine& line : o.log) {
    auto op = line.find("op");
    if (op != line.end() && op->second == "title" &&
        atoi(line.at("exchange").c_str()) > o.faultExchange)
      rows++;
  }
  return rows;
}

int ServedAfter(const FaultOutcome& o) {
  int served = 0;
  for (const LoggedExchange& e : Exchanges(o.log)) served += e.number > o.faultExchange;
  return served;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    fprintf(stderr, "usage: fault_table PROGRAM SIMULATOR VOX SAMPLE_DIR WORK_DIR\n");
    return 2;
  }
  printf(
      "| Fault during a replay | Exit pressed -> closing notice | Exchanges served after "
      "the fault | Rows flown after it | Exit code |\n|---|---|---|---|---|\n");
  int status = 0;
  for (const Fault& fault : faults) {
    FaultRun run;
    run.program = argv[1];
    run.simulator = argv[2];
    run.vox = argv[3];
    run.sample = argv[4];
    run.simulatorArgs = "--rate 2 --frames 60";
    run.startMinute = 40;
    run.faultCommand = fault.command;
    run.faultArgument = fault.argument;
    run.faultMs = 3000;
    std::string work = std::string(argv[5]) + "\\" + std::to_string(&fault - faults);
    CreateDirectoryA(work.c_str(), nullptr);
    FaultOutcome o = RunWithFault(run, work);
    bool held = o.notice && o.exited && o.exitCode == 0 && o.exitToNoticeMs < fault.boundMs &&
                (!fault.fliesOn || RowsAfter(o) > 1);
    if (!held) status = 1;
    printf("| %s | %s | %d | %d | %lu |%s\n", fault.what,
           o.notice ? (std::to_string(int(o.exitToNoticeMs)) + " ms").c_str() : "none",
           ServedAfter(o), RowsAfter(o), o.exited ? o.exitCode : 99, held ? "" : " FAILED");
    fflush(stdout);
  }
  return status;
}
