// The voice thread: plays the cockpit voice clips one row ahead of the replay and holds them
// while the simulator is paused. It reads currentRow, timeCodes, simPaused, stopRequested and
// replayEnded by polling and writes no shared state.
#include "voice/voice.h"

#include "log/flight_log.h"       // each clip start goes into the flight log
#include "recording/recording.h"  // timeCodes: a clip plays at its row's time code

HMODULE voiceLibrary;

static const DWORD IdlePassMs = 500;  // sleep of a pass over a row without a clip
static const DWORD HoldPollMs = 50;   // poll while a clip is held, or while there is no player
static const TimeCode NoClip = -1;    // stands for a row outside the tables

// ---- Player calls -------------------------------------------------------------------------

static void VoxCall(VoicePlayer* player, int slot) {
  reinterpret_cast<VoxActionFn>(player->operations[slot])(player);
}

static uint8_t VoxOpen(VoicePlayer* player, const char* fileName) {
  return reinterpret_cast<VoxOpenFn>(player->operations[VoxSlotOpen])(player, fileName);
}

static int32_t VoxIsPlaying(VoicePlayer* player) {
  return reinterpret_cast<VoxIsPlayingFn>(player->operations[VoxSlotIsPlaying])(player);
}

static CreateVoxFn FindCreateVox() {
  if (!voiceLibrary) return nullptr;
  // Through void*: GCC warns on a direct cast between FARPROC and another function type.
  void* createVox = reinterpret_cast<void*>(GetProcAddress(voiceLibrary, "CreateVox"));
  return reinterpret_cast<CreateVoxFn>(createVox);
}

int VoiceAvailable() { return FindCreateVox() != nullptr; }

// ---- Passes -------------------------------------------------------------------------------

// The time code of a row, or NoClip for a row the tables do not hold.
static TimeCode WatchedTime(int32_t row) {
  if (row < 0 || row >= MaxRows) return NoClip;
  return timeCodes[row];
}

static int IsClipTime(TimeCode time) {
  for (int i = 0; i < ClipCount; ++i)
    if (clipTimeCodes[i] == time) return 1;
  return 0;
}

// Blocks this thread until the user dismisses the box.
static void ReportUnopenedClip(const char* fileName) {
  char message[128];
  wsprintfA(message, "Cannot open sound file :\n%s", fileName);
  ShowAsciiMessageBox(message);
}

// Stop, Open and Play the clip of a time code. Returns 1 when it plays.
static int StartClip(VoicePlayer* player, TimeCode time) {
  char fileName[MAX_PATH];
  wsprintfA(fileName, "sound\\%d.ogg", time);
  VoxCall(player, VoxSlotStop);
  if (!VoxOpen(player, fileName)) {
    ReportUnopenedClip(fileName);
    return 0;
  }
  VoxCall(player, VoxSlotPlay);
  LogClipStart(time);
  return 1;
}

// Holds a playing clip while the simulator is paused. Returns 1 when a stop request came
// while holding (the clip stays held), 0 otherwise.
static int HoldWhilePaused(VoicePlayer* player) {
  if (simPaused != 1 || VoxIsPlaying(player) != 1) return 0;
  VoxCall(player, VoxSlotPause);
  for (;;) {
    Sleep(HoldPollMs);
    if (simPaused != 1) {
      VoxCall(player, VoxSlotPlay);
      return 0;
    }
    if (stopRequested) return 1;
  }
}

// One look at the watched row; moves it on to the row after the current one. startedRow is
// the row whose clip was last started or tried. Returns 1 when the thread must end.
static int Pass(VoicePlayer* player, int32_t* watchedRow, int32_t* startedRow) {
  TimeCode time = WatchedTime(*watchedRow);
  // A clip is started again and again until its row begins. Once the replay thread has
  // ended, currentRow moves on no more: the clip plays out, or its box is shown once.
  int startedForGood = replayEnded && *watchedRow == *startedRow;
  if (IsClipTime(time) && !startedForGood) {
    *startedRow = *watchedRow;
    int playing = StartClip(player, time);
    *watchedRow = currentRow + 1;
    if (!playing) return 0;
  } else {
    Sleep(IdlePassMs);
    *watchedRow = currentRow + 1;
  }
  return HoldWhilePaused(player);
}

// Without a player there is nothing to play; the thread only waits for its stop so that
// the dialog's join still works.
static DWORD WaitForStop() {
  while (!stopRequested) Sleep(HoldPollMs);
  return 0;
}

DWORD WINAPI VoiceThread(LPVOID) {
  CreateVoxFn createVox = FindCreateVox();
  VoicePlayer* player = createVox ? createVox() : nullptr;
  if (!player) return WaitForStop();
  int32_t watchedRow = currentRow + 1;
  int32_t startedRow = -1;
  while (!stopRequested && !Pass(player, &watchedRow, &startedRow)) {
  }
  VoxCall(player, VoxSlotRelease);
  return 0;
}
