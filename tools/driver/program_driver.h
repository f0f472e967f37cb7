// Drives the real program as a user does, from another process: starts it in a working
// folder, finds its dialog and message boxes, reads their texts, sets options, presses
// buttons and keys, with the processes, waits and message boxes of the support library.
// Used by the end-to-end tests and by the demo.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "message_box.h"
#include "process.h"
#include "wait.h"

namespace driver {

// Top-level windows of a process whose class and title match (null: any).
std::vector<HWND> WindowsOf(DWORD processId, const char* windowClass, const char* title);
HWND WaitWindow(DWORD processId, const char* windowClass, const char* title, DWORD timeoutMs);

// The program's control dialog, or null while it is not open; WaitControlDialog waits for it
// and gives null if it has not opened after timeoutMs.
HWND ControlDialog(const Process& app);
HWND WaitControlDialog(const Process& app, DWORD timeoutMs);
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
// Waits until the dialog's thread has handled what was posted to it before (a pressed
// button and all that its handler sent); false if it has not after timeoutMs.
bool Settled(HWND dialog, DWORD timeoutMs);

}  // namespace driver
