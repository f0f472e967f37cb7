// Drives the real program as a user does, from another process: starts it in a working
// folder, finds its dialog and message boxes, reads their texts, sets options, presses
// buttons and keys. Used by the end-to-end tests and by the demo.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace driver {

struct Process {
  HANDLE handle = nullptr;
  DWORD id = 0;
  DWORD threadId = 0;
};

// Starts exe with the command line args in the folder workDir. Returns false on failure.
bool Start(const std::string& exe, const std::string& args, const std::string& workDir,
           Process* process);
// Waits for the process to end; false if it still runs after timeoutMs.
bool WaitExit(const Process& process, DWORD timeoutMs, DWORD* exitCode);
void Kill(const Process& process);
void Close(Process* process);

// Polls condition every 10 ms until it holds or timeoutMs has passed.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs);

// Top-level windows of a process whose class and title match (null: any).
std::vector<HWND> WindowsOf(DWORD processId, const char* windowClass, const char* title);
HWND WaitWindow(DWORD processId, const char* windowClass, const char* title, DWORD timeoutMs);

// A message box as the user sees it.
struct Box {
  HWND window = nullptr;
  HWND owner = nullptr;
  std::string caption;
  std::string text;
  std::vector<std::string> buttons;
};
// Waits for a message box of the process, reads it and, when answer is set, presses OK.
bool WaitBox(DWORD processId, DWORD timeoutMs, Box* box, bool answer = true);
bool AnyBox(DWORD processId);

// The control dialog.
// The program's control dialog, or null while it is not open; WaitControlDialog waits for it
// and gives null if it has not opened after timeoutMs.
HWND ControlDialog(const Process& app);
HWND WaitControlDialog(const Process& app, DWORD timeoutMs);
std::string Text(HWND window);
std::string ItemText(HWND dialog, int id);
bool Checked(HWND dialog, int id);
bool Enabled(HWND dialog, int id);
void SetChecked(HWND dialog, int id, bool checked);
std::vector<std::string> ListEntries(HWND dialog, int id);
int ListSelection(HWND dialog, int id);
void SelectListEntry(HWND dialog, int id, int index);
HWND FocusOf(const Process& process);
// Presses a button the way a click does (the dialog gets WM_COMMAND from the button).
void Press(HWND dialog, int id);
// A key pressed on the focused control of the dialog (Enter, Esc).
void PressKey(const Process& process, HWND dialog, WORD key);
// The caption bar's close box.
void PressCloseBox(HWND dialog);

}  // namespace driver
