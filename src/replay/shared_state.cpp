// The worker thread handles of a replay.
#include "replay/replay.h"

HANDLE replayThreadHandle;
HANDLE voiceThreadHandle;
