// Following a replay from outside, as a user watches it: the replay clock in the simulator
// stand-in's title, and the stand-in's clock slowed around each clip so that the clips play
// in step. The demo and the end-to-end tests use it.
#pragma once
#include <functional>
#include <string>

#include "stand_in.h"

namespace driver {

// The replay clock as the stand-in's title shows it ("25:13"), or "" before the first.
std::string TitleClock(const StandIn& standIn);
// Clock seconds of such a text (25:13 is 1513).
int ClockSeconds(const std::string& clock);
// The writes that paused the simulator so far.
int PauseWrites(const StandIn& standIn);

// Follows the title clock every 10 ms, calling each with it, until the replay has paused
// the simulator at 56:26 after pausesBefore pauses (true) or timeoutMs have passed (false).
// The voice thread looks at the row after the current one about twice a second, so a clip
// plays in step only while rows last about as long as in a real flight: with slowNearClips
// the clock runs at the normal rate over the two rows before each clip, elsewhere at rate.
bool FollowReplay(const StandIn& standIn, double rate, bool slowNearClips, int pausesBefore,
                  DWORD timeoutMs, const std::function<void(const std::string&)>& each);

}  // namespace driver
