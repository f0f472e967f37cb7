// The simulator's main window: found by title and class, raised at replay start, carrying
// the add-on's name and the replay clock in its title, and given a fixed title at the end.
#include <cstring>

#include "link/link.h"
#include "link/offsets.h"
#include "log/flight_log.h"
#include "recording/recording.h"  // timeCodes: the title clock shows the row's time code

std::atomic<HWND> simWindow;

const int WindowTextCount = 251;  // title and class buffers, terminating zero included
const int TitleBytes = 128;
const UINT TitleTimeoutMs = 1000;

struct SimTitles {
  const char* required;  // the window's title must contain this
  const char* addOn;     // set while replays run
  const char* closing;   // given back at program end
};

// Null for a simulator version whose window is never looked for.
static const SimTitles* TitlesOfVersion() {
  static const SimTitles fs2004 = {"Microsoft Flight Simulator 2004",
                                   "Microsoft Flight Simulator 2004 - " DisplayName,
                                   "Microsoft Flight Simulator 2004 - A Century of Flight"};
  static const SimTitles fsx = {"Microsoft Flight Simulator X",
                                "Microsoft Flight Simulator X - " DisplayName,
                                "Microsoft Flight Simulator X"};
  if (simVersion == SimVersionFs2004) return &fs2004;
  if (simVersion == SimVersionFsx) return &fsx;
  return nullptr;
}

// The simulator's window belongs to its own (possibly hung) thread: a plain SetWindowTextA
// would wait for that thread for ever, so the title is sent with a time-out.
static void SetSimTitle(HWND window, const char* title) {
  DWORD_PTR unused;
  SendMessageTimeoutA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title),
                      SMTO_BLOCK | SMTO_ABORTIFHUNG, TitleTimeoutMs, &unused);
}

int IsSimWindow(HWND window) {
  const SimTitles* titles = TitlesOfVersion();
  if (!titles) return 0;
  char title[WindowTextCount] = "";
  char className[WindowTextCount] = "";
  GetWindowTextA(window, title, WindowTextCount);
  GetClassNameA(window, className, WindowTextCount);
  return strstr(title, titles->required) && strstr(className, "FS98MAIN");
}

static BOOL CALLBACK OfferWindow(HWND window, LPARAM) {
  if (!IsSimWindow(window)) return TRUE;
  simWindow = window;
  return FALSE;
}

void RaiseSimWindow() {
  if (EnumWindows(OfferWindow, 0)) {  // ran to its end: no window matched
    LogWindow(0, nullptr);
    return;
  }
  HWND window = simWindow;
  if (IsIconic(window))
    ShowWindow(window, SW_RESTORE);
  else
    SetForegroundWindow(window);
  SetSimTitle(window, TitlesOfVersion()->addOn);
  LogWindow(1, window);
}

// Minutes are the first two digits, seconds the rest. At most two of each are kept, so an
// odd time code from a data file cannot run past the caller's 11 bytes.
void FormatClock(char* text, TimeCode timeCode) {
  char number[16];
  wsprintfA(number, "%d", timeCode);
  char minutes[3] = "";
  char seconds[3] = "";
  lstrcpynA(minutes, number, sizeof minutes);
  if (lstrlenA(number) > 2) lstrcpynA(seconds, number + 2, sizeof seconds);
  wsprintfA(text, " [ %s:%s ]", minutes, seconds);
}

void ShowClockInTitle(int row) {
  const SimTitles* titles = TitlesOfVersion();
  HWND window = simWindow;
  if (!titles || !window || row < 0 || row >= MaxRows) return;
  char clock[16];
  char title[TitleBytes];
  FormatClock(clock, timeCodes[row]);
  lstrcpyA(title, titles->addOn);
  lstrcatA(title, clock);
  SetSimTitle(window, title);
}

void EndProgram(HINSTANCE instance) {
  LinkClose();
  wchar_t notice[StringBufferSize] = L"";
  LoadStringW(instance, IDS_CLOSING_NOTICE, notice, StringBufferSize);
  ShowMessageBox(notice);
  const SimTitles* titles = TitlesOfVersion();
  HWND window = simWindow;
  if (titles && window) SetSimTitle(window, titles->closing);
}
