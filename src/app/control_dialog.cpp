// The control dialog: options, start minute, Start and Exit. It holds no settings of its
// own; StartReplay reads the controls back on each Start.
#include <windows.h>

#include "app/app.h"
#include "replay/replay.h"  // StartReplay, the start list and the threads to stop
#include "voice/voice.h"    // VoiceAvailable: without it the voice option is greyed

// Asks the running replay's threads to stop and waits for them, replay thread first.
static void StopReplay() {
  if (!replayThreadHandle) return;
  stopRequested = 1;
  WaitForSingleObject(replayThreadHandle, INFINITE);
  if (voiceThreadHandle) WaitForSingleObject(voiceThreadHandle, INFINITE);
  CloseHandle(replayThreadHandle);
  if (voiceThreadHandle) CloseHandle(voiceThreadHandle);
  replayThreadHandle = nullptr;
  voiceThreadHandle = nullptr;
}

// Through the wide calls, so that the Japanese shows whatever the system's code page.
static void SetItemString(HWND dialog, int control, UINT stringId) {
  wchar_t text[StringBufferSize] = L"";
  LoadStringW(GetModuleHandleA(nullptr), stringId, text, StringBufferSize);
  SetDlgItemTextW(dialog, control, text);
}

static void FillStartList(HWND dialog) {
  HWND list = GetDlgItem(dialog, IDC_START_LIST);
  for (int i = 0; i < StartListEntries; i++) {
    char minute[16];
    wsprintfA(minute, "%d", i + FirstStartMinute);
    SendMessageA(list, CB_INSERTSTRING, i, reinterpret_cast<LPARAM>(minute));
  }
  SendMessageA(list, CB_SETCURSEL, startSelection, 0);
}

static INT_PTR OnInitDialog(HWND dialog) {
  CheckDlgButton(dialog, IDC_PLAY_VOICE, playVoice);
  CheckDlgButton(dialog, IDC_SHOW_TEXT, showText);
  CheckDlgButton(dialog, IDC_FOLLOW_LATLON, followLatLon);
  SetItemString(dialog, IDC_PLAY_VOICE, IDS_PLAY_VOICE);
  SetItemString(dialog, IDC_SHOW_TEXT, IDS_SHOW_TEXT);
  SetItemString(dialog, IDC_START_LABEL, IDS_START_TIME);
  SetItemString(dialog, IDCANCEL, IDS_EXIT);
  SetItemString(dialog, IDC_FOLLOW_LATLON, IDS_FOLLOW_LATLON);
  FillStartList(dialog);
  // Without a usable Vox.dll there is no voice: the box says so by being cleared and greyed.
  if (!VoiceAvailable()) {
    CheckDlgButton(dialog, IDC_PLAY_VOICE, BST_UNCHECKED);
    EnableWindow(GetDlgItem(dialog, IDC_PLAY_VOICE), FALSE);
  }
  return TRUE;
}

static INT_PTR OnStart(HWND dialog) {
  StopReplay();
  StartReplay(dialog);
  return TRUE;
}

static INT_PTR OnExit(HWND dialog) {
  StopReplay();
  EndDialog(dialog, 0);
  return TRUE;
}

INT_PTR CALLBACK ControlDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return OnInitDialog(dialog);
  if (message != WM_COMMAND) return FALSE;
  switch (LOWORD(wParam)) {
    case IDOK:
      return OnStart(dialog);
    case IDCANCEL:
      return OnExit(dialog);
    default:
      return FALSE;
  }
}
