#include "program_driver.h"

#include <cstring>

#include "app/app.h"

namespace driver {

bool Start(const std::string& exe, const std::string& args, const std::string& workDir,
           Process* process) {
  std::string commandLine = "\"" + exe + "\"" + (args.empty() ? "" : " " + args);
  std::vector<char> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      workDir.empty() ? nullptr : workDir.c_str(), &startup, &info))
    return false;
  CloseHandle(info.hThread);
  process->handle = info.hProcess;
  process->id = info.dwProcessId;
  process->threadId = info.dwThreadId;
  return true;
}

bool WaitExit(const Process& process, DWORD timeoutMs, DWORD* exitCode) {
  if (WaitForSingleObject(process.handle, timeoutMs) != WAIT_OBJECT_0) return false;
  if (exitCode) GetExitCodeProcess(process.handle, exitCode);
  return true;
}

void Kill(const Process& process) {
  if (process.handle && WaitForSingleObject(process.handle, 0) != WAIT_OBJECT_0) {
    TerminateProcess(process.handle, 1);
    WaitForSingleObject(process.handle, 5000);
  }
}

void Close(Process* process) {
  if (process->handle) CloseHandle(process->handle);
  *process = Process();
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return condition();
    Sleep(10);
  }
}

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

BOOL CALLBACK CollectButtons(HWND child, LPARAM context) {
  char className[32] = "";
  GetClassNameA(child, className, sizeof className);
  if (_stricmp(className, "Button") == 0)
    reinterpret_cast<std::vector<std::string>*>(context)->push_back(Text(child));
  return TRUE;
}

// A message box is a dialog of the predefined class with the static text 0xFFFF.
HWND FindBox(DWORD processId) {
  for (HWND window : WindowsOf(processId, "#32770", nullptr))
    if (IsWindowVisible(window) && GetDlgItem(window, 0xFFFF)) return window;
  return nullptr;
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

bool AnyBox(DWORD processId) { return FindBox(processId) != nullptr; }

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

bool WaitBox(DWORD processId, DWORD timeoutMs, Box* box, bool answer) {
  HWND window = nullptr;
  if (!WaitFor([&] { return (window = FindBox(processId)) != nullptr; }, timeoutMs)) return false;
  box->window = window;
  box->owner = GetWindow(window, GW_OWNER);
  box->caption = Text(window);
  box->text = ItemText(window, 0xFFFF);
  box->buttons.clear();
  EnumChildWindows(window, CollectButtons, reinterpret_cast<LPARAM>(&box->buttons));
  if (answer) {
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    WaitFor([&] { return !IsWindow(window); }, 5000);
  }
  return true;
}

std::string Text(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string ItemText(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }

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

}  // namespace driver
