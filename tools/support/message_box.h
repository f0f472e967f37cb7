// Finding, reading and answering message boxes, of this process or of a program the test or
// tool drives. A message box blocks its thread, so a test starts the code on another thread
// or answers from a watcher.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// A message box as the user sees it.
struct SeenBox {
  HWND window = nullptr;
  HWND owner = nullptr;  // null for an unowned box
  std::string caption;   // narrow bytes, as GetWindowTextA gives them
  std::string text;
  std::wstring wideText;             // the text as GetWindowTextW gives it, whatever the code page
  std::vector<std::string> buttons;  // the visible push buttons' texts
};

// A window's text in narrow bytes, as GetWindowTextA gives them.
std::string WindowText(HWND window);
// The same in UTF-16, as GetWindowTextW gives it.
std::wstring WideWindowText(HWND window);

// A visible message box of the process, or null.
HWND FindMessageBox(DWORD processId);
bool AnyBox(DWORD processId);
// Waits up to timeoutMs for a box of the process and reads it; when answer is set, presses
// OK and waits until the box is gone, so that the next search does not find it again.
bool WaitBox(DWORD processId, DWORD timeoutMs, SeenBox* box, bool answer = true);
// The same for a box of this process.
bool AnswerBox(SeenBox* seen, DWORD timeoutMs);

// Watches for message boxes of this process on a thread of its own and answers each with OK,
// recording what it saw. Stop() ends the watch and returns the boxes in the order seen.
void StartBoxWatch();
std::vector<SeenBox> StopBoxWatch();
