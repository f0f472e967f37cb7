// Brings the program to one of the screens a user meets, for the README's pictures: prints
// "ready NAME" when the screen is up, waits until the file WORKDIR\NAME.taken exists (the
// screenshot has been taken), then goes on or ends.
//
//   shot_driver PROGRAM SIMULATOR WORKDIR SCENE
// SCENE: replay (the dialog as it opens, then the stand-in's window mid-replay), link (the
// link failure and the closing notice, without a simulator), load (the message of a failed
// load after OK; WORKDIR holds the broken data set, NAME is "load"), clip (a clip that does
// not open).
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/app.h"
#include "control.h"
#include "program_driver.h"
#include "stand_in.h"

namespace {

std::string work;

// Announces a screen and holds it until the screenshot is taken.
void Ready(const char* name) {
  printf("ready %s\n", name);
  fflush(stdout);
  std::string taken = work + "\\" + name + ".taken";
  WaitFor([&] { return GetFileAttributesA(taken.c_str()) != INVALID_FILE_ATTRIBUTES; }, 60000);
}

// Wine sizes a message box to its text and buttons but not to its caption, which it then
// cuts ("VRN505: Failed to o..."). For the picture the box is widened until the caption
// shows whole, its contents moved to stay centred.
void WidenToCaption(HWND box) {
  NONCLIENTMETRICSA metrics = {};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  HDC screen = GetDC(nullptr);
  HFONT font = CreateFontIndirectA(&metrics.lfCaptionFont);
  HGDIOBJ old = SelectObject(screen, font);
  std::string caption = WindowText(box);
  SIZE text = {};
  GetTextExtentPoint32A(screen, caption.c_str(), int(caption.size()), &text);
  SelectObject(screen, old);
  DeleteObject(font);
  ReleaseDC(nullptr, screen);
  RECT frame;
  GetWindowRect(box, &frame);
  int width = frame.right - frame.left;
  int wanted = text.cx + 4 * GetSystemMetrics(SM_CXSIZE) + 16;
  if (wanted <= width) return;
  int shift = (wanted - width) / 2;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT place;
    GetWindowRect(child, &place);
    MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&place), 2);
    SetWindowPos(child, nullptr, place.left + shift, place.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }
  SetWindowPos(box, nullptr, frame.left - shift, frame.top, wanted, frame.bottom - frame.top,
               SWP_NOZORDER);
  Sleep(300);
}

// Waits until the stand-in shows a caption with text.
bool WaitCaption(const StandIn& standIn) {
  return WaitFor(
      [&] {
        for (const LogLine& line : ReadLog(standIn.log)) {
          auto op = line.find("op"), meaning = line.find("meaning");
          if (op != line.end() && op->second == "caption" && meaning != line.end() &&
              meaning->second.compare(0, 5, " for ") != 0)
            return true;
        }
        return false;
      },
      120000);
}

void Exit(const Process& app, HWND dialog) {
  driver::Press(dialog, IDCANCEL);
  SeenBox notice;
  WaitBox(app.id, 10000, &notice);
  WaitProcessExit(app, 10000, nullptr);
}

int Replay(const std::string& program, const std::string& simulator) {
  StandIn standIn;
  if (!StartStandIn(simulator, work, "--rate 1 --frames 0", &standIn)) return 1;
  Process app;
  if (!StartProcess(program, "", work, &app)) return 1;
  HWND dialog = driver::WaitControlDialog(app, 20000);
  if (!dialog) return 1;
  Ready("dialog");
  driver::SelectListEntry(dialog, IDC_START_LIST, 51 - 24);
  driver::Press(dialog, IDOK);
  Sleep(1000);
  Command(standIn, ControlResume);
  if (!WaitCaption(standIn)) return 1;
  Sleep(1500);
  Ready("replay");
  Exit(app, dialog);
  StopStandIn(&standIn);
  return 0;
}

int LinkFailure(const std::string& program) {
  Process app;
  if (!StartProcess(program, "", work, &app)) return 1;
  SeenBox box;
  if (!WaitBox(app.id, 20000, &box, false)) return 1;
  WidenToCaption(box.window);
  Ready("link-failure");
  PostMessageA(box.window, WM_COMMAND, IDOK, 0);
  Sleep(500);
  if (!WaitBox(app.id, 20000, &box, false)) return 1;
  WidenToCaption(box.window);
  Ready("closing");
  PostMessageA(box.window, WM_COMMAND, IDOK, 0);
  return WaitProcessExit(app, 10000, nullptr) ? 0 : 1;
}

// A message box after OK: a load that fails (name "load"), or a clip that does not open.
int BoxAfterStart(const std::string& program, const std::string& simulator, const char* name,
                  bool resume) {
  StandIn standIn;
  // The normal clock rate: the voice thread looks at the next row about twice a second.
  if (!StartStandIn(simulator, work, "--headless --rate 1 --frames 0", &standIn)) return 1;
  Process app;
  if (!StartProcess(program, "", work, &app)) return 1;
  HWND dialog = driver::WaitControlDialog(app, 20000);
  if (!dialog) return 1;
  driver::Press(dialog, IDOK);
  if (resume) {
    Sleep(1000);
    Command(standIn, ControlResume);
  }
  SeenBox box;
  if (!WaitBox(app.id, 60000, &box, false)) return 1;
  WidenToCaption(box.window);
  Ready(name);
  // A clip's box comes back while the replay stands before the clip's row: end it here.
  KillProcess(app);
  StopStandIn(&standIn);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    fprintf(stderr, "usage: shot_driver PROGRAM SIMULATOR WORKDIR replay|link|load|clip\n");
    return 2;
  }
  work = argv[3];
  std::string scene = argv[4];
  if (scene == "replay") return Replay(argv[1], argv[2]);
  if (scene == "link") return LinkFailure(argv[1]);
  if (scene == "load") return BoxAfterStart(argv[1], argv[2], "load", false);
  if (scene == "clip") return BoxAfterStart(argv[1], argv[2], "clip", true);
  fprintf(stderr, "shot_driver: unknown scene %s\n", argv[4]);
  return 2;
}
