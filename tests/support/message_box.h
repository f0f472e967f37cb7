// Finding and answering the message boxes that the code under test shows. A message box
// blocks its thread, so a test starts the code on another thread or answers from a watcher.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

struct SeenBox {
  HWND owner;           // the box's owner window (null for an unowned box)
  std::string caption;  // narrow bytes, as GetWindowTextA gives them
  std::string text;
  int buttons;          // number of push buttons
};

// Watches for message boxes of this process on a thread of its own and answers each with OK,
// recording what it saw. Stop() ends the watch and returns the boxes in the order seen.
void StartBoxWatch();
std::vector<SeenBox> StopBoxWatch();

// Waits up to timeoutMs for a box of this process to appear, reads it and presses OK.
bool AnswerBox(SeenBox* seen, DWORD timeoutMs);
