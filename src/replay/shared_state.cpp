// The options and the shared words of a replay. Every option is on at program start.
#include "replay/replay.h"

std::atomic<int32_t> playVoice{1};
std::atomic<int32_t> showText{1};
std::atomic<int32_t> followLatLon{1};
std::atomic<int32_t> startSelection{0};
std::atomic<int32_t> currentRow;
std::atomic<int32_t> stopRequested;
std::atomic<int32_t> simPaused;
HANDLE replayThreadHandle;
HANDLE voiceThreadHandle;
