#include "replay_follow.h"

#include <cstdlib>

#include "control.h"
#include "link/offsets.h"
#include "recording/recording.h"
#include "voice/voice.h"

namespace driver {

namespace {

const int SlowRowsBeforeClip = 2;

bool NearClip(int seconds) {
  for (TimeCode timeCode : clipTimeCodes) {
    int clip = TimeCodeToSeconds(timeCode);
    if (seconds >= clip - SlowRowsBeforeClip && seconds < clip) return true;
  }
  return false;
}

}  // namespace

std::string TitleClock(const StandIn& standIn) {
  std::string title = WindowText(standIn.main);
  size_t open = title.rfind("[ ");
  if (open == std::string::npos || title.size() < open + 7) return "";
  return title.substr(open + 2, 5);
}

int ClockSeconds(const std::string& clock) {
  return atoi(clock.substr(0, 2).c_str()) * 60 + atoi(clock.substr(3, 2).c_str());
}

int PauseWrites(const StandIn& standIn) {
  int pauses = 0;
  for (const LoggedWrite& write : Writes(ReadLog(standIn.log)))
    pauses += write.offset == OffsetPause && write.bytes != "0000";
  return pauses;
}

bool FollowReplay(const StandIn& standIn, double rate, bool slowNearClips, int pausesBefore,
                  DWORD timeoutMs, const std::function<void(const std::string&)>& each) {
  double running = rate;
  DWORD start = GetTickCount();
  while (GetTickCount() - start < timeoutMs) {
    std::string clock = TitleClock(standIn);
    each(clock);
    if (clock == "56:26" && PauseWrites(standIn) > pausesBefore) return true;
    double wanted = slowNearClips && !clock.empty() && NearClip(ClockSeconds(clock)) ? 1.0 : rate;
    if (wanted != running) Command(standIn, ControlClockRate, LPARAM(wanted * 1000));
    running = wanted;
    Sleep(10);
  }
  return false;
}

}  // namespace driver
