#include "message_box.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace {

struct Search {
  HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM context) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char className[64] = "";
  GetClassNameA(window, className, sizeof className);
  if (process == GetCurrentProcessId() && strcmp(className, "#32770") == 0 &&
      IsWindowVisible(window) && GetDlgItem(window, 0xFFFF)) {
    reinterpret_cast<Search*>(context)->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CountButtons(HWND child, LPARAM context) {
  char className[32] = "";
  GetClassNameA(child, className, sizeof className);
  if (_stricmp(className, "Button") == 0 && IsWindowVisible(child)) ++*reinterpret_cast<int*>(context);
  return TRUE;
}

SeenBox Read(HWND box) {
  SeenBox seen;
  char text[1024] = "";
  seen.owner = GetWindow(box, GW_OWNER);
  GetWindowTextA(box, text, sizeof text);
  seen.caption = text;
  text[0] = 0;
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  seen.text = text;
  seen.buttons = 0;
  EnumChildWindows(box, CountButtons, reinterpret_cast<LPARAM>(&seen.buttons));
  return seen;
}

std::atomic<bool> watching;
std::thread watcher;
std::mutex seenLock;
std::vector<SeenBox> seenBoxes;

}  // namespace

bool AnswerBox(SeenBox* seen, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    Search search = {nullptr};
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    if (search.found) {
      *seen = Read(search.found);
      PostMessageA(search.found, WM_COMMAND, IDOK, 0);
      // Wait until the box is gone, so that the next search does not find it again.
      while (IsWindow(search.found) && GetTickCount() - start < timeoutMs + 5000) Sleep(5);
      return true;
    }
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(5);
  }
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
