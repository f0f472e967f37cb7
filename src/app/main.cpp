// Program entry: one copy at a time, the link opened once, the control dialog, and the
// teardown in an order that the dialog's stopped threads make safe.
#include <windows.h>

#include "app/app.h"
#include "link/link.h"
#include "log/flight_log.h"
#include "voice/voice.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  HANDLE mutex = CreateMutexA(nullptr, TRUE, DisplayName);
  if (GetLastError() == ERROR_ALREADY_EXISTS) return 0;  // another copy runs: quit silently

  OpenFlightLog();
  LogStart();
  LinkResult result = 0;
  int opened = LinkOpen(0, &result);
  LogLink(opened, result);
  if (opened) {
    voiceLibrary = LoadLibraryA("Vox.dll");
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_CONTROL), nullptr, ControlDialogProc, 0);
  } else {
    ShowAsciiMessageBox(linkResultMessages[result], LinkFailureCaption);
  }

  ReleaseMutex(mutex);
  CloseHandle(mutex);
  if (voiceLibrary) FreeLibrary(voiceLibrary);
  voiceLibrary = nullptr;
  EndProgram(instance);
  LogExit(opened ? "dialog" : "link");
  CloseFlightLog();
  return 0;
}
