#include "program_driver.h"

#include <cstring>

#include "app/app.h"

namespace driver {

namespace {

struct Search {
  DWORD processId;
  const char* windowClass;
  const char* title;
  std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND window, LPARAM context) {
  Search* search = reinterpret_cast<Search*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId) return TRUE;
  char text[256] = "";
  if (search->windowClass) {
    GetClassNameA(window, text, sizeof text);
    if (strcmp(text, search->windowClass) != 0) return TRUE;
  }
  if (search->title) {
    GetWindowTextA(window, text, sizeof text);
    if (strcmp(text, search->title) != 0) return TRUE;
  }
  search->found.push_back(window);
  return TRUE;
}

}  // namespace

std::vector<HWND> WindowsOf(DWORD processId, const char* windowClass, const char* title) {
  Search search{processId, windowClass, title, {}};
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitWindow(DWORD processId, const char* windowClass, const char* title, DWORD timeoutMs) {
  HWND found = nullptr;
  WaitFor(
      [&] {
        for (HWND window : WindowsOf(processId, windowClass, title))
          if (IsWindowVisible(window)) found = window;
        return found != nullptr;
      },
      timeoutMs);
  return found;
}

HWND ControlDialog(const Process& app) {
  for (HWND window : WindowsOf(app.id, "#32770", DisplayName))
    if (GetDlgItem(window, IDC_START_LIST)) return window;
  return nullptr;
}

HWND WaitControlDialog(const Process& app, DWORD timeoutMs) {
  HWND dialog = nullptr;
  WaitFor([&] { return (dialog = ControlDialog(app)) != nullptr; }, timeoutMs);
  return dialog;
}

std::string ItemText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }

bool Checked(HWND dialog, int id) {
  return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != 0; }

void SetChecked(HWND dialog, int id, bool checked) {
  SendMessageA(GetDlgItem(dialog, id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::vector<std::string> ListEntries(HWND dialog, int id) {
  HWND list = GetDlgItem(dialog, id);
  std::vector<std::string> entries;
  LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
  // Wine hands a narrow CB_GETLBTEXT across processes as UTF-16; the wide call is exact.
  for (LRESULT i = 0; i < count; i++) {
    wchar_t wide[256] = L"";
    char text[512] = "";
    if (SendMessageW(list, CB_GETLBTEXTLEN, i, 0) < LRESULT(sizeof wide / sizeof *wide))
      SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(wide));
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    entries.push_back(text);
  }
  return entries;
}

int ListSelection(HWND dialog, int id) {
  return int(SendMessageA(GetDlgItem(dialog, id), CB_GETCURSEL, 0, 0));
}

void SelectListEntry(HWND dialog, int id, int index) {
  SendMessageA(GetDlgItem(dialog, id), CB_SETCURSEL, index, 0);
}

HWND FocusOf(const Process& process) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(process.threadId, &info)) return nullptr;
  return info.hwndFocus;
}

void Press(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void PressKey(const Process& process, HWND dialog, WORD key) {
  HWND target = FocusOf(process);
  if (!target) target = dialog;
  PostMessageA(target, WM_KEYDOWN, key, 1);
  PostMessageA(target, WM_KEYUP, key, 1 | (1u << 30) | (1u << 31));
}

void PressCloseBox(HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }

// A sent message waits behind the posted ones; the thread does not answer it while it is in
// an exchange, which holds its send without taking in sent messages.
bool Settled(HWND dialog, DWORD timeoutMs) {
  DWORD_PTR unused;
  return SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &unused) != 0;
}

}  // namespace driver
