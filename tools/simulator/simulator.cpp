// The simulator stand-in as a program: FSUIPC's server and the simulator's main window for
// end-to-end tests, the demo and a person at the keyboard. Options on the command line;
// control while it runs through the registered message "SimStandIn:Control" sent to the
// window of class "SimStandInControl" (or through standard input with --stdin).
#include <windows.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "control.h"
#include "link/offsets.h"
#include "sim_server.h"

namespace {

HWND controlWindow;   // the program's control window, on the main thread
UINT controlMessage;  // "SimStandIn:Control"

const char Usage[] =
    "simulator [options]\n"
    "  --sim 7|8              simulator version: 7 FS2004, 8 FSX (default 8)\n"
    "  --rate R               simulator seconds per real second (default 1)\n"
    "  --frames N             frame-bound pump at N frames per second (default 0: immediate)\n"
    "  --frame-jitter P       each frame's length drawn within +-P % of the period (0 to 99)\n"
    "  --paused               start paused\n"
    "  --log FILE             JSON-lines log of every exchange, record and event\n"
    "  --headless             do not show the main window\n"
    "  --stdin                read control commands from standard input\n"
    "faults:\n"
    "  --no-uipcmain          serve only through the \"FS98MAIN\" window\n"
    "  --no-main-window       no \"FS98MAIN\" window\n"
    "  --fsuipc-version HEX   value of 0x3304\n"
    "  --sim-word HEX         value of 0x3308\n"
    "  --versions-zero        both version words read 0\n"
    "  --reply N              reply N to every exchange instead of 1\n"
    "  --hang                 never answer\n"
    "  --answer-limit N       stop answering after N exchanges\n"
    "  --die-after N          end the process abruptly when exchange N+1 arrives\n"
    "  --fail-exchange N      serve exchange N (1 for the first) but reply 0 to it\n"
    "  --fail-write HEX       serve the first exchange writing to offset HEX but reply 0 to it\n"
    "  --hang-from N          leave exchange N and every later one unanswered\n"
    "  --destroy-at N         at exchange N destroy the serving window, reply 0, serve nothing\n"
    "  --never-open-mapping   reply without reading the request block\n";

bool ParseNumber(const char* text, double* value) {
  char* end = nullptr;
  *value = strtod(text, &end);
  return end != text && *end == 0;
}

bool ParseInteger(const char* text, int base, long long* value) {
  char* end = nullptr;
  *value = strtoll(text, &end, base);
  return end != text && *end == 0;
}

// Options that take no value. Returns false when the name is not one of them.
bool ParseFlag(const std::string& name, sim::Options* options, bool* readStdin) {
  sim::Faults& faults = options->faults;
  if (name == "--paused")
    options->startPaused = true;
  else if (name == "--headless")
    options->showWindow = false;
  else if (name == "--stdin")
    *readStdin = true;
  else if (name == "--no-uipcmain")
    faults.noUipcMain = true;
  else if (name == "--no-main-window")
    faults.noMainWindow = true;
  else if (name == "--versions-zero")
    faults.versionsReadZero = true;
  else if (name == "--hang")
    faults.hang = true;
  else if (name == "--never-open-mapping")
    faults.neverOpenMapping = true;
  else
    return false;
  return true;
}

// Options with a value. Returns false on an unknown name or a bad value.
bool ParseValue(const std::string& name, const char* value, sim::Options* options) {
  sim::Faults& faults = options->faults;
  long long integer = 0;
  bool hex = name == "--fsuipc-version" || name == "--sim-word" || name == "--fail-write";
  if (name == "--log") {
    options->logPath = value;
    return true;
  }
  if (name == "--rate") {
    return ParseNumber(value, &options->clockRate) && options->clockRate >= 0;
  }
  if (name == "--frame-jitter") {
    double& jitter = options->frameJitter;
    return ParseNumber(value, &jitter) && jitter >= 0 && jitter < 100;
  }
  if (!ParseInteger(value, hex ? 16 : 10, &integer)) return false;
  if (name == "--sim")
    options->simVersion = int(integer);
  else if (name == "--frames")
    options->frameRate = int(integer);
  else if (name == "--fsuipc-version")
    faults.fsuipcVersion = uint32_t(integer);
  else if (name == "--sim-word")
    faults.simVersionWord = uint32_t(integer);
  else if (name == "--reply")
    faults.reply = LRESULT(integer);
  else if (name == "--answer-limit")
    faults.answerLimit = int(integer);
  else if (name == "--die-after")
    faults.dieAfter = int(integer);
  else if (name == "--fail-exchange")
    faults.failExchange = int(integer);
  else if (name == "--fail-write")
    faults.failWrite = integer;
  else if (name == "--hang-from")
    faults.answerLimit = int(integer) - 1;  // answered before it
  else if (name == "--destroy-at")
    faults.destroyAt = int(integer);
  else
    return false;
  if (name == "--sim") return integer == 7 || integer == 8;
  if (name == "--frames") return integer >= 0 && integer <= 1000;
  bool atExchange = name == "--fail-exchange" || name == "--hang-from" || name == "--destroy-at";
  if (name == "--fail-write") return integer >= 0 && integer < sim::OffsetSpace;
  return !atExchange || (integer >= 1 && integer <= INT_MAX);
}

bool ParseOptions(int argc, char** argv, sim::Options* options, bool* readStdin) {
  options->showWindow = true;
  options->keepRecords = false;  // the log holds them; nobody in this process asks
  for (int i = 1; i < argc; i++) {
    std::string name = argv[i];
    if (ParseFlag(name, options, readStdin)) continue;
    if (i + 1 >= argc || !ParseValue(name, argv[i + 1], options)) {
      fprintf(stderr, "simulator: bad option %s%s%s\n\n%s", argv[i], i + 1 < argc ? " " : "",
              i + 1 < argc ? argv[i + 1] : "", Usage);
      return false;
    }
    i++;
  }
  return true;
}

void SetClock(double seconds) { sim::Poke(OffsetClock, &seconds, sizeof seconds); }

// A clock that reads garbage for a while, as a simulator's was once seen to.
void ServeGarbageClock(DWORD ms) {
  double was = sim::Clock();
  SetClock(6.7e297);
  Sleep(ms);
  SetClock(was);
}

LRESULT Control(WPARAM command, LPARAM argument) {
  switch (command) {
    case ControlPause:
      sim::SetPaused(true);
      return 1;
    case ControlResume:
      sim::SetPaused(false);
      return 1;
    case ControlMenuOpen:
      sim::SetMenu(true);
      return 1;
    case ControlMenuClose:
      sim::SetMenu(false);
      return 1;
    case ControlHang:
      sim::SetHang(true);
      return 1;
    case ControlUnhang:
      sim::SetHang(false);
      return 1;
    case ControlDestroyServer:
      sim::DestroyServerWindow();
      return 1;
    case ControlClockRate:
      sim::SetClockRate(argument / 1000.0);
      return 1;
    case ControlExchanges:
      return sim::ExchangeCount();
    case ControlReply:
      sim::SetReply(argument);
      return 1;
    case ControlSetClock:
      SetClock(double(int32_t(argument)));
      return 1;
    case ControlGarbageClock:
      ServeGarbageClock(DWORD(argument));
      return 1;
    case ControlExit:
      PostQuitMessage(0);
      return 1;
  }
  return 0;
}

LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == controlMessage && message != 0) return Control(wParam, lParam);
  if (message == WM_CLOSE) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

bool CreateControlWindow() {
  controlMessage = RegisterWindowMessageA(ControlMessageName);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = ControlProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = ControlClassName;
  if (!RegisterClassA(&windowClass)) return false;
  controlWindow = CreateWindowExA(0, ControlClassName, "Simulator stand-in control", WS_POPUP, 0, 0,
                                  0, 0, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  return controlWindow != nullptr;
}

// One command a line: pause, resume, menu, nomenu, hang, unhang, destroy, rate R, exit.
DWORD WINAPI ReadCommands(LPVOID) {
  char line[128];
  while (fgets(line, sizeof line, stdin)) {
    double rate = 0;
    WPARAM command = ControlCommandByName(line, &rate);
    if (command)
      PostMessageA(controlWindow, controlMessage, command, LPARAM(rate * 1000));
    else
      fprintf(stderr, "simulator: unknown command %s", line);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  sim::Options options;
  bool readStdin = false;
  if (!ParseOptions(argc, argv, &options, &readStdin)) return 2;
  if (!CreateControlWindow()) {
    fprintf(stderr, "simulator: cannot create the control window\n");
    return 1;
  }
  if (!sim::Start(options)) {
    fprintf(stderr, "simulator: cannot start the server (log file %s?)\n", options.logPath.c_str());
    return 1;
  }
  sim::SetCloseHook([] { PostMessageA(controlWindow, WM_CLOSE, 0, 0); });
  if (readStdin) CloseHandle(CreateThread(nullptr, 0, ReadCommands, nullptr, 0, nullptr));
  printf("simulator: sim %d, %s pump, clock x%g%s\n", options.simVersion,
         options.frameRate ? "frame-bound" : "immediate", options.clockRate,
         options.startPaused ? ", paused" : "");
  fflush(stdout);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  sim::Stop();
  return 0;
}
