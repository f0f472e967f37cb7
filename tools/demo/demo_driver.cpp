// Runs one replay as a user does: starts the simulator stand-in and the real program in a
// working folder, chooses the start minute and the voice option, presses OK, resumes the
// simulator, follows the replay clock to 56:26, ends the program with its Exit button and
// answers the closing notice. Prints its progress; exits 0 when everything went as expected.
//
//   demo_driver PROGRAM SIMULATOR WORKDIR [--start MIN] [--voice 0|1] [--sim 7|8]
//               [--rate R] [--frames N] [--hold MS] [--show 0|1]
// --show 1 shows the simulator's window (for a display); --hold waits that long with the
// dialog open before pressing OK (time for a screenshot).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/app.h"
#include "control.h"
#include "program_driver.h"
#include "replay_follow.h"
#include "stand_in.h"

namespace {

const DWORD EndTimeoutMs = 30 * 60 * 1000;

struct Settings {
  std::string program, simulator, work;
  int startMinute = 24;
  int voice = 1;
  int simVersion = 8;
  double rate = 6;
  int frames = 120;
  int holdMs = 0;
  bool show = false;
};

bool ParseArguments(int argc, char** argv, Settings* settings) {
  if (argc < 4) return false;
  settings->program = argv[1];
  settings->simulator = argv[2];
  settings->work = argv[3];
  for (int i = 4; i + 1 < argc; i += 2) {
    std::string name = argv[i];
    const char* value = argv[i + 1];
    if (name == "--start")
      settings->startMinute = atoi(value);
    else if (name == "--voice")
      settings->voice = atoi(value);
    else if (name == "--sim")
      settings->simVersion = atoi(value);
    else if (name == "--rate")
      settings->rate = atof(value);
    else if (name == "--frames")
      settings->frames = atoi(value);
    else if (name == "--hold")
      settings->holdMs = atoi(value);
    else if (name == "--show")
      settings->show = atoi(value) != 0;
    else
      return false;
  }
  return settings->startMinute >= 24 && settings->startMinute <= 56 &&
         (settings->simVersion == 7 || settings->simVersion == 8) && settings->rate > 0;
}

int Fail(const char* what) {
  printf("demo: %s\n", what);
  fflush(stdout);
  return 1;
}

// Follows the title clock until the replay has paused the simulator at its end, printing
// each new minute.
bool FollowReplay(const StandIn& standIn, const Settings& settings, int pausesBefore) {
  std::string shown;
  return driver::FollowReplay(standIn, settings.rate, settings.voice, pausesBefore, EndTimeoutMs,
                              [&](const std::string& clock) {
                                if (clock != shown && !clock.empty() && clock.substr(3) == "00") {
                                  printf("replay clock %s\n", clock.c_str());
                                  fflush(stdout);
                                }
                                shown = clock;
                              });
}

int Run(const Settings& settings) {
  StandIn standIn;
  char args[128];
  snprintf(args, sizeof args, "--sim %d --rate %g --frames %d%s", settings.simVersion,
           settings.rate, settings.frames, settings.show ? "" : " --headless");
  if (!StartStandIn(settings.simulator, settings.work, args, &standIn))
    return Fail("the simulator stand-in did not start");
  printf("simulator stand-in: %s\n", args);
  Process app;
  if (!StartProcess(settings.program, "", settings.work, &app)) return Fail("no program");
  HWND dialog = driver::WaitControlDialog(app, 10000);
  if (!dialog) return Fail("the control dialog did not open");
  driver::SelectListEntry(dialog, IDC_START_LIST, settings.startMinute - 24);
  driver::SetChecked(dialog, IDC_PLAY_VOICE, settings.voice != 0);
  Sleep(settings.holdMs);
  printf("start %d:00, voice %s: pressing OK\n", settings.startMinute,
         settings.voice ? "on" : "off");
  fflush(stdout);
  driver::Press(dialog, IDOK);
  if (!WaitFor([&] { return driver::PauseWrites(standIn) >= 1; }, 10000))
    return Fail("the start did not pause the simulator");
  Sleep(500);
  printf("simulator paused with the aircraft placed; resuming\n");
  Command(standIn, ControlResume);
  bool ended = FollowReplay(standIn, settings, 1);
  Sleep(1500);  // the blank caption of the end stays on screen for a second
  printf(ended ? "replay ended at 56:26 with the simulator paused\n" : "replay did not end\n");
  driver::Press(dialog, IDCANCEL);
  SeenBox notice;
  bool noticed = WaitBox(app.id, 5000, &notice);
  DWORD code = 1;
  bool exited = WaitProcessExit(app, 5000, &code);
  printf("closing notice %s; program exit code %lu\n", noticed ? "answered" : "missing", code);
  printf("simulator title: %s\n", WindowText(standIn.main).c_str());
  KillProcess(app);
  StopStandIn(&standIn);
  return ended && noticed && exited && code == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  if (!ParseArguments(argc, argv, &settings)) {
    fprintf(stderr,
            "usage: demo_driver PROGRAM SIMULATOR WORKDIR [--start MIN] [--voice 0|1] "
            "[--sim 7|8] [--rate R] [--frames N] [--hold MS] [--show 0|1]\n");
    return 2;
  }
  return Run(settings);
}
