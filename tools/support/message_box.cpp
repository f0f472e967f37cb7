#include "message_box.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

#include "wait.h"

namespace {

const int BoxTextId = 0xFFFF;  // the static text of a message box

struct Search {
  DWORD processId;
  HWND found;
};

// A message box is a visible dialog of the predefined class with the static text 0xFFFF.
BOOL CALLBACK FindBox(HWND window, LPARAM context) {
  Search* search = reinterpret_cast<Search*>(context);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char className[64] = "";
  GetClassNameA(window, className, sizeof className);
  if (process == search->processId && strcmp(className, "#32770") == 0 && IsWindowVisible(window) &&
      GetDlgItem(window, BoxTextId)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectButtons(HWND child, LPARAM context) {
  char className[32] = "";
  GetClassNameA(child, className, sizeof className);
  if (_stricmp(className, "Button") == 0 && IsWindowVisible(child))
    reinterpret_cast<std::vector<std::string>*>(context)->push_back(WindowText(child));
  return TRUE;
}

SeenBox Read(HWND window) {
  SeenBox box;
  box.window = window;
  box.owner = GetWindow(window, GW_OWNER);
  box.caption = WindowText(window);
  box.text = WindowText(GetDlgItem(window, BoxTextId));
  box.wideText = WideWindowText(GetDlgItem(window, BoxTextId));
  EnumChildWindows(window, CollectButtons, reinterpret_cast<LPARAM>(&box.buttons));
  return box;
}

std::atomic<bool> watching;
std::thread watcher;
std::mutex seenLock;
std::vector<SeenBox> seenBoxes;

}  // namespace

std::string WindowText(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::wstring WideWindowText(HWND window) {
  wchar_t text[1024] = L"";
  GetWindowTextW(window, text, 1024);
  return text;
}

HWND FindMessageBox(DWORD processId) {
  Search search = {processId, nullptr};
  EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool AnyBox(DWORD processId) { return FindMessageBox(processId) != nullptr; }

bool WaitBox(DWORD processId, DWORD timeoutMs, SeenBox* box, bool answer) {
  HWND window = nullptr;
  if (!WaitFor([&] { return (window = FindMessageBox(processId)) != nullptr; }, timeoutMs, 5))
    return false;
  *box = Read(window);
  if (answer) {
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    WaitFor([&] { return !IsWindow(window); }, 5000, 5);
  }
  return true;
}

bool AnswerBox(SeenBox* seen, DWORD timeoutMs) {
  return WaitBox(GetCurrentProcessId(), timeoutMs, seen);
}

void StartBoxWatch() {
  seenBoxes.clear();
  watching = true;
  watcher = std::thread([] {
    while (watching) {
      SeenBox seen;
      if (AnswerBox(&seen, 20)) {
        std::lock_guard<std::mutex> guard(seenLock);
        seenBoxes.push_back(seen);
      }
    }
  });
}

std::vector<SeenBox> StopBoxWatch() {
  watching = false;
  if (watcher.joinable()) watcher.join();
  std::lock_guard<std::mutex> guard(seenLock);
  return seenBoxes;
}
