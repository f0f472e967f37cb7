// The words that no single subsystem owns: the options, the replay's shared words, the
// time codes and table size, the program's names, its string ids and its message box.
// The resource scripts include it too, so everything but macros stays out of their sight.
#pragma once

// ---- Names and strings ----------------------------------------------------------------------

#define DisplayName "VRN505 Ostavin"
#define LinkFailureCaption "VRN505: Failed to open link to FSUIPC"

// String table (Japanese, src/app/strings.rc), loaded with LoadStringW into StringBufferSize
// characters.
#define IDS_CLOSING_NOTICE 103
#define IDS_PLAY_VOICE 104
#define IDS_SHOW_TEXT 105
#define IDS_START_TIME 106
#define IDS_EXIT 107
#define IDS_DATA_FILE_MISSING 108
#define IDS_TOO_MANY_ROWS 109
#define IDS_FOLLOW_LATLON 110
#define StringBufferSize 128

#ifndef RC_INVOKED
#include <windows.h>
#include <atomic>
#include <cstdint>

// ---- Time codes and tables ----------------------------------------------------------------

typedef int32_t TimeCode;  // minutes x 100 + seconds: 5626 is 56:26
const int MaxRows = 3418;  // rows of every row table

// ---- Options and shared words (defined in src/common/shared_words.cpp) --------------------

// Options, 1 or 0. StartReplay writes them from the dialog's controls before any worker
// thread starts; the dialog, the loader and the replay thread read them.
extern std::atomic<int32_t> playVoice;
extern std::atomic<int32_t> showText;
extern std::atomic<int32_t> followLatLon;
extern std::atomic<int32_t> startSelection;  // index of the start-list entry

// The row being flown. StartReplay sets it, then only the replay thread advances it; the
// voice thread and the title clock read it.
extern std::atomic<int32_t> currentRow;
// StartReplay clears it; the dialog sets it to 1. Read by both worker threads and by the
// link's send loop.
extern std::atomic<int32_t> stopRequested;
// 1 while the pause watch finds the simulator paused or in a menu. Written by the pause
// watch on the replay thread; read by the voice thread.
extern std::atomic<int32_t> simPaused;
// Set to 1 by the link wrappers on any failure; assigned by the replay thread.
extern std::atomic<int32_t> linkFailed;
// 1 once the replay thread has ended, on its own or on a stop, so that currentRow moves on
// no more. StartReplay clears it before the threads start and the replay thread sets it as
// it ends; the voice thread reads it.
extern std::atomic<int32_t> replayEnded;

// ---- Message box ----------------------------------------------------------------------------

// Every box of the program: no owner, one OK button, the display name as caption unless
// the box has its own. The text reaches the screen as UTF-16, so that its Japanese reads the
// same whatever the system's code page. Blocks the calling thread until the user answers it.
inline void ShowMessageBox(const wchar_t* text, const wchar_t* caption = L"" DisplayName) {
  MessageBoxW(nullptr, text, caption, MB_OK);
}

// The program's ASCII texts (the link's messages, file names) as UTF-16, character by
// character, cut to count - 1 characters.
inline void WidenAscii(wchar_t* wide, const char* text, int count) {
  int i = 0;
  for (; text[i] && i < count - 1; i++) wide[i] = static_cast<unsigned char>(text[i]);
  wide[i] = 0;
}

// A box whose text and caption are ASCII, each of fewer than StringBufferSize characters.
inline void ShowAsciiMessageBox(const char* text, const char* caption = DisplayName) {
  wchar_t wideText[StringBufferSize];
  wchar_t wideCaption[StringBufferSize];
  WidenAscii(wideText, text, StringBufferSize);
  WidenAscii(wideCaption, caption, StringBufferSize);
  ShowMessageBox(wideText, wideCaption);
}
#endif
