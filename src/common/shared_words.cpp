// The options and the shared words of src/common/shared_words.h. Every option is on at
// program start.
#include "common/shared_words.h"

std::atomic<int32_t> playVoice{1};
std::atomic<int32_t> showText{1};
std::atomic<int32_t> followLatLon{1};
std::atomic<int32_t> startSelection{0};
std::atomic<int32_t> currentRow;
std::atomic<int32_t> stopRequested;
std::atomic<int32_t> simPaused;
std::atomic<int32_t> linkFailed;
std::atomic<int32_t> replayEnded;
