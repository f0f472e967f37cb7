// Launcher: program entry, the control dialog, and the ids of the program's resources.
#pragma once
#include <windows.h>

#define DisplayName "VRN505 Ostavin"
#define LinkFailureCaption "VRN505: Failed to open link to FSUIPC"

// String table (Japanese), loaded with LoadStringA into StringBufferSize bytes.
#define IDS_CLOSING_NOTICE 103
#define IDS_PLAY_VOICE 104
#define IDS_SHOW_TEXT 105
#define IDS_START_TIME 106
#define IDS_EXIT 107
#define IDS_DATA_FILE_MISSING 108
#define IDS_TOO_MANY_ROWS 109
#define IDS_FOLLOW_LATLON 110
#define StringBufferSize 128

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
