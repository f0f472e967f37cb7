#include "fault_run.h"

#include <cstdlib>
#include <functional>

#include "app/app.h"
#include "control.h"

namespace {

const char ClosingNotice[] = "\x8f\x49\x97\xb9\x82\xb5\x82\xdc\x82\xb7";  // 終了します
const DWORD QuietMs = 600;  // no exchange for this long: the program sends nothing more

int Served(const StandIn& standIn) { return int(Command(standIn, ControlExchanges)); }

// Waits until the dialog opens or a box shows; answers and keeps a box.
HWND WaitDialogOrBox(const Process& app, FaultOutcome* outcome) {
  HWND dialog = nullptr;
  WaitFor([&] { return (dialog = driver::ControlDialog(app)) != nullptr || AnyBox(app.id); },
          40000);
  SeenBox box;
  if (!dialog && WaitBox(app.id, 1000, &box)) outcome->boxes.push_back(box);
  return dialog;
}

// Until the condition holds, or the stand-in has served something since `since` exchanges
// and then nothing for QuietMs: the program sends nothing more.
bool WaitQuietOr(const StandIn& standIn, int since, const std::function<bool()>& condition,
                 DWORD timeoutMs) {
  int last = -1;
  DWORD quietSince = GetTickCount();
  return WaitFor(
      [&] {
        int served = Served(standIn);
        if (served != last) quietSince = GetTickCount();
        last = served;
        return condition() || (served > since && GetTickCount() - quietSince > QuietMs);
      },
      timeoutMs);
}

// Start at the run's minute; the placement's exchange or its failure box, which may come
// only after the link's tries, or a replay that ended at once.
void StartReplay(const FaultRun& run, const StandIn& standIn, const Process& app, HWND dialog,
                 FaultOutcome* outcome) {
  driver::SelectListEntry(dialog, IDC_START_LIST, run.startMinute - 24);
  driver::SetChecked(dialog, IDC_SHOW_TEXT, run.captions);
  int before = Served(standIn);
  driver::Press(dialog, IDOK);
  WaitQuietOr(
      standIn, before, [&] { return AnyBox(app.id) || Served(standIn) > before + 6; }, 40000);
  SeenBox box;
  if (WaitBox(app.id, 300, &box)) outcome->boxes.push_back(box);
  Command(standIn, ControlResume);
}

// Until the stand-in has gone quiet: the replay has ended, by itself or on a failure.
void WaitForTheEnd(const StandIn& standIn) {
  WaitQuietOr(
      standIn, -1, [] { return false; }, 60000);
}

void MakeFault(const FaultRun& run, const StandIn& standIn, FaultOutcome* outcome) {
  char second[16];
  snprintf(second, sizeof second, "[ %d:01 ]", run.startMinute);
  WaitFor([&] { return WindowText(standIn.main).find(second) != std::string::npos; }, 20000);
  outcome->faultExchange = Served(standIn);
  Command(standIn, run.faultCommand, run.faultArgument);
  Sleep(run.faultMs);
}

void Exit(const StandIn& standIn, const Process& app, HWND dialog, FaultOutcome* outcome) {
  DWORD pressed = GetTickCount();
  if (dialog) driver::Press(dialog, IDCANCEL);
  SeenBox notice;
  outcome->notice = WaitBox(app.id, 60000, &notice);
  outcome->exitToNoticeMs = GetTickCount() - pressed;
  if (outcome->notice && notice.text != ClosingNotice) {
    outcome->boxes.push_back(notice);
    outcome->notice = WaitBox(app.id, 60000, &notice);
  }
  outcome->exited = WaitProcessExit(app, 10000, &outcome->exitCode);
  outcome->title = WindowText(standIn.main);
}

}  // namespace

FaultOutcome RunWithFault(const FaultRun& run, const std::string& work) {
  FaultOutcome outcome;
  CopyTree(run.sample + "\\data", work + "\\data");
  CopyTree(run.sample + "\\sound", work + "\\sound");
  CopyFileA(run.vox.c_str(), (work + "\\Vox.dll").c_str(), FALSE);
  StandIn standIn;
  if (!StartStandIn(run.simulator, work, "--headless " + run.simulatorArgs, &standIn))
    return outcome;
  Process app;
  if (StartProcess(run.program, "", work, &app)) {
    HWND dialog = WaitDialogOrBox(app, &outcome);
    outcome.dialog = dialog != nullptr;
    if (dialog) {
      StartReplay(run, standIn, app, dialog, &outcome);
      if (run.faultCommand)
        MakeFault(run, standIn, &outcome);
      else
        WaitForTheEnd(standIn);
    }
    Exit(standIn, app, dialog, &outcome);
    KillProcess(app);
    CloseProcess(&app);
  }
  outcome.log = ReadLog(standIn.log);
  StopStandIn(&standIn);
  return outcome;
}

std::vector<LoggedExchange> Exchanges(const std::vector<LogLine>& log) {
  std::vector<LoggedExchange> exchanges;
  LoggedExchange current;
  for (const LogLine& line : log) {
    auto op = line.find("op");
    if (op == line.end()) continue;
    if (op->second == "read" || op->second == "write") {
      current.number = atoi(line.at("exchange").c_str());
      current.records.push_back({op->second == "write",
                                 unsigned(strtoul(line.at("offset").c_str(), nullptr, 16)),
                                 line.at("bytes")});
    } else if (op->second == "exchange") {
      current.number = atoi(line.at("exchange").c_str());
      current.reply = atoi(line.at("reply").c_str());
      exchanges.push_back(current);
      current = LoggedExchange{};
    }
  }
  return exchanges;
}

int TitleExchange(const std::vector<LogLine>& log, const char* clock) {
  std::string shown = std::string("[ ") + clock + " ]";
  for (const LogLine& line : log) {
    auto op = line.find("op");
    auto meaning = line.find("meaning");
    if (op != line.end() && op->second == "title" && meaning != line.end() &&
        meaning->second.find(shown) != std::string::npos)
      return atoi(line.at("exchange").c_str());
  }
  return 0;
}
