// Launcher: program entry, the control dialog, and the ids of the program's resources.
#pragma once
#include <windows.h>
#include "common/shared_words.h"

// Dialog template and its controls
#define IDD_CONTROL 102
#define IDC_START_LABEL 1013
#define IDC_START_LIST 1012
#define IDC_PLAY_VOICE 1004
#define IDC_SHOW_TEXT 1008
#define IDC_FOLLOW_LATLON 1015
#define IDI_PROGRAM 101

#ifndef RC_INVOKED
INT_PTR CALLBACK ControlDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#endif
