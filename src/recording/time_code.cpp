// The recording's clock: clock seconds to time codes and back, rows, start times to rows.
#include <climits>
#include <cstdlib>

#include "recording/recording.h"

TimeCode SecondsToTimeCode(int32_t seconds) {
  if (seconds < 60) return seconds;
  // Seconds near the top of the range give more than 32 bits of minutes x 100.
  int64_t code = int64_t(seconds / 60) * 100 + seconds % 60;
  return code > INT32_MAX ? INT32_MAX : TimeCode(code);
}

int32_t TimeCodeToSeconds(TimeCode code) { return code / 100 * 60 + code % 100; }

int32_t RowOfTimeCode(TimeCode code) { return TimeCodeToSeconds(code) - FirstRowSecond; }

TimeCode RowTimeCode(int32_t row) { return SecondsToTimeCode(FirstRowSecond + row); }

// Minutes from the first two characters, seconds from the rest; a short text reads as 0.
int32_t StartRow(const char* startTimeText) {
  char minutes[3] = "";
  for (int i = 0; i < 2 && startTimeText[i]; i++) minutes[i] = startTimeText[i];
  long seconds = minutes[1] ? strtol(startTimeText + 2, nullptr, 10) : 0;
  return int32_t(strtol(minutes, nullptr, 10) * 60 + seconds - FirstRowSecond);
}
